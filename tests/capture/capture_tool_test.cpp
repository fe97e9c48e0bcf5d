// The capture and stills binaries as a user runs them: a slice across a scene change
// matches the demo's own frames drawn here at the same instants, a sub-sampled still
// is the mean of its displaced frames drawn here, a missing soundtrack leaves a
// silent video, and a bad command line is refused.
#include "capture.h"
#include "gl_context.h"
#include "media_probe.h"
#include "app/resources.h"
#include <gtest/gtest.h>
#include <cmath>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

// Window 2 hands over to window 3 at demoTime 40; window 3 opens with a shader picture
// that needs no baked image, so the frames tell instants apart before the images exist.
constexpr double kFrom = 39.5, kTo = 41.5, kFps = 10.0;
// Mean difference per channel that H.264 at the tool's quality stays under.
constexpr double kCodecLoss = 3.0;

std::string captureCommand(const std::string& args) {
    return "'" CAPTURE_BINARY "' --stage '" CAPTURE_STAGE "' " + args;
}

// The demo's resources, built once in the stage folder on the test context.
DemoState& demoHere() {
    static std::unique_ptr<DemoState> demo = [] {
        std::string previous = std::filesystem::current_path().string();
        std::filesystem::current_path(CAPTURE_STAGE);
        auto state = std::make_unique<DemoState>();
        StdoutCapture quiet;  // loaders' reports of content not yet baked
        quiet.begin();
        buildSceneResources(state->res, state->loop);
        quiet.end();
        takeGlError();  // a program not yet written fails its uniforms; the demo goes on
        std::filesystem::current_path(previous);
        return state;
    }();
    return *demo;
}

