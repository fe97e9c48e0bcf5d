// Frame times of the whole timeline, drawn by the real demo binary: the staged program
// runs with a fixed-step clock preloaded (frame_clock_shim.c), so every frame of a
// 60 fps run is drawn and timed, first frames of every window and program included.
// Prints per window the median, 99th percentile and worst frame and the process CPU
// time per frame (what the frame costs, whatever else shares the machine), and plots
// frame time over demo time.
//   xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" build/bench/frames/bench_frames
//       [--fps 60] [--from -3] [--to 265] [--svg build/bench/frametimes.svg] [--stage DIR]
//       [--shader-cache DIR]
//   ... bench_frames --against OTHER_STAGE [--at 3,12,30] [--rounds 5] [--stage DIR]
// --stage runs the same binary on another folder of shaders and models, for a before
// and after of the content alone.
// Mesa keeps the machine code it compiles for each program on disk and reuses it on the
// next run, so a second viewing skips the compile that stalls a program's first frame.
// By default every run gets an empty cache of its own and shows those stalls as a first
// viewing does; --shader-cache names a cache to use and keep, so a second run with the
// same folder is a later viewing.
// --against compares two stages instant by instant instead of running the timeline: the
// machine's speed drifts by a fifth over tens of seconds here, more than most changes
// to a shader are worth, so each round holds one instant for a moment in both stages
// back to back, and the ratio is taken within the round.
// Started later than 20 s the city windows draw with the start-up projection, not the
// one window 2 leaves.
#include "frame_stats.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

int usage() {
    std::fprintf(stderr, "usage: bench_frames [--fps N] [--from SECONDS] [--to SECONDS] [--svg PATH] [--stage DIR]"
                         " [--shader-cache DIR]\n"
                         "       bench_frames --against OTHER_STAGE [--at T1,T2,...] [--rounds N] [--stage DIR]\n");
    return 2;
}

// Two instants from every window: where the most is drawn, and where it is drawn largest.
const char* const kPairedInstants = "3,12,30,60,85,100,120,140,155,180,220,250";

// The staged demo under the fixed-step clock, from clock reading start until the clock
// passes stop; the frames it presented.
FrameLog runDemo(const std::string& stage, const std::string& shaderCache, double start, double step,
                 double stop, int& status) {
    std::string log = "/tmp/norrvale-frames-" + std::to_string(getpid()) + ".txt";
    char command[2048];
    std::snprintf(command, sizeof command,
                  "cd '%s' && MESA_SHADER_CACHE_DIR='%s' FRAMECLOCK_START=%.9f FRAMECLOCK_STEP=%.12f "
                  "FRAMECLOCK_STOP=%.9f FRAMECLOCK_LOG='%s' LD_PRELOAD='%s' '%s' 2>/dev/null",
                  stage.c_str(), shaderCache.c_str(), start, step, stop, log.c_str(), NORRVALE_FRAME_SHIM,
                  NORRVALE_BINARY);
    std::fflush(stdout);
    status = std::system(command);
    std::ifstream in(log);
    FrameLog parsed = parseFrameLog(in);
    std::remove(log.c_str());
    return parsed;
}

// One instant held for 24 frames; the median of those after the first four, which pay
// for compiling.
double heldFrameMs(const std::string& stage, const std::string& shaderCache, double demoTime) {
    int status = 0;
    FrameLog held = runDemo(stage, shaderCache, demoTime + 13.0, 0.0005, demoTime + 13.0 + 0.012, status);
    std::vector<double> wall;
    for (size_t i = 4; i < held.frames.size(); ++i) wall.push_back(held.frames[i].wallMs);
    return percentile(wall, 50.0);
}

int comparePaired(const std::string& stage, const std::string& other, const std::string& instants, int rounds,
                  const std::string& shaderCache) {
    std::printf("held instants, %d rounds, each drawn by both stages back to back; ratio = %s / %s\n", rounds,
                other.c_str(), stage.c_str());
    std::printf("  %8s %6s %10s %10s %8s %15s\n", "demoTime", "window", "base ms", "other ms", "ratio",
                "round range");
    std::stringstream list(instants);
    std::string item;
    bool drew = false;
    while (std::getline(list, item, ',')) {
        double at = std::atof(item.c_str());
        std::vector<PairedRound> measured;
        for (int r = 0; r < rounds; ++r)
            measured.push_back({heldFrameMs(stage, shaderCache, at), heldFrameMs(other, shaderCache, at)});
        PairedFigures f = pairRounds(measured);
        if (f.ratio <= 0.0) {
            std::printf("  %8.2f %6d   no frames drawn\n", at, sceneWindowOf(float(at)));
            continue;
        }
        drew = true;
        std::printf("  %8.2f %6d %10.1f %10.1f %8.3f %7.2f - %5.2f\n", at, sceneWindowOf(float(at)), f.baseMs,
                    f.otherMs, f.ratio, f.lowestRatio, f.highestRatio);
    }
    return drew ? 0 : 1;
}

