// The photosensitivity analyser's speed on a decoded 1080p60 video against real time:
// decoding alone (ffmpeg to raw RGB on a pipe, frames thrown away), the analysis alone
// (frames already in memory) and the two together as flashcheck runs them, each over
// several rounds, with medians and spreads.
//   bench_flashcheck [--video PATH] [--rounds N]
// Without --video it makes ten seconds of ffmpeg's moving test picture, encoded as
// `make video` encodes (libx264 ultrafast, crf 20, yuv420p).
#include "flashcheck.h"
#include "video.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDefaultRounds = 5;
constexpr double kGoal = 2.0;  // times real time
// Frames held in memory for the analysis alone: 60 frames of 1080p are 373 MB.
constexpr int kHeldFrames = 60;
constexpr int kAnalysedFrames = 600;
constexpr int kFramesAhead = 3;  // as flashcheck reads

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The analysis reads each frame on two threads; both count.
double processCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Spread {
    double median = 0.0, low = 0.0, high = 0.0;
};

Spread spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one;
}

// Frames decoded and, when `analyse`, each analysed as it arrives. Returns the frame count.
long decodeRun(const std::string& path, const VideoInfo& info, bool analyse, double& seconds) {
    VideoReader reader;
    std::string error;
    const double start = now();
    if (!openVideo(path, info, reader, error)) {
        std::fprintf(stderr, "bench_flashcheck: %s\n", error.c_str());
        std::exit(1);
    }
    FlashAnalyser analyser = makeAnalyser(frameLayout(info.width, info.height), info.fps);
    // As flashcheck reads: a few frames ahead on a thread of their own.
    ReadAhead ahead;
    startReadAhead(ahead, reader, kFramesAhead);
    long frames = 0;
    while (const unsigned char* rgb = nextFrame(ahead)) {
        if (analyse) analyseFrame(analyser, rgb);
        releaseFrame(ahead);
        ++frames;
    }
    stopReadAhead(ahead);
    closeVideo(reader, error);
    seconds = now() - start;
    return frames;
}

} // namespace

int main(int argc, char** argv) {
    std::string path;
    int rounds = kDefaultRounds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--video" && i + 1 < argc) path = argv[++i];
        else if (arg == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: bench_flashcheck [--video PATH] [--rounds N]\n");
            return 2;
        }
    }
    char scratch[] = "/tmp/bench_flashcheck-XXXXXX";
    const bool made = path.empty();
    if (made) {
        if (!mkdtemp(scratch)) return 1;
        path = std::string(scratch) + "/moving-1080p60.mp4";
        const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=60 -t 10 "
                                 "-c:v libx264 -preset ultrafast -crf 20 -pix_fmt yuv420p '" + path + "'";
        if (std::system(make.c_str()) != 0) {
            std::fprintf(stderr, "bench_flashcheck: ffmpeg could not make the test video\n");
            return 1;
        }
    }
    VideoInfo info;
    std::string error;
    if (!probeVideo(path, info, error)) {
        std::fprintf(stderr, "bench_flashcheck: %s\n", error.c_str());
        return 1;
    }
    std::printf("flashcheck speed: %s, %dx%d at %g fps, %d rounds, %ld cores, load %s\n", path.c_str(),
                info.width, info.height, info.fps, rounds, sysconf(_SC_NPROCESSORS_ONLN),
                loadAverage().c_str());

    // The analysis alone: frames in memory, analysed in turn, over and over.
    std::vector<std::vector<unsigned char>> held;
    {
        VideoReader reader;
        openVideo(path, info, reader, error);
        std::vector<unsigned char> rgb(reader.frameBytes);
        while (int(held.size()) < kHeldFrames && readVideoFrame(reader, rgb.data())) held.push_back(rgb);
        closeVideo(reader, error);  // cut short: ffmpeg's complaint does not matter here
    }
    std::vector<double> wallPerFrame, cpuPerFrame;
    for (int r = 0; r < rounds; ++r) {
        FlashAnalyser analyser = makeAnalyser(frameLayout(info.width, info.height), info.fps);
        const double wall0 = now(), cpu0 = processCpu();
        for (int i = 0; i < kAnalysedFrames; ++i) analyseFrame(analyser, held[size_t(i) % held.size()].data());
        wallPerFrame.push_back((now() - wall0) / kAnalysedFrames);
        cpuPerFrame.push_back((processCpu() - cpu0) / kAnalysedFrames);
    }
    held.clear();
    const Spread wall = spread(wallPerFrame), cpu = spread(cpuPerFrame);
    const double frameInterval = 1.0 / info.fps;
    std::printf("  analysis alone:      %.2f ms a frame (%.2f - %.2f), CPU %.2f ms (%.2f - %.2f) "
                "over its two threads: %.2fx real time\n",
                1e3 * wall.median, 1e3 * wall.low, 1e3 * wall.high, 1e3 * cpu.median, 1e3 * cpu.low,
                1e3 * cpu.high, frameInterval / wall.median);

    std::vector<double> decodeSpeed, fullSpeed;
    long frames = 0;
    for (int r = 0; r < rounds; ++r) {
        double seconds = 0.0;
        frames = decodeRun(path, info, false, seconds);
        decodeSpeed.push_back(frames / info.fps / seconds);
        frames = decodeRun(path, info, true, seconds);
        fullSpeed.push_back(frames / info.fps / seconds);
    }
    const Spread decode = spread(decodeSpeed), full = spread(fullSpeed);
    std::printf("  decoding alone:      %.2fx real time (%.2f - %.2f), %ld frames\n", decode.median, decode.low,
                decode.high, frames);
    std::printf("  decoding + analysis: %.2fx real time (%.2f - %.2f), %.0f fps; goal %.0fx: %s\n",
                full.median, full.low, full.high, full.median * info.fps, kGoal,
                full.median >= kGoal ? "met" : "not met");
    std::printf("  load average after: %s\n", loadAverage().c_str());
    if (made) {
        std::remove(path.c_str());
        rmdir(scratch);
    }
    return 0;
}
