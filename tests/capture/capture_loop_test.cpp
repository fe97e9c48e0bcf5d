// Whole captures in-process with a test pattern that shows the clock it was drawn at:
// frame order and timing, orientation, the file's streams and size, the music's
// offset, motion blur from sub-frames, and how a capture ends when it is interrupted
// or ffmpeg is missing.
#include "capture.h"
#include "gl_context.h"
#include "media_probe.h"
#include <gtest/gtest.h>
#include <cmath>
#include <csignal>
#include <cstdlib>

namespace {

// A white bar that moves 40 pixels per tenth of a clock second, under a red band
// along the top of the screen.
int barLeft(double clock) { return static_cast<int>(std::lround(clock * 400.0)) % 1800; }

struct Pattern {
    int draws = 0;
    int interruptAt = -1;  // raise SIGINT while drawing this frame
    // The sub-pixel offsets the capture asked for; the pattern itself does not move.
    int offsets = 0;
    double offsetSumX = 0.0, offsetSumY = 0.0;
};

void offsetPattern(double dx, double dy, void* user) {
    Pattern& p = *static_cast<Pattern*>(user);
    ++p.offsets;
    p.offsetSumX += dx;
    p.offsetSumY += dy;
}

void drawPattern(void* user) {
    Pattern& p = *static_cast<Pattern*>(user);
    double clock = glfwGetTime();
    glClearColor(0.16f, 0.16f, 0.16f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 980, 1920, 100);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(barLeft(clock), 100, 40, 800);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    if (p.draws++ == p.interruptAt) std::raise(SIGINT);
}

// Where the bar's left edge is in a decoded frame's middle row; -1 if absent.
int barLeftIn(const std::vector<unsigned char>& rgb) {
    const size_t row = 540 * 1920 * 3;
    for (int x = 0; x < 1920; ++x) {
        if (rgb[row + x * 3] > 200 && rgb[row + x * 3 + 1] > 200) return x;
    }
    return -1;
}

struct CaptureLoopTest : GlTest {
    TempDir dir;

    CaptureOptions options(double from, double seconds) {
        CaptureOptions o;
        o.fps = 10.0;
        o.fromDemo = from;
        o.toDemo = from + seconds;
        o.outPath = dir.file("out.mp4");
        return o;
    }

    CaptureResult capture(const CaptureOptions& o, Pattern& pattern, const AudioPlan& audio) {
        return runCapture(testWindow(), o, audio, FrameSource{drawPattern, &pattern, offsetPattern}, true);
    }
};

} // namespace

TEST_F(CaptureLoopTest, each_frame_shows_its_own_instant_upright_and_in_order) {
    Pattern pattern;
    CaptureOptions o = options(-13.0, 2.0);
    CaptureResult result = capture(o, pattern, AudioPlan{});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.framesWritten, 20);

    std::vector<std::vector<unsigned char>> frames = decodeFrames(o.outPath);
    ASSERT_EQ(frames.size(), 20u);
    for (size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        // Frame n was drawn at clock n / 10.
        EXPECT_NEAR(barLeftIn(frames[n]), barLeft(n / 10.0), 3);
        // The band drawn along the top of the screen is along the top of the video.
        size_t top = (20 * 1920 + 960) * 3, bottom = (1060 * 1920 + 960) * 3;
        EXPECT_GT(frames[n][top], 200);
        EXPECT_LT(frames[n][top + 1], 60);
        EXPECT_LT(frames[n][bottom], 80);
    }
}

TEST_F(CaptureLoopTest, file_is_full_hd_h264_of_the_asked_length_with_the_music) {
    std::string music = dir.file("music.mp3");
    ASSERT_TRUE(makeToneMp3(music, 1.0, 5.0));
    Pattern pattern;
    CaptureOptions o = options(-13.0, 2.0);
    FrameSchedule s = frameSchedule(o);
    ASSERT_TRUE(capture(o, pattern, audioPlan(music, true, 0.5, s)).ok);

    std::vector<StreamFacts> streams = probeStreams(o.outPath);
    const StreamFacts* video = findStream(streams, "video");
    const StreamFacts* audio = findStream(streams, "audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->at("codec_name"), "h264");
    EXPECT_EQ(video->at("width"), "1920");
    EXPECT_EQ(video->at("height"), "1080");
    EXPECT_EQ(video->at("pix_fmt"), "yuv420p");
    EXPECT_EQ(video->at("nb_read_frames"), "20");
    EXPECT_EQ(video->at("avg_frame_rate"), "10/1");
    EXPECT_NEAR(std::stod(video->at("duration")), 2.0, 1e-3);
    EXPECT_EQ(audio->at("codec_name"), "aac");
    // The music is cut where the picture ends (one AAC frame of slack).
    EXPECT_NEAR(std::stod(audio->at("duration")), 2.0, 0.05);
}

TEST_F(CaptureLoopTest, music_starts_where_set_up_ended_on_the_clock) {
    std::string music = dir.file("music.mp3");
    ASSERT_TRUE(makeToneMp3(music, 1.0, 5.0));  // a tone from audio second 1
    const double musicStart = 0.5;              // clock second the music starts at
    // From clock 0 the music waits half a second; from clock 1.2 it is 0.7 s in. The
    // later slice is sub-sampled and scaled: neither moves the music.
    for (double firstClock : {0.0, 1.2}) {
        SCOPED_TRACE(firstClock);
        Pattern pattern;
        CaptureOptions o = options(firstClock - 13.0, 2.0);
        if (firstClock > 0.0) {
            o.samples = 4;
            o.outWidth = 1280;
            o.outHeight = 720;
        }
        ASSERT_TRUE(capture(o, pattern, audioPlan(music, true, musicStart, frameSchedule(o))).ok);
        double toneInVideo = firstLoudSecond(decodeAudio(o.outPath, 8000), 8000);
        EXPECT_NEAR(toneInVideo, musicStart + 1.0 - firstClock, 0.02);
        const StreamFacts* video = findStream(probeStreams(o.outPath), "video");
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->at("width"), std::to_string(o.outWidth));
        EXPECT_EQ(video->at("height"), std::to_string(o.outHeight));
        EXPECT_EQ(video->at("nb_read_frames"), "20");
    }
}

