// The sound layer on SDL2_mixer: one audio device opened when the engine is created,
// one music stream decoded and mixed on SDL's audio thread.
#include "sound/irrklang.h"
#include "sound/platform.h"
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

namespace irrklang {

namespace {
ISoundEngine theEngine;
Mix_Music* music = nullptr;  // kept until the process ends, like the library's own sounds
}

ISoundEngine* createIrrKlangDevice(E_SOUND_OUTPUT_DRIVER, int, const char*, const char*) {
    sound::preparePlatformAudio();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    Mix_Init(MIX_INIT_MP3);
    if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    return &theEngine;
}

ISound* ISoundEngine::play2D(const char* fileName, bool playLooped, bool startPaused, bool,
                             E_STREAM_MODE, bool) {
    if (music) {
        Mix_HaltMusic();
        Mix_FreeMusic(music);
    }
    // A missing or unreadable track leaves the demo silent; nothing is reported.
    music = Mix_LoadMUS(fileName);
    if (!music) return nullptr;
    // SDL2_mixer plays the stream once for 0 loops and endlessly for -1.
    if (Mix_PlayMusic(music, playLooped ? -1 : 0) == 0 && startPaused) Mix_PauseMusic();
    return nullptr;
}

} // namespace irrklang
