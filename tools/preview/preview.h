// The preview: the demo's own frames at any demo time in a normal window, with the
// music, for the people who make the demo. Drawn at 1920 x 1080 into a framebuffer of
// its own (the shaders' pixel effects are laid out for that size) and shown scaled,
// 16:9, in whatever size the window has. Shaders are rebuilt as they are saved; F5
// reloads the baked content.
//
//   [clock]    the play clock and the keys that move it (no GL)
//   [music]    the soundtrack following the clock (SDL2_mixer)
//   [preview]  the window, the frames, live shaders and content
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include "demo_frames.h"

struct _Mix_Music;

// ---------------------------------------------------------------------------------
// [clock]
// ---------------------------------------------------------------------------------

struct PreviewOptions {
    double at = -13.0;            // demoTime to start at (the clock's start)
    bool atGiven = false;
    bool loop = false;
    double loopFrom = 0.0, loopTo = 0.0;
    bool paused = false;          // start paused
    std::string stageDir;         // the demo's files, read relative to it
    std::string shaderDir;        // empty: the stage's own shdrs/
    bool help = false;
};

// Reads the command line over the defaults in `options`. On a bad argument returns
// false with a one-line reason in `error`.
bool parsePreviewOptions(const std::vector<std::string>& args, PreviewOptions& options,
                         std::string& error);
std::string previewUsage();

struct PlayClock {
    double demoTime = -13.0;
    bool paused = false;
    double speed = 1.0;
    bool looping = false;
    double loopFrom = 0.0, loopTo = 0.0;
    bool jumped = true;           // moved other than by playing: the next frame is a seek
};

PlayClock startingClock(const PreviewOptions& options);

// Plays `wallSeconds` of real time at the clock's speed: wraps inside the loop, stops
// at the end of the timeline. A paused clock holds.
void advanceClock(PlayClock& clock, double wallSeconds);
// Moves to demoTime (kept on the timeline) as a seek.
void seekClock(PlayClock& clock, double demoTime);

// The demo time the preview lands on for "the start of scene window n" (1 to 7).
double windowStart(int window);

// What a key asks of the preview besides moving the clock.
enum class KeyAction { none, quit, rebuildShaders, reloadContent };

// Applies a key press (GLFW key and modifier bits) to the clock.
KeyAction applyKey(PlayClock& clock, int key, int mods);

// ---------------------------------------------------------------------------------
// [music]
// ---------------------------------------------------------------------------------

struct PreviewMusic {
    bool device = false;          // an audio device is open
    _Mix_Music* track = nullptr;
    std::string path;
    bool playing = false;         // audible now
};

// Opens the audio device as the demo does and loads the track. Without a device or a
// readable track it stays silent; the returned line says why (empty when it plays).
std::string openMusic(PreviewMusic& music, const std::string& path);
// Reads the track again (after a re-synthesis); the next follow seeks it.
std::string reloadMusic(PreviewMusic& music);
void closeMusic(PreviewMusic& music);

// The track's own time for a demo time: the demo starts it where loading ends.
double musicTimeAt(double demoTime);

// Keeps the track with the clock: playing from the matching position at 1x, paused
// when the clock is paused or runs at another speed, sought again after a jump or when
// the two have drifted apart.
void followClock(PreviewMusic& music, const PlayClock& clock, bool jumped);

// Where the mixer says the track is, in seconds of the track; below 0 when it cannot say.
double mixerPosition(const PreviewMusic& music);

// ---------------------------------------------------------------------------------
// [preview]
// ---------------------------------------------------------------------------------

// A shader file's last seen state on disk.
struct WatchedFile {
    std::string name;             // as the program table gives it, e.g. "shdrs/6.2.skybox.fs"
    std::filesystem::file_time_type written{};
    std::uintmax_t size = 0;
    bool present = false;
};

struct ShaderWatch {
    std::string dir;              // where the sources are read from
    std::vector<WatchedFile> files;
    double sincePoll = 0.0;
};

struct Preview {
    DemoState demo;
    PreviewOptions options;
    PlayClock clock;
    PreviewMusic music;
    ShaderWatch watch;
    FrameTarget target;
    bool redraw = true;           // content changed: draw the frame again, with its lead-in
    double fps = 0.0;
    int framesCounted = 0;
    double countedSeconds = 0.0, titleSeconds = 0.0;
};

// Opens the preview's window (GLFW initialised by the caller), builds the demo's
// resources from the stage (the working folder), the shaders from the shader folder,
// and opens the music. False with a reason when no window could be had.
bool startPreview(Preview& preview, const PreviewOptions& options, std::string& error);
void endPreview(Preview& preview);

// One step of `wallSeconds` real time: rebuilds programs whose files changed, moves the
// clock, draws the frame when it changed, and keeps the music with it.
void tickPreview(Preview& preview, double wallSeconds);
// Shows the frame letterboxed in the window, presents it, and keeps the title current.
void presentPreview(Preview& preview, double wallSeconds);

void pressKey(Preview& preview, int key, int mods);

// Rebuilds every program from the shader folder; failures print their log and keep the
// program they would have replaced.
void rebuildAllShaders(Preview& preview);
// Reads the images, models and music again and rebuilds everything from them.
void reloadContent(Preview& preview);

// The last drawn 1920 x 1080 frame.
Picture previewFrame(const Preview& preview);

std::string previewTitle(const Preview& preview);