TEST_F(CaptureLoopTest, sub_frames_blur_motion_over_the_shutter_centred_on_the_frame_time) {
    // The bar moves 400 pixels a second: 20 pixels in half of a 10 fps frame interval.
    constexpr int kSamples = 8;
    constexpr double kBackground = 0.16 * 255.0;
    for (double shutter : {0.0, 0.5}) {
        SCOPED_TRACE(shutter);
        Pattern pattern;
        CaptureOptions o = options(-12.0, 0.5);  // clock 1 to 1.5
        o.warmupRate = 0.0;
        o.samples = kSamples;
        o.shutter = shutter;
        ASSERT_TRUE(capture(o, pattern, AudioPlan{}).ok);
        const long warmups = long(warmupClocks(frameSchedule(o), 0.0).size());
        EXPECT_EQ(pattern.draws, warmups + 5 * kSamples);
        // An offset before every sub-frame, after one reset before the warm-up; each
        // frame's offsets cancel, so the picture does not drift.
        EXPECT_EQ(pattern.offsets, 1 + 5 * kSamples);
        EXPECT_NEAR(pattern.offsetSumX, 0.0, 1e-9);
        EXPECT_NEAR(pattern.offsetSumY, 0.0, 1e-9);

        std::vector<std::vector<unsigned char>> frames = decodeFrames(o.outPath);
        ASSERT_EQ(frames.size(), 5u);
        for (size_t n = 0; n < frames.size(); ++n) {
            SCOPED_TRACE(n);
            // The middle row: how many pixels lie between bar and background, and where
            // the bar's light is centred.
            const unsigned char* row = &frames[n][540 * 1920 * 3];
            int between = 0;
            double light = 0.0, moment = 0.0;
            for (int x = 0; x < 1920; ++x) {
                double v = (row[x * 3 + 1] - kBackground) / (255.0 - kBackground);
                if (v > 0.15 && v < 0.85) ++between;
                if (v > 0.05) {
                    light += v;
                    moment += v * (x + 0.5);
                }
            }
            if (shutter == 0.0) EXPECT_LE(between, 6);   // edges as sharp as the codec keeps them
            else EXPECT_GE(between, 20);                 // most of two 20-pixel ramps
            EXPECT_NEAR(light, 40.0, 2.0);               // blur spreads the bar, keeps its light
            EXPECT_NEAR(moment / light, barLeft(1.0 + n / 10.0) + 20.0, 1.5);
        }
    }
}

TEST_F(CaptureLoopTest, warm_up_frames_are_drawn_but_not_kept) {
    Pattern pattern;
    CaptureOptions o = options(-11.0, 1.0);  // clock 2 to 3
    o.warmupRate = 2.0;
    size_t warmups = warmupClocks(frameSchedule(o), o.warmupRate).size();
    ASSERT_GT(warmups, 0u);
    CaptureResult result = capture(o, pattern, AudioPlan{});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(pattern.draws, static_cast<int>(warmups) + 10);
    std::vector<std::vector<unsigned char>> frames = decodeFrames(o.outPath);
    ASSERT_EQ(frames.size(), 10u);
    EXPECT_NEAR(barLeftIn(frames[0]), barLeft(2.0), 3);
}

TEST_F(CaptureLoopTest, an_interrupt_ends_with_a_playable_file_of_the_frames_so_far) {
    Pattern pattern;
    pattern.interruptAt = 5;
    CaptureOptions o = options(-13.0, 2.0);
    o.warmupRate = 0.0;
    CaptureResult result = capture(o, pattern, AudioPlan{});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.stoppedEarly);
    EXPECT_EQ(result.framesWritten, 6);  // the frame being drawn is still kept
    std::vector<std::vector<unsigned char>> frames = decodeFrames(o.outPath);
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_NEAR(barLeftIn(frames[5]), barLeft(0.5), 3);
}

TEST_F(CaptureLoopTest, without_ffmpeg_the_capture_fails_and_says_why) {
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir.path.c_str(), 1);
    Pattern pattern;
    CaptureResult result = capture(options(-13.0, 0.5), pattern, AudioPlan{});
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("ffmpeg"), std::string::npos) << result.error;
}
