// The sound layer in the browser, in place of SDL2_mixer (emscripten's SDL port cannot
// be had offline): Web Audio plays the track. The page (packaging/web/page.js) owns the
// AudioContext and readies the track while the data downloads, since loading media is
// asynchronous there and would otherwise delay the music behind the first frames; play2D
// starts the ready track, or starts it as soon as it is ready.
#include "sound/irrklang.h"
#include <emscripten/emscripten.h>

namespace {

// The page's Module.norrvaleAudio: null when the browser has no Web Audio.
EM_JS(int, pageHasAudio, (), {
    return Module["norrvaleAudio"] && Module["norrvaleAudio"].available() ? 1 : 0;
});

EM_JS(void, pagePlay, (const char* fileName, int loop, int paused), {
    Module["norrvaleAudio"].play(UTF8ToString(fileName), !!loop, !!paused);
});

}  // namespace

namespace irrklang {

namespace {
ISoundEngine theEngine;
}

ISoundEngine* createIrrKlangDevice(E_SOUND_OUTPUT_DRIVER, int, const char*, const char*) {
    return pageHasAudio() ? &theEngine : nullptr;
}

// A track the page could not fetch or decode is not played, and nothing is reported.
ISound* ISoundEngine::play2D(const char* fileName, bool playLooped, bool startPaused, bool,
                             E_STREAM_MODE, bool) {
    pagePlay(fileName, playLooped, startPaused);
    return nullptr;
}

} // namespace irrklang
