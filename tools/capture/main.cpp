// The capture tool's entry: starts up exactly as the demo does, then renders the
// timeline frame by frame into build/norrvale.mp4 with the soundtrack in sync.
#include "capture.h"
#include "app/resources.h"
#include "app/timeline.h"
#include <GLFW/glfw3.h>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSoundtrackName = "tessmer-trancedemo5.mp3";

std::string absolutePath(const std::string& path) {
    return path.empty() ? path : fs::absolute(path).lexically_normal().string();
}

} // namespace

int main(int argc, char** argv) {
    CaptureOptions options;
    options.stageDir = CAPTURE_DEFAULT_STAGE;
    options.outPath = CAPTURE_DEFAULT_OUT;
    std::string error;
    if (!parseCaptureOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "capture: %s\n%s", error.c_str(), captureUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(captureUsage().c_str(), stdout);
        return 0;
    }

    // The demo opens its files relative to its working directory, so the capture runs
    // in the stage folder; paths given on the command line mean what they said here.
    options.outPath = absolutePath(options.outPath);
    if (options.soundtrackPath.empty())
        options.soundtrackPath = (fs::path(options.stageDir) / kSoundtrackName).string();
    options.soundtrackPath = absolutePath(options.soundtrackPath);
    std::error_code ignored;
    fs::create_directories(fs::path(options.outPath).parent_path(), ignored);
    if (chdir(options.stageDir.c_str()) != 0) {
        std::fprintf(stderr, "capture: cannot enter the stage folder %s\n", options.stageDir.c_str());
        return 1;
    }

    auto demo = std::make_unique<DemoState>();
    if (!startDemo(*demo, error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return 1;
    }
    // The clock started at glfwInit, as in the demo: this is where its music would start.
    const double setupSeconds = demo->setupSeconds;

    bool haveAudio = options.withAudio && fs::is_regular_file(options.soundtrackPath);
    if (options.withAudio && !haveAudio) {
        std::fprintf(stderr, "capture: warning: no soundtrack at %s; the video will have no audio\n",
                     options.soundtrackPath.c_str());
    }
    double audioStart = options.audioStartClock >= 0.0 ? options.audioStartClock : setupSeconds;
    const FrameSchedule schedule = frameSchedule(options);
    const AudioPlan audio = audioPlan(options.soundtrackPath, haveAudio, audioStart, schedule);

    std::fprintf(stderr, "capture: set-up took %.3f s\n", setupSeconds);
    if (haveAudio) {
        std::fprintf(stderr, "capture: the music starts at clock %.3f s (demoTime %.3f)%s\n",
                     audioStart, audioStart - kDemoClockOffset,
                     options.audioStartClock >= 0.0 ? ", as asked" : ", where set-up ended");
    }
    std::fprintf(stderr, "capture: %ld frames at %g fps, demoTime %g to %g (%s), %dx%d\n",
                 schedule.count, schedule.fps, options.fromDemo, options.toDemo,
                 formatDuration(scheduleSeconds(schedule)).c_str(), options.outWidth,
                 options.outHeight);
    if (options.samples > 1) {
        std::fprintf(stderr, "capture: each frame averages %d sub-frames over a shutter of %g of "
                             "the frame interval, centred on the frame's time\n",
                     options.samples, options.shutter);
    }

    FrameSource source;
    if (!demoFrameSource(*demo, options, source, error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        endDemo(*demo);
        return 1;
    }
    CaptureResult result = runCapture(demo->window, options, audio, source, false);

    endDemo(*demo);

    if (!result.ok) {
        std::fprintf(stderr, "capture: %s\n", result.error.c_str());
        return 1;
    }
    std::fprintf(stderr, "capture: %s%ld frames in %s (%.2f fps), the clock ran on at most %.1f ms within a frame\n",
                 result.stoppedEarly ? "stopped early: " : "", result.framesWritten,
                 formatDuration(result.seconds).c_str(),
                 result.seconds > 0.0 ? result.framesWritten / result.seconds : 0.0,
                 result.maxClockDrift * 1000.0);
    std::fprintf(stderr, "%s (%s)\n", options.outPath.c_str(),
                 formatSize(fs::file_size(options.outPath, ignored)).c_str());
    return 0;
}
