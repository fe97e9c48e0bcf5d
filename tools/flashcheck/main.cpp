// flashcheck: the photosensitivity check of a video file, or of the demo's own frames
// drawn at 1920 x 1080 and 60 fps through the tools' shared start-up, under each standard
// it judges. Prints one verdict line a standard and writes the per-frame CSV, the JSON
// summary and the SVG plot.
//   flashcheck [options] VIDEO
//   flashcheck --demo [--from A] [--to B] [options]
// Exit status: 0 every judged standard passes (warnings allowed), 1 one fails, 2 unreadable
// file or bad option.
#include "flashcheck.h"
#include "video.h"
#include "app/timeline.h"
#include "demo_frames.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double kDemoFps = 60.0;
// Decoded frames waiting for the analysis: ffmpeg decodes on while one is analysed.
constexpr int kFramesAhead = 3;
// Demo time of the first frame `make video` writes: the clock's start.
constexpr double kVideoStart = -double(kDemoClockOffset);

struct Options {
    std::string video;
    bool demo = false;
    double from = kVideoStart, to = double(kTimelineEnd);
    double fps = kDemoFps;
    bool startsAtGiven = false;
    double startsAt = 0.0;        // demo time of a file's first frame
    std::string out;              // prefix of the three files
    std::string stage = FLASHCHECK_DEFAULT_STAGE;
    bool wholeFrame = false;
    StandardSet standards = kAllStandards;
    bool quiet = false;
    bool help = false;
};

const char* const kUsage =
    "usage: flashcheck [options] VIDEO\n"
    "       flashcheck --demo [--from A] [--to B] [options]\n"
    "Checks every frame for general and red flashes, flashing longer than 5 s and regular\n"
    "stripes, under five standards: trace (TRACE 2024, any 416 x 416 window at 1920 x 1080),\n"
    "wcag (WCAG 2.2, any 341 x 256 field), ofcom (Ofcom 2017), itu (ITU-R BT.1702) and iso\n"
    "(ISO 9241-391), the last three over a quarter of the screen.\n"
    "  --demo            the demo's own frames, drawn at 1920x1080 (needs a display)\n"
    "  --from A, --to B  demo seconds to check with --demo (default -13 to 265)\n"
    "  --fps N           frames per second drawn with --demo (default 60)\n"
    "  --stage DIR       the staged demo (default build/stage)\n"
    "  --starts-at T     the demo second of the file's first frame, to name scene windows\n"
    "                    (make video's files start at -13)\n"
    "  --out PREFIX      write PREFIX.csv, PREFIX.json and PREFIX.svg (default: beside\n"
    "                    the video, or build/flashcheck/demo)\n"
    "  --standard LIST   judge only these, e.g. trace,wcag (default: all five)\n"
    "  --whole-frame     every area the whole frame, as a whole-frame analyser sees it\n"
    "                    (for comparison only)\n"
    "  --quiet           no progress lines\n"
    "Exit status: 0 every judged standard passes (warnings allowed), 1 one fails,\n"
    "2 unreadable file or bad option.\n";

bool readNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    bool fromGiven = false, toGiven = false, fpsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto number = [&](double& out) {
            std::string text;
            if (!value(text)) return false;
            if (!readNumber(text, out)) {
                error = arg + " needs a number, not '" + text + "'";
                return false;
            }
            return true;
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") o.help = true;
        else if (arg == "--demo") o.demo = true;
        else if (arg == "--from") ok = number(o.from), fromGiven = true;
        else if (arg == "--to") ok = number(o.to), toGiven = true;
        else if (arg == "--fps") ok = number(o.fps), fpsGiven = true;
        else if (arg == "--starts-at") ok = number(o.startsAt), o.startsAtGiven = true;
        else if (arg == "--out") ok = value(o.out);
        else if (arg == "--stage") ok = value(o.stage);
        else if (arg == "--whole-frame") o.wholeFrame = true;
        else if (arg == "--standard") {
            std::string list;
            ok = value(list) && parseStandards(list, o.standards, error);
        }
        else if (arg == "--quiet") o.quiet = true;
        else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            ok = false;
        } else if (o.video.empty()) o.video = arg;
        else {
            error = "one video at a time, not also '" + arg + "'";
            ok = false;
        }
        if (!ok) return false;
    }
    if (o.help) return true;
    if (o.demo && !o.video.empty()) error = "--demo draws the demo's frames; give no video with it";
    else if (!o.demo && o.video.empty()) error = "no video to check (or --demo)";
    else if (!o.demo && (fromGiven || toGiven || fpsGiven)) error = "--from, --to and --fps go with --demo";
    else if (o.demo && o.startsAtGiven) error = "--starts-at is for video files";
    else if (!(o.fps > 0.0 && o.fps <= 1000.0)) error = "--fps must be above 0 and at most 1000";
    else if (o.from < kVideoStart) error = "--from cannot be before -13";
    else if (o.to > double(kTimelineEnd)) error = "--to cannot be after 265";
    else if (!(o.to > o.from)) error = "--to must come after --from";
    return error.empty();
}

