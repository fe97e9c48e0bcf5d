// The fixed-step clock preloaded into the real demo binary, and the benchmark that runs
// it: every presented frame is logged at the instant it drew, the last frame past the
// timeline's end is not, and the benchmark turns a short run into its table and plot.
#include "command.h"
#include "frame_stats.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string tempPath(const std::string& stem) {
    return "/tmp/norrvale-" + stem + "-" + std::to_string(getpid());
}

// The staged demo under the clock shim; the log it leaves, parsed.
FrameLog runDemo(const std::string& clockEnv, int& status) {
    std::string log = tempPath("frame-log");
    std::remove(log.c_str());
    CommandRun run = runCommand("{ cd '" NORRVALE_STAGE "' && env " + clockEnv + " FRAMECLOCK_LOG='" +
                                log + "' LD_PRELOAD='" NORRVALE_FRAME_SHIM "' timeout 120 '"
                                NORRVALE_BINARY "' 2>/dev/null; }");
    status = run.status;
    std::ifstream in(log);
    FrameLog parsed = parseFrameLog(in);
    std::remove(log.c_str());
    return parsed;
}

} // namespace

TEST(frameClock, steps_once_per_presented_frame_to_the_end_of_the_timeline) {
    int status = -1;
    // Clock 276 is demoTime 263: frames at 263, 263.25, ... 265; 265.25 ends the run.
    FrameLog log = runDemo("FRAMECLOCK_START=276 FRAMECLOCK_STEP=0.25", status);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(log.renderer.empty());
    ASSERT_EQ(log.frames.size(), 9u);
    for (size_t i = 0; i < log.frames.size(); ++i) {
        EXPECT_FLOAT_EQ(log.frames[i].demoTime, 263.0f + 0.25f * float(i));
        EXPECT_GT(log.frames[i].wallMs, 0.0);
        EXPECT_GE(log.frames[i].cpuMs, 0.0);
    }
}

TEST(frameClock, stop_presses_escape_once_the_clock_passes_it) {
    int status = -1;
    // demoTime 250 to just past 251 at 10 steps a second; Escape ends the run after the
    // frame it is seen in has been presented.
    FrameLog log = runDemo("FRAMECLOCK_START=263 FRAMECLOCK_STEP=0.1 FRAMECLOCK_STOP=264", status);
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(log.frames.empty());
    EXPECT_FLOAT_EQ(log.frames.front().demoTime, 250.0f);
    EXPECT_GT(log.frames.back().demoTime, 251.0f);
    EXPECT_LT(log.frames.back().demoTime, 251.25f);
}

TEST(benchFrames, prints_each_window_it_ran_and_writes_the_plot) {
    std::string svg = tempPath("frametimes") + ".svg";
    std::remove(svg.c_str());
    CommandRun run = runCommand("'" BENCH_FRAMES_BINARY "' --fps 4 --from 245.5 --to 248 --svg '" + svg + "'");
    EXPECT_EQ(run.status, 0) << run.out;
    // 245.5 to 247 is window 6 (the bound itself draws nothing), 247.25 on window 7.
    EXPECT_NE(run.out.find("\n  6 greetings, Tampere sky "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  7 closing logo "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\n  5 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("goal (every window's median <= 16.7 ms, no frame over 33 ms): "), std::string::npos);
    std::ifstream plot(svg);
    std::stringstream text;
    text << plot.rdbuf();
    EXPECT_EQ(text.str().rfind("<svg", 0), 0u);
    EXPECT_NE(text.str().find("</svg>"), std::string::npos);
    std::remove(svg.c_str());
}

// The driver keeps compiled programs between runs; unless told otherwise the benchmark
// gives each run an empty cache, so the compile stalls of a first viewing are measured
// and the caller's own cache is left alone. A named cache is passed to the driver and kept.
TEST(benchFrames, first_viewing_by_default_and_a_named_shader_cache_is_filled_and_kept) {
    std::string cache = tempPath("shader-cache");
    runCommand("rm -rf '" + cache + "'");
    std::string window7 = "'" BENCH_FRAMES_BINARY "' --fps 4 --from 249 --to 250.5 --svg /dev/null";

    CommandRun first = runCommand(window7);
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("shader cache: empty, as on a first viewing ("), std::string::npos) << first.out;

    CommandRun filling = runCommand(window7 + " --shader-cache '" + cache + "'");
    EXPECT_EQ(filling.status, 0) << filling.out;
    EXPECT_NE(filling.out.find("shader cache: " + cache + ", 0 files before the run, "), std::string::npos)
        << filling.out;
    CommandRun listing = runCommand("find '" + cache + "' -type f | wc -l");
    EXPECT_GT(std::stoi(listing.out), 0) << "the driver wrote nothing to the named cache";

    CommandRun again = runCommand(window7 + " --shader-cache '" + cache + "'");
    EXPECT_EQ(again.out.find(", 0 files before the run, "), std::string::npos) << again.out;
    runCommand("rm -rf '" + cache + "'");
}

// The stage against itself: every instant asked for is drawn by both, in its own window,
// and the two sides match to within the machine's jitter.
TEST(benchFrames, a_stage_against_itself_reads_even) {
    CommandRun run = runCommand("'" BENCH_FRAMES_BINARY "' --against '" NORRVALE_STAGE "' --at 30,250 --rounds 2");
    ASSERT_EQ(run.status, 0) << run.out;
    std::regex row("\n +([0-9.]+) +([0-9]) +([0-9.]+) +([0-9.]+) +([0-9.]+) ");
    std::vector<std::string> windows;
    for (std::sregex_iterator it(run.out.begin(), run.out.end(), row), end; it != end; ++it) {
        windows.push_back((*it)[2]);
        double ratio = std::stod((*it)[5]);
        EXPECT_GT(ratio, 0.5) << run.out;
        EXPECT_LT(ratio, 2.0) << run.out;
    }
    EXPECT_EQ(windows, (std::vector<std::string>{"2", "7"})) << run.out;
}
