// Frame readback on the real driver: what the sink is handed, when, and in which row
// order, through the pixel-buffer pair and the direct path alike.
#include "capture.h"
#include "gl_context.h"
#include <gtest/gtest.h>

namespace {

struct Collected {
    std::vector<std::vector<unsigned char>> frames;
    bool refuse = false;
};

bool collect(const unsigned char* rgb, size_t bytes, void* user) {
    Collected& c = *static_cast<Collected*>(user);
    c.frames.emplace_back(rgb, rgb + bytes);
    return !c.refuse;
}

void clearTo(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Bottom half blue, top half yellow, in GL's coordinates.
void drawBands() {
    clearTo(0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 540, 1920, 540);
    clearTo(1.0f, 1.0f, 0.0f);
    glDisable(GL_SCISSOR_TEST);
}

std::vector<unsigned char> pixelAt(const std::vector<unsigned char>& rgb, int x, int y) {
    size_t at = (static_cast<size_t>(y) * 1920 + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

const std::vector<unsigned char> kRed = {255, 0, 0}, kGreen = {0, 255, 0};

struct ReadbackTest : GlTest {};

} // namespace

TEST_F(ReadbackTest, pixel_buffers_hand_over_each_frame_one_frame_late) {
    FrameReadback readback;
    beginReadback(readback, 1920, 1080, true);
    Collected got;
    FrameSink sink{collect, &got};

    clearTo(1.0f, 0.0f, 0.0f);
    EXPECT_TRUE(readFrame(readback, sink));
    EXPECT_TRUE(got.frames.empty());  // still in flight
    clearTo(0.0f, 1.0f, 0.0f);
    EXPECT_TRUE(readFrame(readback, sink));
    ASSERT_EQ(got.frames.size(), 1u);
    EXPECT_EQ(pixelAt(got.frames[0], 960, 540), kRed);
    clearTo(0.0f, 0.0f, 1.0f);  // drawn after the last read: must not show up
    EXPECT_TRUE(drainReadback(readback, sink));
    ASSERT_EQ(got.frames.size(), 2u);
    EXPECT_EQ(pixelAt(got.frames[1], 960, 540), kGreen);
    EXPECT_EQ(got.frames[1].size(), 1920u * 1080u * 3u);
    EXPECT_TRUE(drainReadback(readback, sink));  // nothing left to hand over
    EXPECT_EQ(got.frames.size(), 2u);
    endReadback(readback);
}

TEST_F(ReadbackTest, both_paths_hand_over_the_same_bottom_up_rows) {
    for (bool usePbo : {true, false}) {
        SCOPED_TRACE(usePbo);
        FrameReadback readback;
        beginReadback(readback, 1920, 1080, usePbo);
        Collected got;
        FrameSink sink{collect, &got};
        drawBands();
        EXPECT_TRUE(readFrame(readback, sink));
        EXPECT_EQ(got.frames.size(), usePbo ? 0u : 1u);
        EXPECT_TRUE(drainReadback(readback, sink));
        ASSERT_EQ(got.frames.size(), 1u);
        EXPECT_EQ(pixelAt(got.frames[0], 10, 0), (std::vector<unsigned char>{0, 0, 255}));
        EXPECT_EQ(pixelAt(got.frames[0], 10, 1079), (std::vector<unsigned char>{255, 255, 0}));
        endReadback(readback);
    }
}

TEST_F(ReadbackTest, a_refusing_sink_stops_the_readback) {
    FrameReadback readback;
    beginReadback(readback, 1920, 1080, false);
    Collected got;
    got.refuse = true;
    clearTo(1.0f, 0.0f, 0.0f);
    EXPECT_FALSE(readFrame(readback, FrameSink{collect, &got}));
    endReadback(readback);
}

TEST_F(ReadbackTest, readback_leaves_no_pack_buffer_bound_for_the_scenes) {
    FrameReadback readback;
    beginReadback(readback, 1920, 1080, true);
    Collected got;
    clearTo(1.0f, 0.0f, 0.0f);
    readFrame(readback, FrameSink{collect, &got});
    readFrame(readback, FrameSink{collect, &got});
    GLint bound = -1;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    endReadback(readback);
}
