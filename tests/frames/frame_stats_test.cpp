// The frame benchmark's bookkeeping: which window a frame belongs to, the percentiles and
// counts it prints per window, and what its plot marks.
#include "frame_stats.h"
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace {

FrameSample frame(float demoTime, double wallMs, double cpuMs = 0.0) { return {demoTime, wallMs, cpuMs}; }

// Every number a given attribute takes in the plot, in document order, for elements of
// one kind.
std::vector<double> attributeValues(const std::string& svg, const std::string& element, const std::string& attribute) {
    std::vector<double> values;
    std::regex tag("<" + element + "[^>]*\\s" + attribute + "='([-0-9.]+)'");
    for (std::sregex_iterator it(svg.begin(), svg.end(), tag), end; it != end; ++it)
        values.push_back(std::stod((*it)[1]));
    return values;
}

} // namespace

TEST(sceneWindowOf, open_intervals_with_bounds_in_no_window) {
    EXPECT_EQ(sceneWindowOf(-13.0f), 1);   // start-up's negative seconds are window 1's
    EXPECT_EQ(sceneWindowOf(19.99f), 1);
    EXPECT_EQ(sceneWindowOf(20.01f), 2);
    EXPECT_EQ(sceneWindowOf(94.99f), 3);
    EXPECT_EQ(sceneWindowOf(159.99f), 5);
    EXPECT_EQ(sceneWindowOf(246.99f), 6);
    EXPECT_EQ(sceneWindowOf(264.99f), 7);
    for (float bound : {20.0f, 40.0f, 95.0f, 130.0f, 160.0f, 247.0f, 265.0f, 270.0f})
        EXPECT_EQ(sceneWindowOf(bound), 0) << bound;
}

TEST(percentile, nearest_rank_of_unsorted_values) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    EXPECT_EQ(percentile(hundred, 99.0), 99.0);
    EXPECT_EQ(percentile(hundred, 50.0), 50.0);
    EXPECT_EQ(percentile(hundred, 100.0), 100.0);
    EXPECT_EQ(percentile(hundred, 0.0), 1.0);
    // With few frames the 99th percentile is the worst one, not an interpolation below it.
    EXPECT_EQ(percentile({3.0, 40.0, 1.0}, 99.0), 40.0);
    EXPECT_EQ(percentile({}, 50.0), 0.0);
}

TEST(summarizeWindows, per_window_figures_from_the_frames_inside_it) {
    const std::vector<FrameSample> frames = {
        frame(-2.0f, 30.0f, 50.0),  // window 1's first frame, when its programs compile
        frame(10.0f, 10.0f, 18.0),
        frame(15.0f, 12.0f, 20.0),
        frame(20.0f, 99.0f),        // on a bound: counted nowhere
        frame(30.0f, 40.0f, 70.0),
        frame(31.0f, 16.0f, 30.0),
        frame(32.0f, 17.0f, 31.0),
        frame(33.0f, 33.0f, 60.0),  // exactly 33 ms is not over it
    };
    std::vector<WindowStats> stats = summarizeWindows(frames);
    ASSERT_EQ(stats.size(), 2u);   // windows without frames are left out

    EXPECT_EQ(stats[0].window, 1);
    EXPECT_EQ(stats[0].frames, 3u);
    EXPECT_EQ(stats[0].firstMs, 30.0);
    EXPECT_EQ(stats[0].medianMs, 12.0);
    EXPECT_EQ(stats[0].worstMs, 30.0);
    EXPECT_EQ(stats[0].worstAt, -2.0f);
    EXPECT_EQ(stats[0].cpuMedianMs, 20.0);
    EXPECT_EQ(stats[0].overSixtyFps, 1u);
    EXPECT_EQ(stats[0].overHitch, 0u);

    EXPECT_EQ(stats[1].window, 2);
    EXPECT_EQ(stats[1].frames, 4u);
    EXPECT_EQ(stats[1].firstMs, 40.0);
    EXPECT_EQ(stats[1].medianMs, 17.0);
    EXPECT_EQ(stats[1].p99Ms, 40.0);
    EXPECT_EQ(stats[1].worstAt, 30.0f);
    EXPECT_EQ(stats[1].overSixtyFps, 3u);
    EXPECT_EQ(stats[1].overHitch, 1u);
}

