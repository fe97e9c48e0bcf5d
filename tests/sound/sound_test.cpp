// The sound layer's failure paths: no device means no engine, and a missing track
// plays nothing without stopping anything.
#include "sound/irrklang.h"
#include <gtest/gtest.h>
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
irrklang::ISoundEngine* createWithDriver(const char* driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    irrklang::ISoundEngine* engine = irrklang::createIrrKlangDevice(
        irrklang::ESOD_AUTO_DETECT, irrklang::ESEO_DEFAULT_OPTIONS, nullptr, "1.6.0");
    unsetenv("SDL_AUDIODRIVER");
    return engine;
}
} // namespace

TEST(soundEngine, is_null_when_no_audio_device_opens) {
    EXPECT_EQ(createWithDriver("no-such-driver"), nullptr);
}

TEST(soundEngine, missing_track_plays_nothing_and_returns_no_sound) {
    irrklang::ISoundEngine* engine = createWithDriver("dummy");
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->play2D("no-such-track.mp3", false, false, false, irrklang::ESM_AUTO_DETECT,
                             false),
              nullptr);
    EXPECT_EQ(Mix_PlayingMusic(), 0);
}

// ALSA explains a missing card at length on stderr; the demo's only output is its own
// error lines. (With a working card the device opens and there is nothing to say.)
TEST(soundEngine, opening_through_alsa_prints_nothing) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    ASSERT_NE(capture, nullptr);
    int saved = dup(2);
    dup2(fileno(capture), 2);
    createWithDriver("alsa");
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(lseek(fileno(capture), 0, SEEK_END), 0);
    std::fclose(capture);
}
