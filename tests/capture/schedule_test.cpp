// The capture's command line, frame grid, warm-up frames, sub-frame plan, music offset
// and progress line, without a GL context.
#include "capture.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>

namespace {

CaptureOptions parsed(const std::vector<std::string>& args, bool expectOk = true) {
    CaptureOptions options;
    options.outPath = "out.mp4";
    std::string error;
    EXPECT_EQ(parseCaptureOptions(args, options, error), expectOk) << error;
    return options;
}

std::string rejection(const std::vector<std::string>& args) {
    CaptureOptions options;
    options.outPath = "out.mp4";
    std::string error;
    EXPECT_FALSE(parseCaptureOptions(args, options, error));
    return error;
}

FrameSchedule scheduleFor(double from, double to, double fps) {
    CaptureOptions options;
    options.fromDemo = from;
    options.toDemo = to;
    options.fps = fps;
    return frameSchedule(options);
}

bool onGrid(const FrameSchedule& s, double clock) {
    double steps = (s.firstClock - clock) * s.fps;
    return std::fabs(steps - std::round(steps)) < 1e-6;
}

} // namespace

TEST(captureOptions, no_arguments_capture_the_whole_demo_at_sixty_fps) {
    CaptureOptions options = parsed({});
    EXPECT_EQ(options.fps, 60.0);
    EXPECT_EQ(options.fromDemo, -13.0);
    EXPECT_EQ(options.toDemo, 265.0);
    EXPECT_TRUE(options.withAudio);
    EXPECT_TRUE(options.pboReadback);
    EXPECT_LT(options.audioStartClock, 0.0);  // measured unless given
    // The help names the encoder settings a plain run uses.
    EXPECT_NE(captureUsage().find("(default " + options.preset + ")"), std::string::npos);
    EXPECT_NE(captureUsage().find("(default " + std::to_string(options.crf) + ")"), std::string::npos);
}

TEST(captureOptions, every_option_reaches_its_field) {
    CaptureOptions o = parsed({"--fps", "30", "--from", "19.5", "--to", "21", "--out", "a.mp4",
                               "--stage", "st", "--audio", "m.mp3", "--audio-start", "0.5",
                               "--warmup-rate", "0", "--preset", "medium", "--crf", "23",
                               "--sync-readback", "--samples", "16", "--shutter", "0.25",
                               "--size", "3840x2160"});
    EXPECT_EQ(o.fps, 30.0);
    EXPECT_EQ(o.fromDemo, 19.5);
    EXPECT_EQ(o.toDemo, 21.0);
    EXPECT_EQ(o.outPath, "a.mp4");
    EXPECT_EQ(o.stageDir, "st");
    EXPECT_EQ(o.soundtrackPath, "m.mp3");
    EXPECT_EQ(o.audioStartClock, 0.5);
    EXPECT_EQ(o.warmupRate, 0.0);
    EXPECT_EQ(o.preset, "medium");
    EXPECT_EQ(o.crf, 23);
    EXPECT_FALSE(o.pboReadback);
    EXPECT_EQ(o.samples, 16);
    EXPECT_EQ(o.shutter, 0.25);
    EXPECT_EQ(o.outWidth, 3840);
    EXPECT_EQ(o.outHeight, 2160);
    EXPECT_FALSE(parsed({"--no-audio"}).withAudio);
    EXPECT_TRUE(parsed({"--help"}).help);
}

TEST(captureOptions, bad_values_are_refused_with_a_reason) {
    EXPECT_NE(rejection({"--fps"}).find("--fps"), std::string::npos);
    EXPECT_NE(rejection({"--fps", "sixty"}).find("sixty"), std::string::npos);
    EXPECT_NE(rejection({"--fps", "0"}).find("--fps"), std::string::npos);
    EXPECT_NE(rejection({"--frames", "3"}).find("--frames"), std::string::npos);
    EXPECT_NE(rejection({"--crf", "18.5"}).find("--crf"), std::string::npos);
    EXPECT_NE(rejection({"--warmup-rate", "-1"}).find("--warmup-rate"), std::string::npos);
    EXPECT_NE(rejection({"--samples", "0"}).find("--samples"), std::string::npos);
    EXPECT_NE(rejection({"--samples", "2.5"}).find("--samples"), std::string::npos);
    EXPECT_NE(rejection({"--samples", "257"}).find("--samples"), std::string::npos);
    EXPECT_NE(rejection({"--shutter", "-0.5"}).find("--shutter"), std::string::npos);
    EXPECT_NE(rejection({"--shutter", "1.5"}).find("--shutter"), std::string::npos);
    EXPECT_NE(rejection({"--size", "3840"}).find("3840"), std::string::npos);
    EXPECT_NE(rejection({"--size", "3840x"}).find("--size"), std::string::npos);
    // libx264's 4:2:0 chroma needs even sides.
    EXPECT_NE(rejection({"--size", "1279x720"}).find("even"), std::string::npos);
}