TEST(parseFrameLog, reads_the_renderer_and_skips_lines_it_cannot_read) {
    std::istringstream log("# renderer llvmpipe (LLVM 15.0.6, 256 bits)\n"
                           "-3.000000 25.5 40.25\n"
                           "garbage\n"
                           "-2.983333 14.0\n"   // a line cut short when the process died
                           "-2.966667 13.5 22.0\n");
    FrameLog parsed = parseFrameLog(log);
    EXPECT_EQ(parsed.renderer, "llvmpipe (LLVM 15.0.6, 256 bits)");
    ASSERT_EQ(parsed.frames.size(), 2u);
    EXPECT_FLOAT_EQ(parsed.frames[0].demoTime, -3.0f);
    EXPECT_EQ(parsed.frames[0].wallMs, 25.5);
    EXPECT_EQ(parsed.frames[0].cpuMs, 40.25);
    EXPECT_FLOAT_EQ(parsed.frames[1].demoTime, -2.966667f);
}

TEST(frameTimeSvg, shades_each_window_once_and_marks_only_frames_over_33_ms) {
    std::vector<FrameSample> frames;
    for (int i = 0; i < 2000; ++i) frames.push_back(frame(-1.0f + 0.133f * i, 12.0 + (i % 7)));
    frames[500].wallMs = 45.0;
    frames[1500].wallMs = 33.0;   // on the line, not over it
    std::string svg = frameTimeSvg(frames, "a run");

    // The white background and the seven windows.
    EXPECT_EQ(attributeValues(svg, "rect", "x").size(), 7u);
    EXPECT_EQ(attributeValues(svg, "circle", "cx").size(), 1u);
    EXPECT_EQ(std::regex_search(svg, std::regex("<title>[0-9.]+ s: 45.0 ms</title>")), true);
    EXPECT_NE(svg.find("16.7 ms (60 fps)"), std::string::npos);
    EXPECT_NE(svg.find("33 ms"), std::string::npos);
}

TEST(frameTimeSvg, frame_time_rises_upwards_and_slow_frames_stay_on_the_chart) {
    std::vector<FrameSample> frames = {frame(0.0f, 5.0), frame(100.0f, 20.0), frame(200.0f, 400.0)};
    std::string svg = frameTimeSvg(frames, "a run");

    // The polyline's points in order: later frames to the right, slower ones higher up,
    // and the 400 ms frame pinned inside the chart rather than far above it.
    std::smatch points;
    ASSERT_TRUE(std::regex_search(svg, points, std::regex("points='([^']*)'")));
    std::istringstream in(points[1].str());
    std::vector<std::pair<double, double>> xy;
    for (double x, y; in >> x && in.ignore(1) && in >> y;) xy.push_back({x, y});
    ASSERT_EQ(xy.size(), 3u);
    EXPECT_LT(xy[0].first, xy[1].first);
    EXPECT_LT(xy[1].first, xy[2].first);
    EXPECT_GT(xy[0].second, xy[1].second);
    EXPECT_GT(xy[1].second, xy[2].second);
    EXPECT_GE(xy[2].second, 0.0);

    // The two goal lines: 16.7 ms below 33 ms, both between the fast and the slow frame.
    std::vector<double> lineY = attributeValues(svg, "line", "y1");
    std::vector<double> goalY(lineY.end() - 2, lineY.end());
    EXPECT_GT(goalY[0], goalY[1]);
    EXPECT_LT(goalY[0], xy[0].second);
    EXPECT_GT(goalY[1], xy[2].second);
}

// A machine that speeds up half way through must not read as a faster stage: the ratio
// comes from within each round, not from the two stages' medians.
TEST(pairRounds, ratio_within_rounds_survives_a_drifting_machine) {
    std::vector<PairedRound> rounds = {{20.0, 18.0}, {20.0, 18.0}, {12.0, 10.8}, {12.0, 10.8}, {12.0, 10.8}};
    PairedFigures f = pairRounds(rounds);
    EXPECT_DOUBLE_EQ(f.ratio, 0.9);
    EXPECT_DOUBLE_EQ(f.lowestRatio, 0.9);
    EXPECT_DOUBLE_EQ(f.highestRatio, 0.9);
    EXPECT_DOUBLE_EQ(f.baseMs, 12.0);
    EXPECT_DOUBLE_EQ(f.otherMs, 10.8);

    // A round where either stage drew nothing says nothing about the ratio.
    f = pairRounds({{0.0, 15.0}, {10.0, 0.0}, {10.0, 15.0}, {10.0, 5.0}, {10.0, 10.0}});
    EXPECT_DOUBLE_EQ(f.ratio, 1.0);
    EXPECT_DOUBLE_EQ(f.lowestRatio, 0.5);
    EXPECT_DOUBLE_EQ(f.highestRatio, 1.5);
    EXPECT_EQ(pairRounds({{0.0, 0.0}}).ratio, 0.0);
}
