// The preview's command line and its play clock: the demo time it shows, moved by
// playing at a chosen speed, by the keys, and by a loop over part of the timeline.
#include "preview.h"
#include "app/timeline.h"
#include <GLFW/glfw3.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr double kTimelineStart = -kDemoClockOffset;  // clock 0
constexpr double kSmallStep = 1.0;                      // s, Left/Right
constexpr double kBigStep = 10.0;                       // s, with Shift
constexpr double kSlowest = 0.125, kFastest = 8.0;      // play speeds [ and ] reach
// A frame exactly on a window's bound draws only black, so "the start of a window" is
// the first frame a 60 fps run draws inside it.
constexpr double kFirstFrameIn = 1.0 / 60.0;

bool readNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

bool onTimeline(double t) { return t >= kTimelineStart && t <= double(kTimelineEnd); }

} // namespace

bool parsePreviewOptions(const std::vector<std::string>& args, PreviewOptions& options,
                         std::string& error) {
    for (size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& flag = args[i];
        auto number = [&](double& out) {
            if (i + 1 >= args.size()) error = flag + " needs a demo time in seconds";
            else if (!readNumber(args[i + 1], out))
                error = flag + " needs a demo time in seconds, not '" + args[i + 1] + "'";
            else if (!onTimeline(out))
                error = flag + " " + args[i + 1] + " is off the timeline (-13 to 265)";
            ++i;
        };
        auto folder = [&](std::string& out) {
            if (i + 1 >= args.size()) error = flag + " needs a folder";
            else if (!fs::is_directory(args[i + 1])) error = flag + ": no folder " + args[i + 1];
            else out = args[i + 1];
            ++i;
        };
        if (flag == "--help" || flag == "-h") options.help = true;
        else if (flag == "--at") {
            number(options.at);
            options.atGiven = true;
        } else if (flag == "--loop") {
            number(options.loopFrom);
            if (error.empty()) number(options.loopTo);
            if (error.empty() && !(options.loopTo > options.loopFrom))
                error = "--loop needs its end after its start";
            options.loop = true;
        } else if (flag == "--paused") options.paused = true;
        else if (flag == "--stage") folder(options.stageDir);
        else if (flag == "--shaders") folder(options.shaderDir);
        else error = "unknown option '" + flag + "' (--help lists them)";
    }
    if (error.empty() && !options.stageDir.empty() && !fs::is_directory(fs::path(options.stageDir) / "shdrs"))
        error = "--stage: " + options.stageDir + " holds no shdrs/; run make first";
    return error.empty();
}

std::string previewUsage() {
    return "usage: preview [--at T] [--loop A B] [--paused] [--stage DIR] [--shaders DIR]\n"
           "  --at T        start at demo time T (seconds, -13 to 265)\n"
           "  --loop A B    play A to B over and over\n"
           "  --paused      start paused\n"
           "  --stage DIR   the staged demo to show (default: the build's stage)\n"
           "  --shaders DIR build the programs from this folder's sources and rebuild\n"
           "                them as they are saved (default: the stage's shdrs/)\n"
           "keys: Space pause, Left/Right 1 s (Shift: 10 s), Page Up/Down scene window,\n"
           "      Home start, L loop the scene window, [ ] half/double speed,\n"
           "      R rebuild shaders, F5 reload images, models and music, Escape quit\n";
}

PlayClock startingClock(const PreviewOptions& options) {
    PlayClock clock;
    clock.paused = options.paused;
    clock.looping = options.loop;
    clock.loopFrom = options.loopFrom;
    clock.loopTo = options.loopTo;
    clock.demoTime = options.atGiven ? options.at : options.loop ? options.loopFrom : kTimelineStart;
    clock.jumped = true;
    return clock;
}

void advanceClock(PlayClock& clock, double wallSeconds) {
    if (clock.paused) return;
    double t = clock.demoTime + wallSeconds * clock.speed;
    if (clock.looping && t >= clock.loopTo) {
        t = clock.loopFrom + std::fmod(t - clock.loopFrom, clock.loopTo - clock.loopFrom);
        clock.jumped = true;
    }
    if (t >= double(kTimelineEnd)) {
        t = double(kTimelineEnd);
        clock.paused = true;
    }
    clock.demoTime = t;
}

void seekClock(PlayClock& clock, double demoTime) {
    clock.demoTime = std::clamp(demoTime, kTimelineStart, double(kTimelineEnd));
    clock.jumped = true;
}

double windowStart(int window) {
    if (window <= 1) return kTimelineStart;
    return double(kTimelineWindows[std::min(window, kTimelineWindowCount) - 1].from) + kFirstFrameIn;
}

KeyAction applyKey(PlayClock& clock, int key, int mods) {
    const double step = (mods & GLFW_MOD_SHIFT) ? kBigStep : kSmallStep;
    // At the very end the clock is in no window; it counts as the last one.
    int window = sceneWindowAt(float(clock.demoTime));
    if (window == 0) window = kTimelineWindowCount;
    switch (key) {
    case GLFW_KEY_ESCAPE:    return KeyAction::quit;
    case GLFW_KEY_R:         return KeyAction::rebuildShaders;
    case GLFW_KEY_F5:        return KeyAction::reloadContent;
    case GLFW_KEY_SPACE:
        // Resuming at the end starts the timeline over.
        if (clock.paused && clock.demoTime >= double(kTimelineEnd)) seekClock(clock, kTimelineStart);
        clock.paused = !clock.paused;
        break;
    case GLFW_KEY_LEFT:      seekClock(clock, clock.demoTime - step); break;
    case GLFW_KEY_RIGHT:     seekClock(clock, clock.demoTime + step); break;
    case GLFW_KEY_PAGE_UP:   seekClock(clock, windowStart(window - 1)); break;
    case GLFW_KEY_PAGE_DOWN:
        // After the last window comes the end of the timeline.
        seekClock(clock, window < kTimelineWindowCount ? windowStart(window + 1) : double(kTimelineEnd));
        break;
    case GLFW_KEY_HOME:      seekClock(clock, kTimelineStart); break;
    case GLFW_KEY_L:
        clock.looping = !clock.looping;
        if (clock.looping) {
            clock.loopFrom = kTimelineWindows[window - 1].from;
            clock.loopTo = kTimelineWindows[window - 1].to;
        }
        break;
    case GLFW_KEY_LEFT_BRACKET:  clock.speed = std::max(kSlowest, clock.speed / 2.0); break;
    case GLFW_KEY_RIGHT_BRACKET: clock.speed = std::min(kFastest, clock.speed * 2.0); break;
    default: break;
    }
    return KeyAction::none;
}
