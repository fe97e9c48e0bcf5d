// The staged binary as a user runs it: exit statuses and messages, with the GLFW clock
// and keyboard steered by a preloaded shim.
#include "command_run.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct DemoRun {
    int status = -1;
    std::string out;
    int swaps = -1;
    double lastPresentedClock = 0.0;
};

// Runs the demo from its stage folder; stderr (the audio library's chatter) is dropped.
DemoRun runDemo(const std::string& env) {
    std::string report = std::string(NORRVALE_STAGE) + "/../shim-report.txt";
    std::remove(report.c_str());
    std::string command = "cd '" NORRVALE_STAGE "' && env " + env +
                          " LD_PRELOAD='" NORRVALE_SHIM "' SHIM_REPORT='" + report +
                          "' timeout 120 '" NORRVALE_BINARY "' 2>/dev/null";
    CommandRun process = runShell(command);
    DemoRun run;
    run.status = process.status;
    run.out = process.out;
    std::ifstream in(report);
    in >> run.swaps >> run.lastPresentedClock;
    return run;
}

} // namespace

TEST(demoProcess, without_a_display_says_so_and_exits_minus_one) {
    DemoRun run = runDemo("-u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(run.out, "Failed to create GLFW window\n");
    EXPECT_EQ(run.status, 255);  // -1 as an exit status
}

TEST(demoProcess, without_gl_entry_points_says_so_and_exits_minus_one) {
    DemoRun run = runDemo("SHIM_NO_GL=1");
    EXPECT_EQ(run.out, "Failed to initialize GLAD\n");
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.swaps, 0);
}

TEST(demoProcess, escape_ends_the_run_after_presenting_that_frame) {
    for (int frames : {0, 3}) {
        SCOPED_TRACE(frames);
        DemoRun run = runDemo("SHIM_ESCAPE_AFTER_FRAMES=" + std::to_string(frames));
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.swaps, frames + 1);
    }
}

TEST(demoProcess, timeline_end_exits_zero_without_presenting_the_last_frame) {
    // Start half a second before the end, at double speed.
    DemoRun run = runDemo("SHIM_CLOCK_START=277.5 SHIM_CLOCK_SCALE=2");
    EXPECT_EQ(run.status, 0);
    EXPECT_GE(run.swaps, 1);
    EXPECT_LE(run.lastPresentedClock - 13.0, 265.0 + 1e-3);
}