std::vector<unsigned char> stillAt(double clock) {
    glfwSetTime(clock);
    drawDemoFrame(&demoHere());
    takeGlError();  // as above: the demo draws on past a program that did not link
    std::vector<unsigned char> rgb(1920 * 1080 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 1920, 1080, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return flipRows(rgb, 1920, 1080);
}

// The frame on the test context as it is now, top row first.
std::vector<unsigned char> frameHere() {
    takeGlError();  // as above
    std::vector<unsigned char> rgb(1920 * 1080 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 1920, 1080, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return flipRows(rgb, 1920, 1080);
}

// How far `moved` lies from `still` along one axis, in pixels: the low point of a
// parabola through their squared differences at shifts of -1, 0 and 1 pixel.
double subPixelShift(const std::vector<unsigned char>& still, const std::vector<unsigned char>& moved,
                     int stepX, int stepY) {
    double error[3] = {0.0, 0.0, 0.0};
    for (int k = -1; k <= 1; ++k)
        for (int y = 2; y < 1078; ++y)
            for (int x = 2; x < 1918; ++x)
                for (int c = 0; c < 3; ++c) {
                    double d = double(moved[(size_t(y) * 1920 + x) * 3 + c]) -
                               still[(size_t(y - k * stepY) * 1920 + (x - k * stepX)) * 3 + c];
                    error[k + 1] += d * d;
                }
    return (error[0] - error[2]) / (2.0 * (error[0] - 2.0 * error[1] + error[2]));
}

struct CaptureToolTest : GlTest {
    TempDir dir;
};

} // namespace

TEST_F(CaptureToolTest, slice_across_a_scene_change_matches_the_demo_frame_for_frame) {
    std::string music = dir.file("music.mp3"), out = dir.file("slice.mp4");
    ASSERT_TRUE(makeToneMp3(music, 1.0, 60.0));
    char range[128];
    std::snprintf(range, sizeof range, "--from %g --to %g --fps %g --warmup-rate 0", kFrom, kTo, kFps);
    CommandRun run = runCommand(captureCommand(std::string(range) + " --audio '" + music +
                                               "' --audio-start 0.5 --out '" + out + "'"));
    ASSERT_EQ(run.status, 0) << run.out;

    std::vector<StreamFacts> streams = probeStreams(out);
    const StreamFacts* video = findStream(streams, "video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->at("width"), "1920");
    EXPECT_EQ(video->at("height"), "1080");
    EXPECT_EQ(video->at("nb_read_frames"), "20");
    EXPECT_NEAR(std::stod(video->at("duration")), 2.0, 1e-3);
    EXPECT_NE(findStream(streams, "audio"), nullptr);

    // The same history as the tool drew, then the compared instants in order.
    FrameSchedule schedule;
    schedule.firstClock = kFrom + 13.0;
    schedule.fps = kFps;
    schedule.count = 20;
    for (double clock : warmupClocks(schedule, 0.0)) stillAt(clock);
    std::vector<std::vector<unsigned char>> frames = decodeFrames(out);
    ASSERT_EQ(frames.size(), 20u);
    std::map<long, std::vector<unsigned char>> stills;
    for (long n : {0L, 4L, 5L, 6L, 15L, 19L}) stills[n] = stillAt(frameClock(schedule, n));

    for (auto& [n, still] : stills) {
        SCOPED_TRACE(n);
        EXPECT_LT(meanAbsDifference(frames[n], still), kCodecLoss);
    }
    // Where the picture moves, each frame is nearer its own instant than a neighbour's.
    for (auto [a, b] : {std::pair<long, long>{0, 4}, {6, 15}, {15, 19}}) {
        if (meanAbsDifference(stills[a], stills[b]) < 3 * kCodecLoss) continue;
        EXPECT_LT(meanAbsDifference(frames[a], stills[a]), meanAbsDifference(frames[a], stills[b]));
        EXPECT_LT(meanAbsDifference(frames[b], stills[b]), meanAbsDifference(frames[b], stills[a]));
    }
}

TEST_F(CaptureToolTest, without_a_soundtrack_it_warns_and_writes_the_video_alone) {
    std::string out = dir.file("silent.mp4");
    CommandRun run = runCommand(captureCommand("--from 0 --to 0.5 --fps 10 --warmup-rate 0 "
                                               "--audio '" + dir.file("none.mp3") +
                                               "' --out '" + out + "'"));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("warning"), std::string::npos) << run.out;
    std::vector<StreamFacts> streams = probeStreams(out);
    ASSERT_NE(findStream(streams, "video"), nullptr);
    EXPECT_EQ(findStream(streams, "audio"), nullptr);
    EXPECT_EQ(findStream(streams, "video")->at("nb_read_frames"), "5");
    // It ends by naming the file and its size.
    std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
    EXPECT_EQ(last.rfind(out + " (", 0), 0u) << last;
    EXPECT_NE(last.find("KiB)"), std::string::npos) << last;
}

TEST_F(CaptureToolTest, a_sub_sampled_still_is_the_mean_of_its_displaced_frames_and_does_not_drift) {
    // The closing logo's letters are hard edges against black, and nothing in that
    // window reads the running clock, so frames drawn here and in the tool agree to
    // the bit. With no shutter every sub-frame is of the same instant.
    constexpr float kTime = 255.0f;
    constexpr int kSamples = 16;
    const std::string plainDir = dir.file("plain"), sampledDir = dir.file("sampled");
    const std::string name = "/still_0255.00.png";
    CommandRun plainRun = runCommand("'" STILLS_BINARY "' --out '" + plainDir + "' 255");
    ASSERT_EQ(plainRun.status, 0) << plainRun.out;
    CommandRun sampledRun = runCommand("'" STILLS_BINARY "' --samples 16 --shutter 0 --out '" +
                                       sampledDir + "' 255");
    ASSERT_EQ(sampledRun.status, 0) << sampledRun.out;
    std::vector<std::vector<unsigned char>> plain = decodeFrames(plainDir + name);
    std::vector<std::vector<unsigned char>> sampled = decodeFrames(sampledDir + name);
    ASSERT_EQ(plain.size(), 1u);
    ASSERT_EQ(sampled.size(), 1u);

    // One sample is the demo's own frame, to the last bit, drawn off screen as the
    // stills tool draws it.
    DemoState& demo = demoHere();
    FrameTarget target = makeFrameTarget();
    bindFrameTarget(target);
    drawFrameAfterLeadIn(kTime, demo.res, demo.loop);
    std::vector<unsigned char> here = frameHere();
    EXPECT_TRUE(plain[0] == here) << meanAbsDifference(plain[0], here);

    // The sub-sampled still: every displaced frame drawn here, averaged here.
    std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(CAPTURE_STAGE);
    std::string log;
    ASSERT_TRUE(displaceScenePrograms(demo.res, log)) << log;
    std::filesystem::current_path(previous);
    std::vector<double> sum(here.size(), 0.0);
    setSceneOffset(demo.res, 0.0, 0.0);
    drawFrameAfterLeadIn(kTime, demo.res, demo.loop);
    for (const SubFrame& sub : subFramePlan(kSamples, 0.0)) {
        setSceneOffset(demo.res, sub.dx, sub.dy);
        drawFrameAt(kTime, demo.res, demo.loop);
        std::vector<unsigned char> frame = frameHere();
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += frame[i];
    }
    int worst = 0;
    size_t changed = 0;
    for (size_t i = 0; i < sum.size(); ++i) {
        worst = std::max(worst, std::abs(int(std::lround(sum[i] / kSamples)) - int(sampled[0][i])));
        changed += sampled[0][i] != plain[0][i];
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    deleteFrameTarget(target);
    EXPECT_LE(worst, 1);
    EXPECT_GT(changed, 1000u);  // the edges did change
    // Anti-aliased, but where the plain frame is: no half-pixel drift on either axis.
    EXPECT_NEAR(subPixelShift(plain[0], sampled[0], 1, 0), 0.0, 0.1);
    EXPECT_NEAR(subPixelShift(plain[0], sampled[0], 0, 1), 0.0, 0.1);
}

TEST_F(CaptureToolTest, a_bad_command_line_is_refused_with_the_usage) {
    CommandRun run = runCommand(captureCommand("--fps fast"));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("fast"), std::string::npos);
    EXPECT_NE(run.out.find("usage: capture"), std::string::npos);
    EXPECT_EQ(runCommand(captureCommand("--help")).status, 0);
    // Each bad value is named on the first line, before the usage.
    for (const char* bad : {"--samples 0", "--shutter -0.5", "--size 3840"}) {
        SCOPED_TRACE(bad);
        run = runCommand(captureCommand(bad));
        EXPECT_EQ(run.status, 2);
        std::string first = run.out.substr(0, run.out.find('\n'));
        EXPECT_EQ(first.rfind("capture: " + std::string(bad).substr(0, std::string(bad).find(' ')), 0), 0u)
            << first;
        EXPECT_EQ(run.out.find("usage: capture"), first.size() + 1) << run.out;
    }
    run = runCommand("'" STILLS_BINARY "' --samples 0 10");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("--samples"), std::string::npos) << run.out;
}
