// The few irrKlang calls the demo makes, implemented on SDL2_mixer, which decodes and
// plays the MP3 on its own audio thread. Only what the demo uses is here.
#pragma once

namespace irrklang {

enum E_SOUND_OUTPUT_DRIVER { ESOD_AUTO_DETECT = 0 };
enum E_STREAM_MODE { ESM_AUTO_DETECT = 0 };

// The library's default option set: multithreaded, load plug-ins, 3D buffers, debug
// output to the debugger and to standard output.
constexpr int ESEO_DEFAULT_OPTIONS = 61;

struct ISound;

struct ISoundEngine {
    // Starts `fileName` at once on the audio thread. Returns null: the demo never
    // tracks a sound, and only untracked playback is supported.
    ISound* play2D(const char* fileName, bool playLooped, bool startPaused, bool track,
                   E_STREAM_MODE streamMode, bool enableSoundEffects);
};

// Null when no audio device can be opened; the demo then runs silently.
ISoundEngine* createIrrKlangDevice(E_SOUND_OUTPUT_DRIVER driver, int options,
                                   const char* deviceId, const char* sdkVersion);

} // namespace irrklang