size_t filesUnder(const std::string& folder) {
    std::error_code error;
    size_t count = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        count += it->is_regular_file() ? 1 : 0;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    double fps = 60.0, from = -3.0, to = 266.0;
    std::string svgPath = NORRVALE_BENCH_SVG, stage = NORRVALE_STAGE, shaderCache, against,
                instants = kPairedInstants;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        if (a == "--fps") fps = std::atof(argv[++i]);
        else if (a == "--from") from = std::atof(argv[++i]);
        else if (a == "--to") to = std::atof(argv[++i]);
        else if (a == "--svg") svgPath = argv[++i];
        else if (a == "--stage") stage = argv[++i];
        else if (a == "--shader-cache") shaderCache = argv[++i];
        else if (a == "--against") against = argv[++i];
        else if (a == "--at") instants = argv[++i];
        else if (a == "--rounds") rounds = std::atoi(argv[++i]);
        else return usage();
    }
    if (fps <= 0.0 || to <= from || rounds < 1) return usage();

    bool firstViewing = shaderCache.empty();
    if (firstViewing) {
        char folder[] = "/tmp/norrvale-shader-cache-XXXXXX";
        if (!mkdtemp(folder)) {
            std::perror("bench_frames: shader cache folder");
            return 1;
        }
        shaderCache = folder;
    }

    if (!against.empty()) {
        int status = comparePaired(stage, against, instants, rounds, shaderCache);
        if (firstViewing) std::filesystem::remove_all(shaderCache);
        return status;
    }

    size_t cachedBefore = filesUnder(shaderCache);

    std::string loadBefore = loadAverage();
    int status = 0;
    FrameLog parsed = runDemo(stage, shaderCache, from + 13.0, 1.0 / fps, to + 13.0, status);
    std::string loadAfter = loadAverage();
    size_t cachedAfter = filesUnder(shaderCache);
    if (firstViewing) std::filesystem::remove_all(shaderCache);
    const std::vector<FrameSample>& frames = parsed.frames;
    if (frames.empty()) {
        std::printf("bench_frames: the demo presented no frame (status %d; run under xvfb-run)\n", status);
        return 1;
    }

    std::printf("frame time of the real demo in %s, 1920 x 1080, %s, clock stepped 1/%g s from demoTime %g: "
                "%zu frames\n", stage.c_str(), parsed.renderer.c_str(), fps, from, frames.size());
    std::printf("load average before %s, after %s, on %ld cores\n", loadBefore.c_str(), loadAfter.c_str(),
                sysconf(_SC_NPROCESSORS_ONLN));
    if (firstViewing)
        std::printf("shader cache: empty, as on a first viewing (%zu files written)\n", cachedAfter);
    else
        std::printf("shader cache: %s, %zu files before the run, %zu after\n", shaderCache.c_str(), cachedBefore,
                    cachedAfter);
    std::printf("  %-36s %6s %7s %7s %7s %8s %7s %6s %5s %8s\n", "window", "frames", "median", "p99", "worst",
                "at s", "first", ">16.7", ">33", "cpu med");
    bool met = true;
    for (const WindowStats& s : summarizeWindows(frames)) {
        const SceneWindow& w = kSceneWindows[s.window - 1];
        std::printf("  %d %-34s %6zu %7.1f %7.1f %7.1f %8.2f %7.1f %6zu %5zu %8.1f\n", w.number, w.shows, s.frames,
                    s.medianMs, s.p99Ms, s.worstMs, double(s.worstAt), s.firstMs, s.overSixtyFps, s.overHitch,
                    s.cpuMedianMs);
        met = met && s.medianMs <= kSixtyFpsMs && s.overHitch == 0;
    }

    std::vector<double> wall;
    for (const FrameSample& f : frames) wall.push_back(f.wallMs);
    std::printf("  %-36s %6zu %7.1f %7.1f %7.1f\n", "whole run", frames.size(), percentile(wall, 50.0),
                percentile(wall, 99.0), percentile(wall, 100.0));

    std::vector<FrameSample> slowest = frames;
    std::sort(slowest.begin(), slowest.end(),
              [](const FrameSample& a, const FrameSample& b) { return a.wallMs > b.wallMs; });
    std::printf("slowest frames:");
    for (size_t i = 0; i < std::min<size_t>(8, slowest.size()); ++i)
        std::printf(" %.1f ms at %.2f s%s", slowest[i].wallMs, double(slowest[i].demoTime), i < 7 ? "," : "");
    std::printf("\ngoal (every window's median <= 16.7 ms, no frame over 33 ms): %s\n", met ? "met" : "MISSED");

    char title[256];
    std::snprintf(title, sizeof title, "Norrvale frame times, %s, 1920 x 1080, 1/%g s clock step, load %s",
                  parsed.renderer.c_str(), fps, loadBefore.c_str());
    std::ofstream(svgPath) << frameTimeSvg(frames, title);
    std::printf("plot: %s\n", svgPath.c_str());
    return 0;
}
