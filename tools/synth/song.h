// The soundtrack's arrangement and mix: sections that follow the demo's scene
// windows, the patterns each one plays, and rendering of consecutive frames.
#pragma once

#include <cstdint>

#include "dsp.h"

namespace synth {

constexpr double  kBpm             = 144.0;
constexpr int     kSamplesPerBeat  = 18375;                  // 44100 Hz * 60 s / 144, exact
constexpr double  kSamplesPerStep  = kSamplesPerBeat / 4.0;  // one sixteenth note
constexpr int     kStepsPerBar     = 16;
// The demo starts the track when loading ends, this long after its clock starts
// (the median bench_startup measures), so file time = demo clock - this.
constexpr double  kTrackStartClock = 0.50;                   // s
constexpr double  kTimelineEndClock = 278.0;                 // s, the demo exits here
constexpr double  kSongSeconds     = 280.0;                  // s, includes the final fade
constexpr int64_t kSongFrames      = int64_t(kSongSeconds * kSampleRate);

// A window of the demo and the section of music written for it.
struct Section {
    double clockS;      // demo clock time at which the window opens, s
    const char* scene;  // what the window shows
};
constexpr int kSectionCount = 7;
extern const Section kSections[kSectionCount];

// The beat grid is shifted into the file so that the first scene change falls on a
// beat; the changes after it are whole numbers of beats later (the last one nearly).
double beatGridOffsetSeconds();

// Where section `index` begins, on the beat grid of the whole file (beat 0 at
// beatGridOffsetSeconds(); the intro starts a little before it).
int sectionStartBeat(int index);
double sectionStartSeconds(int index);  // file time, s
double sectionEndSeconds(int index);    // file time, s: the next section, or the timeline's end

// Everything that sounds, plus the sequencer's position. One Song renders the
// track from its first frame onwards.
struct Song {
    static constexpr int kPadNotes = 16;
    static constexpr int kPlucks = 2;

    Kick kick;
    Clap clap;
    Hat closedHat, openHat;
    Snare snare;
    Crash crash;
    Riser riser;
    Bass bass;
    PadNote pads[kPadNotes];
    Pluck plucks[kPlucks];
    Lead lead;

    Svf padFilterL, padFilterR;
    Decay duckEnv;
    OnePole duckSmooth;
    PingPong echo;
    Reverb reverb;
    Limiter limiter;
    Noise random{0x5EEDu};

    // The song is rendered in blocks cut only where sixteenths fall, never where a
    // call to renderSong ends (voices are stepped a block at a time, so another cut
    // would change the samples). A call that ends inside a block renders all of it and
    // keeps the rest here for the next call.
    static constexpr int kBlockFrames = 512;
    float aheadL[kBlockFrames] = {}, aheadR[kBlockFrames] = {};
    int aheadFrames = 0;

    int64_t frame = 0;        // next frame to render (the kept frames are before it)
    int64_t nextStep = 0;     // next sixteenth whose events are due
    int64_t bassOffFrame = -1;
    int64_t leadOffStep = -1;
    int padChord = -1;        // chord the pads hold, -1 when silent
    int nextPluck = 0;
    float padCutoffHz = 400.0f;
    float pluckBrightnessHz = 1000.0f;

    Song();
};

// Renders the next `frames` frames of the track into the two channels, as floats
// within +-1 (the limiter keeps them below its ceiling). The samples are the same
// however a render is sliced into calls.
void renderSong(Song& song, float* left, float* right, int frames);

}  // namespace synth