int sceneWindowOfDemoTime(double time) { return sceneWindowAt(float(time)); }

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A line a tenth of the way through (or every 30 s), so that long runs show they move.
struct Progress {
    bool quiet = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double lastShown = 0.0;
    int lastTenth = 0;
    void show(long done, long total, double fps) {
        if (quiet || total <= 0) return;
        const double elapsed = secondsSince(start);
        const int tenth = int(10 * done / total);
        if (tenth == lastTenth && elapsed - lastShown < 30.0) return;
        lastTenth = tenth;
        lastShown = elapsed;
        const double rate = done / std::max(elapsed, 1e-9);
        std::fprintf(stderr, "flashcheck: %ld/%ld frames, %.1f fps (%.2fx real time), %.0f s left\n", done,
                     total, rate, rate / fps, (total - done) / std::max(rate, 1e-9));
    }
};

struct Run {
    std::vector<FrameFigures> frames;
    double analysisSeconds = 0.0;  // in the analysis itself, not decoding or drawing
    int width = 0, height = 0;
    double fps = 0.0;
};

void analyseInto(Run& run, FlashAnalyser& analyser, const unsigned char* rgb, double firstTime) {
    const auto start = std::chrono::steady_clock::now();
    FrameFigures f = analyseFrame(analyser, rgb);
    run.analysisSeconds += secondsSince(start);
    f.time += firstTime;
    run.frames.push_back(f);
}

FrameLayout layoutFor(const Options& o, int width, int height) {
    return o.wholeFrame ? wholeFrameLayout(width, height) : frameLayout(width, height);
}

int checkVideo(const Options& o, Run& run) {
    VideoInfo info;
    std::string error;
    if (!probeVideo(o.video, info, error)) {
        std::fprintf(stderr, "flashcheck: %s\n", error.c_str());
        return 2;
    }
    run.width = info.width;
    run.height = info.height;
    run.fps = info.fps;
    VideoReader reader;
    if (!openVideo(o.video, info, reader, error)) {
        std::fprintf(stderr, "flashcheck: %s\n", error.c_str());
        return 2;
    }
    FlashAnalyser analyser = makeAnalyser(layoutFor(o, info.width, info.height), info.fps, o.standards);
    ReadAhead ahead;
    startReadAhead(ahead, reader, kFramesAhead);
    while (const unsigned char* rgb = nextFrame(ahead)) {
        analyseInto(run, analyser, rgb, o.startsAtGiven ? o.startsAt : 0.0);
        releaseFrame(ahead);
    }
    stopReadAhead(ahead);
    if (!closeVideo(reader, error) && run.frames.empty()) {
        std::fprintf(stderr, "flashcheck: cannot read %s: %s\n", o.video.c_str(), error.c_str());
        return 2;
    }
    if (run.frames.empty()) {
        std::fprintf(stderr, "flashcheck: cannot read %s: no frames decoded\n", o.video.c_str());
        return 2;
    }
    if (!error.empty())
        std::fprintf(stderr, "flashcheck: warning: ffmpeg stopped after %zu frames: %s\n", run.frames.size(),
                     error.c_str());
    return 0;
}