TEST(captureOptions, the_range_stays_inside_the_timeline) {
    // Before -13 the clock would be negative; after 265 the demo presents nothing.
    EXPECT_FALSE(rejection({"--from", "-14"}).empty());
    EXPECT_FALSE(rejection({"--to", "266"}).empty());
    EXPECT_FALSE(rejection({"--from", "30", "--to", "30"}).empty());
    EXPECT_FALSE(rejection({"--from", "31", "--to", "30"}).empty());
    parsed({"--from", "-13", "--to", "265"});
}

TEST(frameSchedule, whole_demo_runs_from_clock_zero_to_the_end_of_the_timeline) {
    FrameSchedule s = scheduleFor(-13.0, 265.0, 60.0);
    EXPECT_EQ(s.firstClock, 0.0);
    EXPECT_EQ(s.count, 278 * 60);
    EXPECT_DOUBLE_EQ(scheduleSeconds(s), 278.0);
    EXPECT_LT(frameClock(s, s.count - 1), 278.0);
}

TEST(frameSchedule, frame_clocks_do_not_drift_over_a_long_capture) {
    FrameSchedule s = scheduleFor(-13.0, 265.0, 60.0);
    // Frame 60 * k must land on whole second k, so the window bounds fall where a
    // viewer expects them in the video.
    for (long second : {1L, 33L, 108L, 260L, 277L})
        EXPECT_EQ(frameClock(s, second * 60), static_cast<double>(second));
}

TEST(frameSchedule, a_slice_starts_at_its_clock_and_covers_its_length) {
    FrameSchedule s = scheduleFor(19.0, 21.0, 10.0);
    EXPECT_EQ(s.firstClock, 32.0);
    EXPECT_EQ(s.count, 20);
    EXPECT_DOUBLE_EQ(frameClock(s, 10), 33.0);
    // A length that is no whole number of frames rounds up, so the end is covered.
    EXPECT_EQ(scheduleFor(0.0, 1.05, 10.0).count, 11);
}

TEST(warmup, a_capture_from_the_start_needs_none) {
    EXPECT_TRUE(warmupClocks(scheduleFor(-13.0, 265.0, 60.0), 1.0).empty());
}

TEST(warmup, frames_lie_on_the_grid_before_the_first_frame_in_order) {
    FrameSchedule s = scheduleFor(200.0, 202.0, 60.0);
    std::vector<double> clocks = warmupClocks(s, 1.0);
    ASSERT_FALSE(clocks.empty());
    for (size_t i = 0; i < clocks.size(); ++i) {
        EXPECT_GE(clocks[i], 0.0);
        EXPECT_LT(clocks[i], s.firstClock);
        EXPECT_TRUE(onGrid(s, clocks[i])) << clocks[i];
        if (i > 0) {
            EXPECT_LT(clocks[i - 1], clocks[i]);
        }
    }
    // The last one is the frame just before the first, whose values the scenes read.
    EXPECT_DOUBLE_EQ(clocks.back(), s.firstClock - 1.0 / 60.0);
}

TEST(warmup, each_earlier_window_is_left_by_its_last_frame_not_its_bound) {
    FrameSchedule s = scheduleFor(100.0, 101.0, 60.0);
    std::vector<double> clocks = warmupClocks(s, 0.0);
    // Windows 1 to 3 end at 20, 40 and 95; a frame on a bound draws nothing.
    for (double bound : {20.0, 40.0, 95.0}) {
        double last = bound + 13.0 - 1.0 / 60.0;
        bool found = false;
        for (double c : clocks) found = found || std::fabs(c - last) < 1e-9;
        EXPECT_TRUE(found) << bound;
        for (double c : clocks) EXPECT_GT(std::fabs(c - (bound + 13.0)), 1e-9);
    }
    // Nothing from windows not yet begun.
    for (double c : clocks) EXPECT_LT(c - 13.0, 100.0);
    EXPECT_EQ(clocks.size(), 4u);  // three window ends and the frame before the first
}

TEST(warmup, the_current_window_is_sampled_at_the_rate_from_its_start) {
    FrameSchedule s = scheduleFor(170.0, 171.0, 60.0);  // window 6 opened at 160
    std::vector<double> clocks = warmupClocks(s, 2.0);
    int inWindow = 0;
    for (double c : clocks) {
        if (c - 13.0 > 160.0) ++inWindow;
    }
    // Twenty samples across ten seconds at two a second; the last doubles as the
    // frame before the first.
    EXPECT_GE(inWindow, 19);
    EXPECT_LE(inWindow, 21);
}

