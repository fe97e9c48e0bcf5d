// The real staged content: the resource set-up builds it without a word, and one frame
// of every scene window shows a picture, not the clear colour, with the sky covering
// the whole frame where one is drawn.
#include "app/resources.h"
#include "frame_capture.h"
#include "gl_context.h"
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct Still {
    const char* name;
    float demoTime;
    bool skyBehind;     // a sky fills everything the scene's objects leave open
};

// name               demoTime  sky behind
const Still kStills[] = {
    {"opening_picture",   3.0f,  false},
    {"opening_title_sky", 10.0f, true},
    {"credits",           30.0f, true},
    {"tunnel",            41.5f, true},
    {"helsinki",          70.0f, true},
    {"two_shed_city",     120.0f, true},
    {"duck_city",         145.0f, true},
    {"greetings",         190.0f, true},
    {"closing_logo",      255.0f, false},
};

// The files the stills depend on most; without them the content has not been baked.
const char* const kContentProbe[] = {
    "imgs/donut4.obj", "imgs/Helsinki1.png", "imgs/TwoShedCity1.png", "imgs/Tampere2.png", "imgs/greet13.png",
};

struct Staged {
    SceneResources res;
    LoopValues loop;
    bool ready = false;
    std::string missing;
    std::string printed;   // what the set-up wrote on standard output
};

Staged& staged() {
    static Staged s;
    static bool built = false;
    if (!built) {
        built = true;
        fs::current_path(NORRVALE_STAGE);
        for (const char* probe : kContentProbe)
            if (!fs::exists(probe)) s.missing += std::string(probe) + " ";
        if (s.missing.empty()) {
            StdoutCapture capture;
            capture.begin();
            buildSceneResources(s.res, s.loop);
            s.printed = capture.end();
            s.ready = true;
        }
    }
    return s;
}

void PrintTo(const Still& still, std::ostream* out) { *out << still.name << " at " << still.demoTime; }

struct stagedContent : GlTest {};

TEST_F(stagedContent, builds_every_resource_with_nothing_printed) {
    Staged& s = staged();
    if (!s.ready) GTEST_SKIP() << "content not baked into the stage: " << s.missing;
    EXPECT_EQ(s.printed, "");
}

struct WindowStill : GlTest, ::testing::WithParamInterface<Still> {};

TEST_P(WindowStill, shows_a_picture_and_a_sky_where_one_belongs) {
    Staged& s = staged();
    if (!s.ready) GTEST_SKIP() << "content not baked into the stage: " << s.missing;
    const Still& still = GetParam();
    drawFrameAfterLeadIn(still.demoTime, s.res, s.loop);
    Picture frame = readFrame();

    // Lit pixels: anything the clear colour could not have produced.
    size_t lit = 0;
    for (size_t i = 0; i < frame.rgb.size(); i += 3)
        lit += (frame.rgb[i] | frame.rgb[i + 1] | frame.rgb[i + 2]) != 0;
    EXPECT_GT(lit, frame.rgb.size() / 3 / 20) << "under 5% of the frame differs from the clear colour";

    if (still.skyBehind) {
        // A grid of samples over the frame: a sky leaves none of them at pure black.
        int black = 0;
        for (int gy = 0; gy < 9; ++gy)
            for (int gx = 0; gx < 16; ++gx) {
                const unsigned char* p = frame.at((gx * 2 + 1) * frame.width / 32, (gy * 2 + 1) * frame.height / 18);
                black += (p[0] | p[1] | p[2]) == 0;
            }
        EXPECT_EQ(black, 0) << black << " of 144 samples are the bare clear colour";
    }
}

std::string stillName(const ::testing::TestParamInfo<Still>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(each_window, WindowStill, ::testing::ValuesIn(kStills), stillName);

} // namespace
