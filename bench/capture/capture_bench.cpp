// Capture speed per scene window: a slice from the middle of each window rendered,
// read back and encoded exactly as the capture tool does it, then the whole demo's
// capture time estimated from the windows' lengths.
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/capture/capture_bench
//       [--seconds 2] [--fps 60] [--sync-readback] [--preset NAME] [--crf N]
#include "capture.h"
#include "app/resources.h"
#include "app/timeline.h"
#include <GLFW/glfw3.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// window  first demo second  end
struct SceneWindow {
    int number;
    double start, end;
};
constexpr SceneWindow kWindows[] = {
    {1, -13.0,  20.0},
    {2,  20.0,  40.0},
    {3,  40.0,  95.0},
    {4,  95.0, 130.0},
    {5, 130.0, 160.0},
    {6, 160.0, 247.0},
    {7, 247.0, 265.0},
};

} // namespace

int main(int argc, char** argv) {
    double seconds = 2.0, fps = 60.0;
    bool pbo = true;
    CaptureOptions defaults;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (a == "--fps" && i + 1 < argc) fps = std::atof(argv[++i]);
        else if (a == "--sync-readback") pbo = false;
        else if (a == "--preset" && i + 1 < argc) defaults.preset = argv[++i];
        else if (a == "--crf" && i + 1 < argc) defaults.crf = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: capture_bench [--seconds S] [--fps N] [--sync-readback] "
                                 "[--preset NAME] [--crf N]\n");
            return 2;
        }
    }
    std::string out = (std::filesystem::temp_directory_path() /
                       ("capture-bench-" + std::to_string(getpid()) + ".mp4")).string();
    if (chdir(CAPTURE_DEFAULT_STAGE) != 0) return 1;

    std::string error;
    auto demo = std::make_unique<DemoState>();
    std::fflush(stdout);
    if (!startDemo(*demo, error)) {
        std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
        return 1;
    }
    std::fflush(stdout);

    std::printf("\ncapture speed, %g s from the middle of each window at %g fps, %s readback, 1920x1080, "
                "libx264 %s crf %d\n",
                seconds, fps, pbo ? "two-PBO" : "direct", defaults.preset.c_str(), defaults.crf);
    std::printf("%-6s %-16s %7s %9s %9s %10s %8s\n", "window", "demo seconds", "frames", "wall s",
                "fps", "x realtime", "Mbit/s");
    double estimate = 0.0, totalFrames = 0.0;
    for (const SceneWindow& w : kWindows) {
        CaptureOptions options = defaults;
        options.fps = fps;
        options.fromDemo = (w.start + w.end) / 2.0 - seconds / 2.0;
        options.toDemo = options.fromDemo + seconds;
        options.outPath = out;
        options.warmupRate = 0.0;
        options.pboReadback = pbo;
        CaptureResult r = runCapture(demo->window, options, AudioPlan{},
                                     FrameSource{drawDemoFrame, demo.get()}, true);
        if (!r.ok) {
            std::fprintf(stderr, "capture_bench: %s\n", r.error.c_str());
            return 1;
        }
        double rate = r.framesWritten / r.loopSeconds;
        char range[32];
        std::snprintf(range, sizeof range, "%.1f-%.1f", options.fromDemo, options.toDemo);
        // The encoder's bit rate: what the preset and quality trade for speed.
        std::error_code noSize;
        double megabits = double(std::filesystem::file_size(out, noSize)) * 8e-6;
        std::printf("%-6d %-16s %7ld %9.2f %9.2f %10.3f %8.1f\n", w.number, range, r.framesWritten,
                    r.loopSeconds, rate, rate / fps, noSize ? 0.0 : megabits / seconds);
        double frames = (w.end - w.start) * fps;
        estimate += frames / rate;
        totalFrames += frames;
    }
    std::printf("whole demo (278 s, %.0f frames at %g fps): about %s to capture, %.2f fps, %.3fx real time\n",
                totalFrames, fps, formatDuration(estimate).c_str(), totalFrames / estimate,
                278.0 / estimate);
    std::remove(out.c_str());

    deleteShutdownGeometry(demo->res.geometry, LoopEnd::timelineOver);
    glfwTerminate();
    releaseSceneResources(demo->res);
    return 0;
}