int checkDemo(const Options& o, Run& run) {
    if (chdir(o.stage.c_str()) != 0) {
        std::fprintf(stderr, "flashcheck: cannot enter the stage folder %s\n", o.stage.c_str());
        return 2;
    }
    auto demo = std::make_unique<DemoState>();
    std::string error;
    if (!startDemo(*demo, error)) {
        std::fprintf(stderr, "flashcheck: %s\n", error.c_str());
        return 2;
    }
    run.width = kFrameWidth;
    run.height = kFrameHeight;
    run.fps = o.fps;
    const long count = long(std::ceil((o.to - o.from) * o.fps - 1e-6));
    FlashAnalyser analyser = makeAnalyser(layoutFor(o, kFrameWidth, kFrameHeight), o.fps, o.standards);
    // Off screen, as the stills and the preview draw: the same pixels whatever window we got.
    FrameTarget target = makeFrameTarget();
    Progress progress;
    progress.quiet = o.quiet;
    for (long i = 0; i < count; ++i) {
        const float t = float(o.from + double(i) / o.fps);
        bindFrameTarget(target);
        // What the scenes carry from frame to frame is set up as a run from the start would.
        if (i == 0 && o.from > kVideoStart) drawFrameAfterLeadIn(t, demo->res, demo->loop);
        else drawFrameAt(t, demo->res, demo->loop);
        const Picture frame = readFramebuffer(target.framebuffer);
        analyseInto(run, analyser, frame.rgb.data(), o.from);
        if (i % 60 == 59) glfwPollEvents();
        progress.show(i + 1, count, o.fps);
    }
    deleteFrameTarget(target);
    endDemo(*demo);
    return 0;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return bool(out.flush());
}

std::string defaultPrefix(const Options& o) {
    if (o.demo) return (fs::path(FLASHCHECK_DEFAULT_OUT) / "demo").string();
    fs::path p(o.video);
    return (p.parent_path() / p.stem()).string() + ".flashcheck";
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parseOptions(argc, argv, o, error)) {
        std::fprintf(stderr, "flashcheck: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // Paths on the command line mean what they said here, before --demo enters the stage.
    std::string prefix = fs::absolute(o.out.empty() ? defaultPrefix(o) : o.out).string();
    std::error_code ignored;
    fs::create_directories(fs::path(prefix).parent_path(), ignored);

    const auto start = std::chrono::steady_clock::now();
    Run run;
    const int status = o.demo ? checkDemo(o, run) : checkVideo(o, run);
    if (status != 0) return status;
    const double seconds = secondsSince(start);

    const bool demoTimes = o.demo || o.startsAtGiven;
    const SceneWindowOf windowOf = demoTimes ? sceneWindowOfDemoTime : nullptr;
    const std::vector<Stretch> stretches = nonPassingStretches(run.frames, run.fps, windowOf, o.standards);
    std::vector<PlotBand> bands;
    if (demoTimes)
        for (int w = 0; w < kTimelineWindowCount; ++w)
            bands.push_back({kTimelineWindows[w].from, kTimelineWindows[w].to, w + 1});
    const std::string source = o.demo ? "demo" : o.video;
    const std::string title = "flashcheck: " + (o.demo ? std::string("the demo's frames") : o.video) +
                              (o.wholeFrame ? " (whole frame)" : "");
    const bool written =
        writeFile(prefix + ".csv", frameTable(run.frames, windowOf, o.standards)) &&
        writeFile(prefix + ".json", summaryJson(source, run.fps, run.width, run.height, run.frames,
                                                stretches, windowOf, run.analysisSeconds, o.standards)) &&
        writeFile(prefix + ".svg", flashPlotSvg(run.frames, stretches, bands, title, o.standards));

    for (const std::string& line : verdictLines(stretches, run.frames, run.fps, o.standards))
        std::printf("%s\n", line.c_str());
    if (!o.quiet) {
        const double videoSeconds = double(run.frames.size()) / run.fps;
        std::fprintf(stderr,
                     "flashcheck: %zu frames in %.1f s (%.2fx real time); the analysis itself %.2f ms a "
                     "frame (%.1fx real time)\nflashcheck: %s.csv, .json, .svg\n",
                     run.frames.size(), seconds, videoSeconds / std::max(seconds, 1e-9),
                     1000.0 * run.analysisSeconds / double(run.frames.size()),
                     videoSeconds / std::max(run.analysisSeconds, 1e-9), prefix.c_str());
    }
    if (!written) {
        std::fprintf(stderr, "flashcheck: cannot write %s.csv, .json or .svg\n", prefix.c_str());
        return 2;
    }
    return verdictStatus(stretches, o.standards);
}
