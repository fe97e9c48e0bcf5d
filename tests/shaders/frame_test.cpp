// The real staged content: the resource set-up builds it without a word, and one frame
// of every scene window shows a picture, not the clear colour, with the sky covering
// the whole frame where one is drawn.
#include "app/resources.h"
#include "demo_frames.h"
#include "gl_context.h"
#include <algorithm>
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

// Mean red, green and blue of a frame, and the mean spread between a pixel's largest
// and smallest channel (its colourfulness), 0 to 255.
struct MeanColour {
    double r = 0.0, g = 0.0, b = 0.0, chroma = 0.0;
    double brightness() const { return (r + g + b) / 3.0; }
};

MeanColour meanColourAt(float demoTime, Staged& s) {
    drawFrameAfterLeadIn(demoTime, s.res, s.loop);
    Picture frame = readFrame();
    MeanColour m;
    const double pixels = double(frame.width) * frame.height;
    for (size_t i = 0; i < frame.rgb.size(); i += 3) {
        m.r += frame.rgb[i] / pixels;
        m.g += frame.rgb[i + 1] / pixels;
        m.b += frame.rgb[i + 2] / pixels;
        m.chroma += (std::max({frame.rgb[i], frame.rgb[i + 1], frame.rgb[i + 2]}) -
                     std::min({frame.rgb[i], frame.rgb[i + 1], frame.rgb[i + 2]})) / pixels;
    }
    return m;
}

// The city skies' grades follow the clock and the scenes' "end": Helsinki is frozen blue
// until the thaw after 55 s, the two-shed city is teal under water until it clears with
// a white flash after 106 s.
TEST_F(stagedContent, city_skies_thaw_and_clear_on_cue) {
    Staged& s = staged();
    if (!s.ready) GTEST_SKIP() << "content not baked into the stage: " << s.missing;

    MeanColour frozen = meanColourAt(50.0f, s), thawed = meanColourAt(70.0f, s);
    EXPECT_GT(frozen.b, frozen.r * 1.2);
    EXPECT_GT(thawed.chroma, frozen.chroma * 1.5) << frozen.chroma << " " << thawed.chroma;

    MeanColour underwater = meanColourAt(100.0f, s), flash = meanColourAt(106.15f, s),
               cleared = meanColourAt(112.0f, s);
    EXPECT_GT(underwater.g, underwater.r * 1.2);
    EXPECT_GT(flash.brightness(), underwater.brightness() + 60.0);
    EXPECT_GT(flash.brightness(), cleared.brightness() + 40.0);
    EXPECT_GT(cleared.r / cleared.g, underwater.r / underwater.g * 1.2);
}

std::string stillName(const ::testing::TestParamInfo<Still>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(each_window, WindowStill, ::testing::ValuesIn(kStills), stillName);

} // namespace
