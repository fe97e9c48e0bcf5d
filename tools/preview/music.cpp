// The soundtrack in the preview: the demo's audio device, and the track sought and
// paused with the picture through SDL2_mixer.
#include "preview.h"
#include "app/timeline.h"
#include "song.h"
#include "sound/irrklang.h"
#include <SDL2/SDL_mixer.h>
#include <cmath>

namespace {

// How far the track may wander from the picture before it is sought again: more than
// the mixer's own steps (a 2048-sample buffer is 46 ms), less than an ear notices.
constexpr double kMaxDrift = 0.12;  // s

} // namespace

double musicTimeAt(double demoTime) {
    return demoTime + double(kDemoClockOffset) - synth::kTrackStartClock;
}

std::string openMusic(PreviewMusic& music, const std::string& path) {
    music.path = path;
    // The demo's own device opening: the same format, and ALSA kept quiet.
    music.device = irrklang::createIrrKlangDevice(irrklang::ESOD_AUTO_DETECT,
                                                  irrklang::ESEO_DEFAULT_OPTIONS, nullptr,
                                                  "1.6.0") != nullptr;
    if (!music.device) return "no audio device; the preview is silent";
    return reloadMusic(music);
}

std::string reloadMusic(PreviewMusic& music) {
    if (!music.device) return "";
    if (music.track) {
        Mix_HaltMusic();
        Mix_FreeMusic(music.track);
    }
    music.playing = false;
    music.track = Mix_LoadMUS(music.path.c_str());
    if (!music.track) return "cannot play " + music.path + ": " + Mix_GetError();
    return "";
}

void closeMusic(PreviewMusic& music) {
    if (music.track) {
        Mix_HaltMusic();
        Mix_FreeMusic(music.track);
    }
    music.track = nullptr;
    music.playing = false;
    if (music.device) Mix_CloseAudio();
    music.device = false;
}

double mixerPosition(const PreviewMusic& music) {
    if (!music.track || !Mix_PlayingMusic()) return -1.0;
    return Mix_GetMusicPosition(music.track);
}

void followClock(PreviewMusic& music, const PlayClock& clock, bool jumped) {
    if (!music.track) return;
    const double at = musicTimeAt(clock.demoTime);
    // Before the track's start and after its end there is nothing to hear; at other
    // speeds than 1x the picture has no matching sound.
    const bool audible = !clock.paused && clock.speed == 1.0 && at >= 0.0 &&
                         at < Mix_MusicDuration(music.track);
    if (!audible) {
        if (music.playing) Mix_PauseMusic();
        music.playing = false;
        return;
    }
    const bool drifted = music.playing && std::abs(mixerPosition(music) - at) > kMaxDrift;
    if (!music.playing || jumped || drifted) {
        // Starts the track at `at` at once (no fade), whatever it was doing.
        Mix_FadeInMusicPos(music.track, 0, 0, at);
        Mix_ResumeMusic();
        music.playing = true;
    }
}
