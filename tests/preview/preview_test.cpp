// The preview: what its command line takes and refuses, the clock its keys move, the
// music the mixer plays for that clock, and its 1920 x 1080 frames: the stills' frames
// at the same instants, whatever the window's size, and following shader files and
// images changed on disk while it runs.
#include "preview.h"
#include "command.h"
#include "gl_context.h"
#include <GLFW/glfw3.h>
#include <SDL2/SDL_mixer.h>
#include <stb/stb_image_write.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

// The scenes read the clock afresh many times in a frame, so on a running clock two
// drawings of one instant differ by however long each took to draw. Here the clock
// stands where the tools set it, and a frame is a function of its demo time alone:
// these definitions stand in for GLFW's in this test program.
namespace {
double standingClock = 0.0;
}
extern "C" double glfwGetTime() { return standingClock; }
extern "C" void glfwSetTime(double time) { standingClock = time; }

namespace {

constexpr double kFirstFrameIn = 1.0 / 60.0;  // where "the start of a window" lands

const char* const kContentProbe[] = {
    "imgs/donut4.obj", "imgs/Helsinki1.png", "imgs/TwoShedCity1.png", "imgs/Tampere2.png",
    "imgs/greet04.png", "tessmer-trancedemo5.mp3",
};

std::string missingContent() {
    std::string missing;
    for (const char* probe : kContentProbe)
        if (!fs::exists(fs::path(PREVIEW_STAGE) / probe)) missing += std::string(probe) + " ";
    return missing;
}

int lineCount(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

size_t differingBytes(const Picture& a, const Picture& b) {
    size_t count = 0;
    for (size_t i = 0; i < a.rgb.size() && i < b.rgb.size(); ++i) count += a.rgb[i] != b.rgb[i];
    return count + (a.rgb.size() > b.rgb.size() ? a.rgb.size() - b.rgb.size() : b.rgb.size() - a.rgb.size());
}

// How many pixels pass `is`.
size_t pixelsOf(const Picture& picture, bool (*is)(const unsigned char*)) {
    size_t count = 0;
    for (size_t i = 0; i < picture.rgb.size(); i += 3) count += is(&picture.rgb[i]) ? 1 : 0;
    return count;
}
bool magenta(const unsigned char* p) { return p[0] > 200 && p[1] < 40 && p[2] > 200; }
bool green(const unsigned char* p) { return p[1] > 60 && p[1] > 3 * p[0] && p[1] > 3 * p[2]; }

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The mixer plays into nothing, in real time, on a machine without a sound card.
struct SilentAudio {
    SilentAudio() { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    ~SilentAudio() { unsetenv("SDL_AUDIODRIVER"); }
};

} // namespace

TEST(previewOptions, reads_good_values_and_refuses_bad_ones_in_one_line) {
    TempDir dir;
    PreviewOptions options;
    std::string error;
    ASSERT_TRUE(parsePreviewOptions({"--at", "140", "--loop", "130", "160.5", "--paused", "--shaders", dir.path},
                                    options, error)) << error;
    EXPECT_EQ(options.at, 140.0);
    EXPECT_TRUE(options.loop && options.paused);
    EXPECT_EQ(options.loopTo, 160.5);
    EXPECT_EQ(options.shaderDir, dir.path);

    // arguments                           the line names
    const std::vector<std::pair<std::vector<std::string>, std::string>> kRefused = {
        {{"--at"},                          "--at needs a demo time"},
        {{"--at", "soon"},                  "not 'soon'"},
        {{"--at", "300"},                   "off the timeline"},
        {{"--loop", "50", "40"},            "end after its start"},
        {{"--loop", "50"},                  "--loop needs a demo time"},
        {{"--shaders", "/no/such/folder"},  "no folder /no/such/folder"},
        {{"--stage", dir.path},             "holds no shdrs/"},
        {{"--fast"},                        "unknown option '--fast'"},
    };
    for (const auto& [args, says] : kRefused) {
        PreviewOptions refused;
        std::string why;
        EXPECT_FALSE(parsePreviewOptions(args, refused, why)) << args[0];
        EXPECT_NE(why.find(says), std::string::npos) << why;
        EXPECT_EQ(lineCount(why), 0) << why;
    }

    CommandRun bad = runCommand("'" PREVIEW_BINARY "' --at soon");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(lineCount(bad.out), 1) << bad.out;
    CommandRun headless = runCommand("env -u DISPLAY -u WAYLAND_DISPLAY '" PREVIEW_BINARY "' --paused");
    EXPECT_NE(headless.status, 0);
    EXPECT_EQ(lineCount(headless.out), 1) << headless.out;
    EXPECT_NE(headless.out.find("make stills"), std::string::npos) << headless.out;
    EXPECT_NE(headless.out.find("make video"), std::string::npos) << headless.out;
}

TEST(previewClock, keys_seek_pause_loop_and_change_speed) {
    struct Seek {
        double from;
        int key, mods;
        double to;
    };
    //  from    key                  mods             lands on
    const Seek kSeeks[] = {
        {50.0,  GLFW_KEY_RIGHT,      0,               51.0},
        {50.0,  GLFW_KEY_RIGHT,      GLFW_MOD_SHIFT,  60.0},
        {50.0,  GLFW_KEY_LEFT,       GLFW_MOD_SHIFT,  40.0},
        {-10.0, GLFW_KEY_LEFT,       GLFW_MOD_SHIFT,  -13.0},
        {260.0, GLFW_KEY_RIGHT,      GLFW_MOD_SHIFT,  265.0},
        {50.0,  GLFW_KEY_PAGE_DOWN,  0,               95.0 + kFirstFrameIn},
        {50.0,  GLFW_KEY_PAGE_UP,    0,               20.0 + kFirstFrameIn},
        {10.0,  GLFW_KEY_PAGE_UP,    0,               -13.0},
        {230.0, GLFW_KEY_PAGE_DOWN,  0,               247.0 + kFirstFrameIn},
        {250.0, GLFW_KEY_PAGE_DOWN,  0,               265.0},
        {265.0, GLFW_KEY_PAGE_UP,    0,               160.0 + kFirstFrameIn},
        {150.0, GLFW_KEY_HOME,       0,               -13.0},
    };
    for (const Seek& seek : kSeeks) {
        PlayClock clock;
        clock.demoTime = seek.from;
        clock.jumped = false;
        EXPECT_EQ(applyKey(clock, seek.key, seek.mods), KeyAction::none);
        EXPECT_NEAR(clock.demoTime, seek.to, 1e-9) << "from " << seek.from << " key " << seek.key;
        EXPECT_TRUE(clock.jumped);
    }

    PlayClock clock;
    clock.demoTime = 150.0;
    advanceClock(clock, 0.5);
    EXPECT_DOUBLE_EQ(clock.demoTime, 150.5);
    applyKey(clock, GLFW_KEY_SPACE, 0);
    advanceClock(clock, 5.0);
    EXPECT_DOUBLE_EQ(clock.demoTime, 150.5) << "a paused clock holds";
    applyKey(clock, GLFW_KEY_SPACE, 0);

    applyKey(clock, GLFW_KEY_L, 0);  // duck city, 130 to 160
    clock.jumped = false;
    advanceClock(clock, 10.0);
    EXPECT_DOUBLE_EQ(clock.demoTime, 130.5) << "wraps at the window's end";
    EXPECT_TRUE(clock.jumped);
    applyKey(clock, GLFW_KEY_L, 0);
    advanceClock(clock, 30.0);
    EXPECT_DOUBLE_EQ(clock.demoTime, 160.5) << "plays on once the loop is off";

    applyKey(clock, GLFW_KEY_RIGHT_BRACKET, 0);
    advanceClock(clock, 1.0);
    EXPECT_DOUBLE_EQ(clock.demoTime, 162.5);
    applyKey(clock, GLFW_KEY_LEFT_BRACKET, 0);
    applyKey(clock, GLFW_KEY_LEFT_BRACKET, 0);
    advanceClock(clock, 1.0);
    EXPECT_DOUBLE_EQ(clock.demoTime, 163.0);

    clock.demoTime = 264.0;
    clock.speed = 1.0;
    advanceClock(clock, 3.0);
    EXPECT_EQ(clock.demoTime, 265.0);
    EXPECT_TRUE(clock.paused) << "stops at the end of the timeline";

    PreviewOptions options;
    options.loop = true;
    options.loopFrom = 100.0;
    options.loopTo = 110.0;
    EXPECT_EQ(startingClock(options).demoTime, 100.0) << "--loop without --at starts at the loop";
}

TEST(previewMusic, follows_seeks_pauses_and_speed) {
    const std::string track = std::string(PREVIEW_STAGE) + "/tessmer-trancedemo5.mp3";
    if (!fs::exists(track)) GTEST_SKIP() << "the soundtrack is not synthesised into the stage";
    SilentAudio silent;
    PreviewMusic music;
    ASSERT_EQ(openMusic(music, track), "");
    auto wait = [](double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); };
    constexpr double kMixerStep = 0.15;  // s: the position moves in decoded blocks

    PlayClock clock;
    clock.demoTime = 100.0;
    followClock(music, clock, true);
    const double started = mixerPosition(music);
    auto startedAt = std::chrono::steady_clock::now();
    EXPECT_NEAR(started, 100.0 + 13.0 - 0.5, kMixerStep);
    wait(0.5);
    const double played = std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
    EXPECT_NEAR(mixerPosition(music) - started, played, kMixerStep) << "plays on in real time";

    applyKey(clock, GLFW_KEY_RIGHT, GLFW_MOD_SHIFT);
    followClock(music, clock, true);
    EXPECT_NEAR(mixerPosition(music), 110.0 + 12.5, kMixerStep) << "follows a seek";

    applyKey(clock, GLFW_KEY_SPACE, 0);
    followClock(music, clock, false);
    EXPECT_EQ(Mix_PausedMusic(), 1);
    const double held = mixerPosition(music);
    wait(0.3);
    EXPECT_NEAR(mixerPosition(music), held, 0.01) << "pauses with the picture";

    applyKey(clock, GLFW_KEY_RIGHT, 0);  // moved while paused
    applyKey(clock, GLFW_KEY_SPACE, 0);
    followClock(music, clock, false);
    EXPECT_EQ(Mix_PausedMusic(), 0);
    EXPECT_NEAR(mixerPosition(music), 111.0 + 12.5, kMixerStep) << "resumes where the picture is";

    applyKey(clock, GLFW_KEY_RIGHT_BRACKET, 0);
    followClock(music, clock, false);
    EXPECT_EQ(Mix_PausedMusic(), 1) << "silent at double speed";
    clock.demoTime = 120.0;
    applyKey(clock, GLFW_KEY_LEFT_BRACKET, 0);
    followClock(music, clock, false);
    EXPECT_NEAR(mixerPosition(music), 120.0 + 12.5, kMixerStep) << "back at 1x from the picture's place";

    seekClock(clock, -13.0);
    followClock(music, clock, true);
    EXPECT_EQ(Mix_PausedMusic(), 1) << "nothing before the track's start";
    closeMusic(music);
}

struct previewWindow : GlTest {
    SilentAudio silent;
    std::string previous = fs::current_path().string();
    ~previewWindow() override { fs::current_path(previous); }
};

TEST_F(previewWindow, paused_picture_is_the_stills_frame_in_every_window) {
    const std::string missing = missingContent();
    if (!missing.empty()) GTEST_SKIP() << "content not baked into the stage: " << missing;
    fs::current_path(PREVIEW_STAGE);

    // One instant in each window, each reached from the last by keys.
    struct Step {
        std::vector<int> keys;
        int mods;
        double lands;
    };
    //  keys                                                 mods             lands on
    const Step kSteps[] = {
        {{},                                                 0,               10.0},
        {{GLFW_KEY_PAGE_DOWN},                               0,               20.0 + kFirstFrameIn},
        {{GLFW_KEY_RIGHT, GLFW_KEY_RIGHT, GLFW_KEY_RIGHT},   GLFW_MOD_SHIFT,  50.0 + kFirstFrameIn},
        {{GLFW_KEY_RIGHT, GLFW_KEY_RIGHT, GLFW_KEY_RIGHT,
          GLFW_KEY_RIGHT, GLFW_KEY_RIGHT, GLFW_KEY_RIGHT},   GLFW_MOD_SHIFT,  110.0 + kFirstFrameIn},
        {{GLFW_KEY_PAGE_DOWN},                               0,               130.0 + kFirstFrameIn},
        {{GLFW_KEY_RIGHT, GLFW_KEY_RIGHT, GLFW_KEY_RIGHT,
          GLFW_KEY_RIGHT, GLFW_KEY_RIGHT, GLFW_KEY_RIGHT},   GLFW_MOD_SHIFT,  190.0 + kFirstFrameIn},
        {{GLFW_KEY_PAGE_DOWN, GLFW_KEY_RIGHT},               GLFW_MOD_SHIFT,  257.0 + kFirstFrameIn},
    };

    // The stills tool's frames: a fresh set-up, then each instant after its lead-in,
    // drawn off screen.
    std::vector<Picture> stills;
    {
        DemoState reference;
        StdoutCapture quiet;
        quiet.begin();
        buildDemo(reference);
        quiet.end();
        FrameTarget target = makeFrameTarget();
        for (const Step& step : kSteps) {
            bindFrameTarget(target);
            drawFrameAfterLeadIn(float(step.lands), reference.res, reference.loop);
            stills.push_back(readFramebuffer(target.framebuffer));
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        deleteFrameTarget(target);
        releaseSceneResources(reference.res);
    }

    PreviewOptions options;
    options.at = 10.0;
    options.atGiven = true;
    options.paused = true;
    Preview preview;
    std::string error;
    ASSERT_TRUE(startPreview(preview, options, error)) << error;
    // A window of another shape: the frames must not follow it.
    glfwSetWindowSize(preview.demo.window, 800, 700);
    for (size_t i = 0; i < std::size(kSteps); ++i) {
        // The Page keys ignore Shift; the arrows take it.
        for (int key : kSteps[i].keys)
            pressKey(preview, key, key == GLFW_KEY_PAGE_DOWN ? 0 : kSteps[i].mods);
        tickPreview(preview, 0.0);
        presentPreview(preview, 0.0);
        EXPECT_NEAR(preview.clock.demoTime, kSteps[i].lands, 1e-9);
        Picture frame = previewFrame(preview);
        EXPECT_EQ(differingBytes(frame, stills[i]), 0u) << "at " << kSteps[i].lands;
        if (i == 0) {
            tickPreview(preview, 1.0);
            presentPreview(preview, 1.0);
            EXPECT_EQ(preview.clock.demoTime, 10.0);
            EXPECT_EQ(differingBytes(previewFrame(preview), frame), 0u) << "paused, the frame holds";
        }
    }
    endPreview(preview);
    glfwMakeContextCurrent(testWindow());
}

TEST_F(previewWindow, shader_and_image_edits_show_and_a_broken_shader_keeps_the_last_good_one) {
    const std::string missing = missingContent();
    if (!missing.empty()) GTEST_SKIP() << "content not baked into the stage: " << missing;
    // A stage of links to the real one, but for the image rewritten below, and a
    // working copy of the shader sources.
    TempDir stage, shaders;
    fs::create_directory(stage.file("imgs"));
    for (const fs::directory_entry& entry : fs::directory_iterator(PREVIEW_STAGE))
        if (entry.path().filename() != "imgs")
            fs::create_symlink(entry.path(), stage.file(entry.path().filename().string()));
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(PREVIEW_STAGE) / "imgs"))
        fs::create_symlink(entry.path(), stage.file("imgs/" + entry.path().filename().string()));
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(PREVIEW_STAGE) / "shdrs"))
        fs::copy_file(entry.path(), shaders.file(entry.path().filename().string()));
    fs::current_path(stage.path);

    PreviewOptions options;
    options.at = 190.0;  // greeting logo 4 before the Tampere sky
    options.atGiven = true;
    options.paused = true;
    options.shaderDir = shaders.path;
    Preview preview;
    std::string error;
    StdoutCapture startup;
    startup.begin();
    ASSERT_TRUE(startPreview(preview, options, error)) << error;
    startup.end();
    tickPreview(preview, 0.0);
    const Picture before = previewFrame(preview);

    // Ticks of a 20 fps window until the frame passes `test`; how long that took.
    auto ticksUntil = [&](auto test) {
        double played = 0.0;
        for (; played < 2.0 && !test(previewFrame(preview)); played += 0.05) tickPreview(preview, 0.05);
        return played;
    };
    const std::string sky = shaders.file("6.Tampere.skybox.fs");
    const std::string skySource = readText(sky);
    writeTextFile(sky, "#version 330 core\nout vec4 FragColor;\n"
                       "void main() { FragColor = vec4(1.0, 0.0, 1.0, 1.0); }\n");
    StdoutCapture quiet;
    quiet.begin();
    double took = ticksUntil([](const Picture& p) { return pixelsOf(p, magenta) > p.rgb.size() / 3 / 4; });
    quiet.end();
    EXPECT_LE(took, 0.5) << "the sky's new source shows within half a second";
    const Picture edited = previewFrame(preview);

    writeTextFile(sky, "#version 330 core\nout vec4 FragColor;\nvoid main() { FragColor = vec4(1.0) }\n");
    StdoutCapture log;
    log.begin();
    for (int i = 0; i < 10; ++i) tickPreview(preview, 0.05);
    const std::string printed = log.end();
    EXPECT_NE(printed.find(sky + ": "), std::string::npos) << "the log names the file: " << printed;
    EXPECT_NE(printed.find("error"), std::string::npos) << printed;
    EXPECT_EQ(differingBytes(previewFrame(preview), edited), 0u) << "the last good program stays";

    writeTextFile(sky, skySource);
    quiet.begin();
    took = ticksUntil([&](const Picture& p) { return differingBytes(p, before) == 0; });
    quiet.end();
    EXPECT_LE(took, 0.5) << "the fixed source brings the first picture back";

    // The logo re-baked as plain green: F5 shows it on the tiles.
    const std::string logo = stage.file("imgs/greet04.png");
    fs::remove(logo);
    std::vector<unsigned char> plainGreen(256 * 256 * 4);
    for (size_t i = 0; i < plainGreen.size(); i += 4) plainGreen[i + 1] = plainGreen[i + 3] = 255;
    ASSERT_TRUE(stbi_write_png(logo.c_str(), 256, 256, 4, plainGreen.data(), 256 * 4));
    quiet.begin();
    pressKey(preview, GLFW_KEY_F5, 0);
    tickPreview(preview, 0.0);
    quiet.end();
    const size_t greenBefore = pixelsOf(before, green), greenAfter = pixelsOf(previewFrame(preview), green);
    EXPECT_GT(greenAfter, greenBefore + 20000) << "green pixels: " << greenBefore << " before, " << greenAfter << " after";

    endPreview(preview);
    glfwMakeContextCurrent(testWindow());
}