TEST(subFramePlan, offsets_average_to_zero_spread_over_the_pixel_and_instants_fill_the_shutter) {
    // One sample is the plain frame.
    std::vector<SubFrame> one = subFramePlan(1, 0.5);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].dx, 0.0);
    EXPECT_EQ(one[0].dy, 0.0);
    EXPECT_EQ(one[0].when, 0.0);
    for (int n : {2, 4, 8, 16, 64}) {
        SCOPED_TRACE(n);
        std::vector<SubFrame> plan = subFramePlan(n, 0.5);
        ASSERT_EQ(plan.size(), size_t(n));
        double sumX = 0.0, sumY = 0.0, sumWhen = 0.0, closest = 1.0;
        for (size_t i = 0; i < plan.size(); ++i) {
            sumX += plan[i].dx;
            sumY += plan[i].dy;
            sumWhen += plan[i].when;
            EXPECT_LE(std::max(std::fabs(plan[i].dx), std::fabs(plan[i].dy)), 0.5);
            for (size_t j = 0; j < i; ++j)
                closest = std::min(closest, std::hypot(plan[i].dx - plan[j].dx, plan[i].dy - plan[j].dy));
            // Drawn in the order of their instants, one per equal slice of the shutter.
            if (i > 0) EXPECT_NEAR(plan[i].when - plan[i - 1].when, 0.5 / n, 1e-12);
        }
        // No drift: the picture's centre and the frame's time are where the plain
        // frame's are.
        EXPECT_NEAR(sumX, 0.0, 1e-12);
        EXPECT_NEAR(sumY, 0.0, 1e-12);
        EXPECT_NEAR(sumWhen, 0.0, 1e-12);
        EXPECT_NEAR(plan.front().when, -0.25 + 0.25 / n, 1e-12);
        // Spread: no two offsets nearer than a third of what a square grid of n would give.
        EXPECT_GT(closest, 1.0 / (3.0 * std::sqrt(double(n))));
        // Early and late sub-frames cover the pixel alike: from four on, the first
        // half's offsets average near the centre too.
        if (n < 4) continue;
        double earlyX = 0.0, earlyY = 0.0;
        for (int i = 0; i < n / 2; ++i) {
            earlyX += plan[size_t(i)].dx / (n / 2);
            earlyY += plan[size_t(i)].dy / (n / 2);
        }
        EXPECT_LT(std::hypot(earlyX, earlyY), 0.15);
    }
    for (const SubFrame& s : subFramePlan(16, 0.0)) EXPECT_EQ(s.when, 0.0);
}

TEST(audioPlan, video_from_clock_zero_waits_for_the_music) {
    AudioPlan plan = audioPlan("m.mp3", true, 0.5, scheduleFor(-13.0, 265.0, 60.0));
    EXPECT_DOUBLE_EQ(plan.delaySeconds, 0.5);
    EXPECT_EQ(plan.trimSeconds, 0.0);
}

TEST(audioPlan, a_later_slice_skips_the_music_already_played) {
    AudioPlan plan = audioPlan("m.mp3", true, 0.5, scheduleFor(19.0, 21.0, 10.0));
    EXPECT_EQ(plan.delaySeconds, 0.0);
    EXPECT_DOUBLE_EQ(plan.trimSeconds, 31.5);
}

TEST(encoderArguments, without_music_ffmpeg_gets_only_the_frames) {
    CaptureOptions options;
    options.outPath = "out.mp4";
    FrameSchedule s = frameSchedule(options);
    std::vector<std::string> args = encoderArguments(options, s, audioPlan("", false, 0.5, s));
    int inputs = 0;
    for (const std::string& a : args) inputs += a == "-i";
    EXPECT_EQ(inputs, 1);
    EXPECT_EQ(args.back(), "out.mp4");
}

TEST(progress, durations_and_sizes_read_as_a_person_writes_them) {
    EXPECT_EQ(formatDuration(278.0), "4:38");
    EXPECT_EQ(formatDuration(3723.4), "1:02:03");
    EXPECT_EQ(formatDuration(0.4), "0:00");
    EXPECT_EQ(formatSize(812 * 1024), "812 KiB");
    EXPECT_EQ(formatSize(150165709ULL), "143.2 MiB");
}

TEST(progress, line_shows_frames_speed_and_time_left) {
    // 30 of 120 frames in 10 s of a 60 fps video: 3 fps, 1/20 of real time, 30 s left.
    std::string line = progressLine(30, 120, 10.0, 60.0);
    EXPECT_NE(line.find("30/120 frames"), std::string::npos) << line;
    EXPECT_NE(line.find("3.00 fps"), std::string::npos) << line;
    EXPECT_NE(line.find("0.050x real time"), std::string::npos) << line;
    EXPECT_NE(line.find("0:30 left"), std::string::npos) << line;
    EXPECT_NE(line.find("25%"), std::string::npos) << line;
    EXPECT_NE(line.find("[######..................]"), std::string::npos) << line;
    // With sub-frames the speed is still in whole frames, so the time left counts them.
    line = progressLine(30, 120, 10.0, 60.0, 16);
    EXPECT_NE(line.find("30/120 frames x 16 samples"), std::string::npos) << line;
    EXPECT_NE(line.find("0:30 left"), std::string::npos) << line;
}

TEST(progress, before_the_first_frame_no_speed_is_guessed) {
    std::string line = progressLine(0, 120, 0.0, 60.0);
    EXPECT_EQ(line.find("fps"), std::string::npos) << line;
    EXPECT_NE(line.find("0/120 frames"), std::string::npos) << line;
}
