// The arrangement of the soundtrack: sections timed to the demo's scene windows,
// the chord progression, melodies and patterns, and the mixer that renders them.
//
// Index
//   [SECTION] Timeline
//   [SECTION] Harmony and melodies
//   [SECTION] Arrangement table
//   [SECTION] Sequencer: what each sixteenth triggers
//   [SECTION] Mixer: rendering a block
//   [SECTION] Rendering frames
//
// Tempo is fixed at 144 BPM: 2.5 s is exactly six beats, and the scene changes
// fall on multiples of 2.5 s after the track starts, so all but one land on a
// bar line. Every section starts on the beat nearest its scene change; the last
// four bars before each change are a build (noise riser, snare roll, opening
// filters) and the first beat after it is a crash and a kick.
#include "song.h"

#include <cmath>
#include <cstring>

namespace synth {

//-----------------------------------------------------------------------------
// [SECTION] Timeline
//-----------------------------------------------------------------------------

const Section kSections[kSectionCount] = {
    // clock (s)  scene
    {   0.0,      "opening: donut, picture and title sky" },
    {  33.0,      "planet donut and credits sky"          },
    {  53.0,      "picture, reflecting ship, Helsinki"    },
    { 108.0,      "refracting ships, two-shed city"       },
    { 143.0,      "ducks and duck city"                   },
    { 173.0,      "greetings before the Tampere sky"      },
    { 260.0,      "closing logo"                          },
};

namespace {

constexpr double kSecondsPerBeat = 60.0 / kBpm;  // s
constexpr int kLastSection = kSectionCount - 1;

int nearestBeat(double fileSeconds) {
    return int(std::lround((fileSeconds - beatGridOffsetSeconds()) / kSecondsPerBeat));
}

}  // namespace

double beatGridOffsetSeconds() {
    return std::fmod(kSections[1].clockS - kTrackStartClock, kSecondsPerBeat);
}

int sectionStartBeat(int index) {
    if (index > 0) return nearestBeat(kSections[index].clockS - kTrackStartClock);
    // The intro is counted back from the first change in whole bars, so its bar
    // lines are those of the rest of the track; the file opens part-way into its
    // first bar, under a pad that is still fading in.
    int first = sectionStartBeat(1);
    int bars = (first + 3) / 4;
    return first - 4 * bars;
}

double sectionStartSeconds(int index) {
    return std::max(0.0, beatGridOffsetSeconds() + sectionStartBeat(index) * kSecondsPerBeat);
}

double sectionEndSeconds(int index) {
    if (index < kLastSection) return sectionStartSeconds(index + 1);
    return kTimelineEndClock - kTrackStartClock;
}

namespace {

int64_t stepFrame(int64_t step) {
    return int64_t(std::llround(beatGridOffsetSeconds() * kSampleRate + double(step) * kSamplesPerStep));
}

//-----------------------------------------------------------------------------
// [SECTION] Harmony and melodies
//-----------------------------------------------------------------------------

// A minor, i - VI - III - VII, two bars per chord. Pads sit around middle C with
// smooth voice leading; the arpeggio plays the chord an octave higher.
struct Chord {
    const char* name;
    int bass;     // MIDI note
    int pad[4];   // MIDI notes
    int arp[4];   // MIDI notes, low to high
};
enum { kAm, kF, kC, kG };
const Chord kChords[] = {
    // name  bass  pad                 arp
    { "Am",  33,   { 57, 60, 64, 69 }, { 69, 72, 76, 81 } },
    { "F",   29,   { 57, 60, 65, 69 }, { 65, 69, 72, 77 } },
    { "C",   36,   { 55, 60, 64, 67 }, { 67, 72, 76, 79 } },
    { "G",   31,   { 55, 59, 62, 67 }, { 67, 71, 74, 79 } },
};

// MIDI note names used by the melodies.
enum Note {
    G4 = 67, A4 = 69, B4 = 71, C5 = 72, D5 = 74, E5 = 76, F5 = 77, G5 = 79, A5 = 81,
};

struct MelodyNote {
    int bar;     // within the eight-bar phrase
    int step;    // sixteenth within the bar
    int note;    // MIDI
    int length;  // sixteenths
};
struct Melody {
    const MelodyNote* notes;
    int count;
};

// The hook: the same dotted figure every bar, walking the chord tones.
const MelodyNote kHook[] = {
    // bar step note len
    { 0,  0, E5, 3 }, { 0,  3, C5, 3 }, { 0,  6, A4, 2 }, { 0,  8, C5, 2 }, { 0, 10, E5, 2 }, { 0, 12, D5, 2 }, { 0, 14, C5, 2 },
    { 1,  0, D5, 3 }, { 1,  3, C5, 3 }, { 1,  6, B4, 2 }, { 1,  8, C5, 6 }, { 1, 14, E5, 2 },
    { 2,  0, F5, 3 }, { 2,  3, C5, 3 }, { 2,  6, A4, 2 }, { 2,  8, C5, 2 }, { 2, 10, F5, 2 }, { 2, 12, E5, 2 }, { 2, 14, C5, 2 },
    { 3,  0, D5, 3 }, { 3,  3, C5, 3 }, { 3,  6, A4, 2 }, { 3,  8, C5, 6 }, { 3, 14, E5, 2 },
    { 4,  0, G5, 3 }, { 4,  3, E5, 3 }, { 4,  6, C5, 2 }, { 4,  8, E5, 2 }, { 4, 10, G5, 2 }, { 4, 12, F5, 2 }, { 4, 14, E5, 2 },
    { 5,  0, D5, 3 }, { 5,  3, E5, 3 }, { 5,  6, G5, 2 }, { 5,  8, E5, 6 }, { 5, 14, D5, 2 },
    { 6,  0, D5, 3 }, { 6,  3, B4, 3 }, { 6,  6, G4, 2 }, { 6,  8, B4, 2 }, { 6, 10, D5, 2 }, { 6, 12, E5, 2 }, { 6, 14, D5, 2 },
    { 7,  0, B4, 3 }, { 7,  3, C5, 3 }, { 7,  6, D5, 4 }, { 7, 10, B4, 6 },
};

// The breakdown's slow line: long notes reaching up to the top A.
const MelodyNote kBreakdownLine[] = {
    // bar step note len
    { 0,  0, E5, 8 }, { 0,  8, A5, 8 },
    { 1,  0, G5, 6 }, { 1,  6, E5, 10 },
    { 2,  0, F5, 8 }, { 2,  8, A5, 8 },
    { 3,  0, G5, 6 }, { 3,  6, F5, 4 }, { 3, 10, E5, 6 },
    { 4,  0, E5, 8 }, { 4,  8, G5, 8 },
    { 5,  0, A5, 6 }, { 5,  6, G5, 10 },
    { 6,  0, D5, 8 }, { 6,  8, G5, 8 },
    { 7,  0, F5, 6 }, { 7,  6, E5, 4 }, { 7, 10, D5, 6 },
};

// The closing phrase over Am - F - G, settling on a long A.
const MelodyNote kOutro[] = {
    // bar step note len
    { 0,  0, E5, 3 }, { 0,  3, C5, 3 }, { 0,  6, A4, 2 }, { 0,  8, C5, 2 }, { 0, 10, E5, 2 }, { 0, 12, D5, 2 }, { 0, 14, C5, 2 },
    { 1,  0, D5, 3 }, { 1,  3, C5, 3 }, { 1,  6, B4, 2 }, { 1,  8, C5, 6 }, { 1, 14, E5, 2 },
    { 2,  0, F5, 3 }, { 2,  3, C5, 3 }, { 2,  6, A4, 2 }, { 2,  8, C5, 2 }, { 2, 10, F5, 2 }, { 2, 12, E5, 2 }, { 2, 14, C5, 2 },
    { 3,  0, D5, 3 }, { 3,  3, C5, 3 }, { 3,  6, A4, 2 }, { 3,  8, C5, 8 },
    { 4,  0, D5, 3 }, { 4,  3, B4, 3 }, { 4,  6, G4, 2 }, { 4,  8, B4, 2 }, { 4, 10, D5, 2 }, { 4, 12, E5, 2 }, { 4, 14, D5, 2 },
    { 5,  0, B4, 4 }, { 5,  4, D5, 4 }, { 5,  8, E5, 4 }, { 5, 12, G5, 4 },
    { 6,  0, A5, 32 },
};

//                         notes            count
const Melody kMelodies[] = {
    { kHook,          int(std::size(kHook))          },  // 0: hook
    { kBreakdownLine, int(std::size(kBreakdownLine)) },  // 1: breakdown line
    { kHook,          int(std::size(kHook))          },  // 2: hook doubled an octave up
    { kOutro,         int(std::size(kOutro))         },  // 3: closing phrase
};

// Arpeggio patterns, one chord-tone index per sixteenth, -1 a rest.
const int kArpPatterns[][kStepsPerBar] = {
    { 0, 1, 2, 1,  3, 2, 1, 2,  0, 1, 2, 1,  3, 2, 1, 2 },   // 0: rolling up and down
    { 0, 2, 1, 3,  0, 2, 1, 3,  0, 2, 1, 3,  1, 2, 3, 2 },   // 1: driving
    { 0,-1, 2, 3, -1, 1, 2,-1,  3,-1, 2, 1, -1, 0, 2, 3 },   // 2: gated
};

//-----------------------------------------------------------------------------
// [SECTION] Arrangement table
//-----------------------------------------------------------------------------

enum Instrument { kKick, kClap, kHats, kBass, kPads, kArp, kLead };
constexpr int kToEnd = 1000;

// Which instrument plays in which bars of which section, and how. Bars count from
// the section's first bar; `to` is exclusive.
//   kHats: 0 off-beat open hats, 1 sixteenth closed hats with off-beat opens
//   kBass: 0 off-beat eighths, 1 rolling sixteenths
//   kArp:  the pattern;  kLead: the melody
struct Layer {
    int section;
    int from, to;  // bars
    Instrument instrument;
    int variant;
};
const Layer kLayers[] = {
    // section from  to      instrument variant
    // Opening: the pads open up from darkness; the arpeggio, kick and hats join.
    { 0,       0,    kToEnd, kPads,     0 },
    { 0,       4,    kToEnd, kArp,      0 },
    { 0,       8,    kToEnd, kKick,     0 },
    { 0,       12,   kToEnd, kHats,     0 },
    // Credits: the groove arrives with the off-beat bass.
    { 1,       0,    kToEnd, kPads,     0 },
    { 1,       0,    kToEnd, kArp,      0 },
    { 1,       0,    kToEnd, kKick,     0 },
    { 1,       0,    kToEnd, kHats,     1 },
    { 1,       0,    kToEnd, kBass,     0 },
    { 1,       4,    kToEnd, kClap,     0 },
    // Helsinki: full groove, rolling bass, then the hook.
    { 2,       0,    kToEnd, kPads,     0 },
    { 2,       0,    kToEnd, kArp,      1 },
    { 2,       0,    kToEnd, kKick,     0 },
    { 2,       0,    kToEnd, kClap,     0 },
    { 2,       0,    kToEnd, kHats,     1 },
    { 2,       0,    kToEnd, kBass,     1 },
    { 2,       8,    kToEnd, kLead,     0 },
    // Two-shed city: the breakdown, drums gone, the slow line over open pads.
    { 3,       0,    kToEnd, kPads,     0 },
    { 3,       0,    kToEnd, kArp,      0 },
    { 3,       4,    kToEnd, kLead,     1 },
    { 3,       13,   kToEnd, kHats,     0 },
    // Duck city: the drop, everything with the hook.
    { 4,       0,    kToEnd, kPads,     0 },
    { 4,       0,    kToEnd, kArp,      1 },
    { 4,       0,    kToEnd, kKick,     0 },
    { 4,       0,    kToEnd, kClap,     0 },
    { 4,       0,    kToEnd, kHats,     1 },
    { 4,       0,    kToEnd, kBass,     1 },
    { 4,       0,    kToEnd, kLead,     0 },
    // Greetings: a gated-arpeggio groove, a short breather, then the doubled hook.
    { 5,       0,    kToEnd, kPads,     0 },
    { 5,       0,    16,     kArp,      2 },
    { 5,       16,   24,     kArp,      0 },
    { 5,       24,   kToEnd, kArp,      1 },
    { 5,       0,    16,     kKick,     0 },
    { 5,       24,   kToEnd, kKick,     0 },
    { 5,       0,    16,     kClap,     0 },
    { 5,       20,   kToEnd, kClap,     0 },
    { 5,       0,    16,     kHats,     1 },
    { 5,       16,   24,     kHats,     0 },
    { 5,       24,   kToEnd, kHats,     1 },
    { 5,       0,    16,     kBass,     1 },
    { 5,       24,   kToEnd, kBass,     1 },
    { 5,       24,   kToEnd, kLead,     2 },
    // Closing: one last pass of the phrase, then the final chord rings out.
    { 6,       0,    kToEnd, kPads,     0 },
    { 6,       0,    6,      kArp,      0 },
    { 6,       0,    6,      kKick,     0 },
    { 6,       0,    6,      kClap,     0 },
    { 6,       0,    6,      kHats,     1 },
    { 6,       0,    6,      kBass,     1 },
    { 6,       0,    kToEnd, kLead,     3 },
};

int layerVariant(int section, int bar, Instrument instrument) {
    for (const Layer& l : kLayers)
        if (l.section == section && l.instrument == instrument && bar >= l.from && bar < l.to)
            return l.variant;
    return -1;
}

// Filter opening per section: the pad bus cutoff and the arpeggio's brightness
// glide exponentially from the first value to the second across the section.
struct Sweep {
    float padFromHz, padToHz;
    float pluckFromHz, pluckToHz;
};
const Sweep kSweeps[kSectionCount] = {
    // pad from  pad to   pluck from  pluck to   (Hz)
    {  300.0f,   2200.0f,  500.0f,    2400.0f },  // opening
    { 1800.0f,   2600.0f, 1500.0f,    3000.0f },  // credits
    { 2400.0f,   3200.0f, 2500.0f,    4000.0f },  // Helsinki
    { 1000.0f,   4500.0f, 1000.0f,    4000.0f },  // two-shed city
    { 3000.0f,   3600.0f, 3500.0f,    4500.0f },  // duck city
    { 2600.0f,   3600.0f, 2500.0f,    4500.0f },  // greetings
    { 3000.0f,    500.0f, 3000.0f,     800.0f },  // closing
};

// Bars of the final section after which only the last chord rings.
constexpr int kFinalChordBar = 6;
// Master fade to silence at the end, file time.
constexpr double kFadeFromS = 271.5;  // s
constexpr double kFadeToS   = 278.5;  // s

//-----------------------------------------------------------------------------
// [SECTION] Sequencer: what each sixteenth triggers
//-----------------------------------------------------------------------------

// Levels of each voice into the mix, and how much of it goes to the effects.
//                              dry     reverb  echo
constexpr float kKickLevel    = 0.48f;
constexpr float kClapLevel    = 0.52f, kClapReverb  = 0.30f;
constexpr float kHatLevel     = 0.34f;
constexpr float kOpenHatLevel = 0.25f;
constexpr float kSnareLevel   = 0.36f, kSnareReverb = 0.25f;
constexpr float kCrashLevel   = 0.20f, kCrashReverb = 0.35f;
constexpr float kRiserLevel   = 0.49f, kRiserReverb = 0.35f;
constexpr float kBassLevel    = 0.35f;
constexpr float kPadLevel     = 0.40f, kPadReverb   = 0.30f;
constexpr float kPluckLevel   = 0.10f, kPluckReverb = 0.20f, kPluckEcho = 0.35f;
constexpr float kLeadLevel    = 0.42f, kLeadReverb  = 0.30f, kLeadEcho  = 0.28f;
constexpr float kReverbReturn = 0.55f;
constexpr float kEchoReturn   = 0.45f;
constexpr float kMasterGain   = 0.52f;
// Pads, bass and arpeggio dip under each kick so the beat breathes.
constexpr float kDuckDepth    = 0.55f;
constexpr float kDuckS        = 0.10f;  // s

struct Position {
    int section;
    int64_t local;      // sixteenths since the section began
    int bar, step;      // within the section
    int64_t stepsLeft;  // sixteenths until the next section, huge in the last
};

Position positionOf(int64_t globalStep) {
    int section = 0;
    while (section < kLastSection && globalStep >= 4 * int64_t(sectionStartBeat(section + 1))) ++section;
    Position p;
    p.section = section;
    p.local = globalStep - 4 * int64_t(sectionStartBeat(section));
    p.bar = int(p.local / kStepsPerBar);
    p.step = int(p.local % kStepsPerBar);
    p.stepsLeft = section < kLastSection ? 4 * int64_t(sectionStartBeat(section + 1)) - globalStep
                                         : int64_t(1) << 40;
    return p;
}

// The build before each change: the last four bars.
constexpr int kBuildSteps = 4 * kStepsPerBar;

int chordAt(const Position& p) {
    if (p.section == kLastSection) {
        static const int kClosing[] = {kAm, kAm, kF, kF, kG, kG};
        return p.bar < kFinalChordBar ? kClosing[p.bar] : kAm;
    }
    // The two bars before a change sit on G, which leans into the Am that
    // every section opens with.
    if (p.stepsLeft <= 2 * kStepsPerBar) return kG;
    return (p.bar / 2) % 4;
}

float sweepHz(float from, float to, double progress) {
    return from * std::pow(to / from, float(progress));
}

void startMelodyNote(Song& s, const Position& p, int64_t globalStep) {
    int variant = layerVariant(p.section, p.bar, kLead);
    bool starting = false;
    int note = 0, length = 0;
    // The lead rests through the roll so the change is the drums' moment.
    if (variant >= 0 && p.stepsLeft > 2 * kStepsPerBar) {
        const Melody& m = kMelodies[variant];
        int phraseBar = p.section == kLastSection ? p.bar : p.bar % 8;
        for (int i = 0; i < m.count; ++i) {
            if (m.notes[i].bar == phraseBar && m.notes[i].step == p.step) {
                starting = true;
                note = m.notes[i].note;
                length = m.notes[i].length;
            }
        }
        s.lead.octaveLayer = variant == 2 ? 0.45f : 0.0f;
        s.lead.cutoffHz = variant == 1 ? 1900.0f : 2800.0f;
    }
    bool legato = s.leadOffStep == globalStep;
    if (legato && !starting) s.lead.noteOff();
    if (starting) {
        // Only the breakdown line slides; the hook is articulated note by note.
        s.lead.noteOn(float(note), legato && variant == 1);
        s.leadOffStep = globalStep + length;
    }
}

void runStep(Song& s, int64_t globalStep) {
    const Position p = positionOf(globalStep);
    const int sec = p.section;
    const bool building = p.stepsLeft <= kBuildSteps;
    const bool sectionStart = p.local == 0 && sec > 0;
    const Chord& chord = kChords[chordAt(p)];
    const int64_t at = stepFrame(globalStep);
    const int64_t stepLength = stepFrame(globalStep + 1) - at;

    // Filter automation: across the section, plus a lift through the build.
    {
        const Sweep& w = kSweeps[sec];
        double sectionSteps = sec < kLastSection
            ? double(4 * (sectionStartBeat(sec + 1) - sectionStartBeat(sec)))
            : ((kFadeToS - beatGridOffsetSeconds()) / (60.0 / kBpm) - sectionStartBeat(sec)) * 4.0;
        double progress = std::clamp(double(p.local) / sectionSteps, 0.0, 1.0);
        float lift = 1.0f;
        if (building) {
            float u = 1.0f - float(p.stepsLeft) / kBuildSteps;
            lift = 1.0f + 1.8f * u * u;
        }
        s.padCutoffHz = sweepHz(w.padFromHz, w.padToHz, progress) * lift;
        s.pluckBrightnessHz = sweepHz(w.pluckFromHz, w.pluckToHz, progress) * lift;
    }

    // Impact on every change, and on the final chord.
    bool finalHit = sec == kLastSection && p.bar == kFinalChordBar && p.step == 0;
    if (sectionStart || finalHit) {
        s.crash.trigger(1.0f);
        s.kick.trigger(1.0f);
        s.duckEnv.trigger(kDuckS);
    } else if (layerVariant(sec, p.bar, kKick) >= 0 && p.step % 4 == 0 && !(building && p.stepsLeft <= 8)) {
        // The kick drops out for the last two beats, leaving the roll alone.
        s.kick.trigger(0.9f);
        s.duckEnv.trigger(kDuckS);
    }

    if (layerVariant(sec, p.bar, kClap) >= 0 && (p.step == 4 || p.step == 12) && p.stepsLeft > kStepsPerBar)
        s.clap.trigger(p.step == 12 ? 1.0f : 0.9f);

    switch (layerVariant(sec, p.bar, kHats)) {
    case 0:
        if (p.step % 4 == 2) s.openHat.trigger(0.9f, 0.07f);
        break;
    case 1:
        if (p.step % 4 == 2) {
            s.openHat.trigger(1.0f, 0.12f);
        } else {
            s.openHat.choke();
            s.closedHat.trigger(p.step % 2 ? 0.8f : 0.55f, 0.028f);
        }
        break;
    default: break;
    }

    // Snare roll through the build: quarters, then eighths, then sixteenths,
    // counted back from the change so it lands on it whatever the bar length.
    if (building) {
        int every = p.stepsLeft > 48 ? 4 : p.stepsLeft > 32 ? 2 : 1;
        if (p.stepsLeft % every == 0) s.snare.trigger(0.25f + 0.75f * (1.0f - float(p.stepsLeft) / kBuildSteps));
        if (p.stepsLeft == kBuildSteps) s.riser.trigger(1.0f, int(stepFrame(globalStep + kBuildSteps) - at));
    }

    // Bass: the root of the chord, gated short so the kick has room.
    int bassVariant = layerVariant(sec, p.bar, kBass);
    bool bassNote = bassVariant == 0 ? p.step % 4 == 2 : bassVariant == 1 ? p.step % 4 != 0 : false;
    if (bassVariant >= 0 && building && p.stepsLeft <= 8) bassNote = false;
    if (bassNote) {
        int octave = bassVariant == 1 && p.step == 15 ? 12 : 0;
        s.bass.noteOn(float(chord.bass + octave));
        s.bassOffFrame = at + (bassVariant == 0 ? 3 * stepLength / 2 : 3 * stepLength / 4);
    }
    if (finalHit) {
        s.bass.noteOn(float(chord.bass));
        s.bassOffFrame = at + 4 * kSamplesPerBeat;
    }

    // Pads: a new chord releases the old notes and starts the new ones.
    int wantChord = layerVariant(sec, p.bar, kPads) >= 0 ? chordAt(p) : -1;
    if (wantChord != s.padChord) {
        for (PadNote& n : s.pads) n.noteOff();
        if (wantChord >= 0) {
            for (int note : kChords[wantChord].pad) {
                // A free note, or else the quietest of the releasing ones.
                PadNote* voice = &s.pads[0];
                for (PadNote& n : s.pads) {
                    if (n.amp.stage == Adsr::kAttack) continue;
                    if (!n.active()) { voice = &n; break; }
                    if (n.amp.value < voice->amp.value || voice->amp.stage == Adsr::kAttack) voice = &n;
                }
                voice->noteOn(float(note), s.random);
            }
        }
        s.padChord = wantChord;
    }

    int arpVariant = layerVariant(sec, p.bar, kArp);
    if (arpVariant >= 0) {
        int index = kArpPatterns[arpVariant][p.step];
        if (index >= 0) {
            Pluck& voice = s.plucks[s.nextPluck];
            s.nextPluck = (s.nextPluck + 1) % Song::kPlucks;
            voice.brightnessHz = s.pluckBrightnessHz;
            voice.noteOn(float(chord.arp[index]), p.step % 4 == 0 ? 1.0f : 0.72f);
        }
    }

    startMelodyNote(s, p, globalStep);
}

//-----------------------------------------------------------------------------
// [SECTION] Mixer: rendering a block
//-----------------------------------------------------------------------------

constexpr int kBlock = Song::kBlockFrames;

float masterFade(int64_t frame) {
    double t = double(frame) / kSampleRate;
    if (t <= kFadeFromS) return 1.0f;
    if (t >= kFadeToS) return 0.0f;
    double u = (t - kFadeFromS) / (kFadeToS - kFadeFromS);
    return float(0.5 + 0.5 * std::cos(u * 3.14159265358979));
}

void renderBlock(Song& s, float* outL, float* outR, int n) {
    float dryL[kBlock] = {}, dryR[kBlock] = {};
    float wetL[kBlock] = {}, wetR[kBlock] = {};  // reverb send
    float echoSend[kBlock] = {};
    float duck[kBlock];
    float busL[kBlock], busR[kBlock];

    const float duckCoef = smoothingCoef(0.003f);
    for (int i = 0; i < n; ++i) duck[i] = 1.0f - kDuckDepth * s.duckSmooth.step(s.duckEnv.step(), duckCoef);

    // Drums
    if (s.kick.active())
        for (int i = 0; i < n && s.kick.active(); ++i) {
            float x = kKickLevel * s.kick.step();
            dryL[i] += x;
            dryR[i] += x;
        }
    if (s.clap.active())
        for (int i = 0; i < n; ++i) {
            float x = s.clap.step();
            dryL[i] += kClapLevel * 0.95f * x;
            dryR[i] += kClapLevel * 1.05f * x;
            wetL[i] += kClapReverb * x;
            wetR[i] += kClapReverb * x;
        }
    if (s.closedHat.active() || s.openHat.active()) {
        const Pan closedPan = panGains(0.25f), openPan = panGains(-0.2f);
        for (int i = 0; i < n; ++i) {
            float c = kHatLevel * s.closedHat.step();
            float o = kOpenHatLevel * s.openHat.step();
            dryL[i] += c * closedPan.left + o * openPan.left;
            dryR[i] += c * closedPan.right + o * openPan.right;
        }
    }
    if (s.snare.active())
        for (int i = 0; i < n; ++i) {
            float x = s.snare.step();
            dryL[i] += kSnareLevel * x;
            dryR[i] += kSnareLevel * x;
            wetL[i] += kSnareReverb * x;
            wetR[i] += kSnareReverb * x;
        }
    if (s.crash.active())
        for (int i = 0; i < n; ++i) {
            float l, r;
            s.crash.step(l, r);
            dryL[i] += kCrashLevel * l;
            dryR[i] += kCrashLevel * r;
            wetL[i] += kCrashReverb * l;
            wetR[i] += kCrashReverb * r;
        }
    if (s.riser.active())
        for (int i = 0; i < n && s.riser.active(); ++i) {
            float l, r;
            s.riser.step(l, r);
            dryL[i] += kRiserLevel * l;
            dryR[i] += kRiserLevel * r;
            wetL[i] += kRiserReverb * l;
            wetR[i] += kRiserReverb * r;
        }

    // Bass, gated at its own frame rather than on the sixteenth grid.
    for (int i = 0; i < n; ++i) {
        if (s.frame + i == s.bassOffFrame) s.bass.noteOff();
        if (!s.bass.active()) continue;
        float x = kBassLevel * duck[i] * s.bass.step();
        dryL[i] += x;
        dryR[i] += x;
    }

    // Pads through the shared, swept low-pass.
    bool padsSound = false;
    for (PadNote& note : s.pads) padsSound |= note.active();
    if (padsSound) {
        std::fill(busL, busL + n, 0.0f);
        std::fill(busR, busR + n, 0.0f);
        for (PadNote& note : s.pads) {
            if (!note.active()) continue;
            note.render(busL, busR, n);
        }
        s.padFilterL.set(s.padCutoffHz, 0.9f);
        s.padFilterR.set(s.padCutoffHz, 0.9f);
        for (int i = 0; i < n; ++i) {
            s.padFilterL.step(busL[i]);
            s.padFilterR.step(busR[i]);
            float l = kPadLevel * duck[i] * s.padFilterL.low;
            float r = kPadLevel * duck[i] * s.padFilterR.low;
            dryL[i] += l;
            dryR[i] += r;
            wetL[i] += kPadReverb * l;
            wetR[i] += kPadReverb * r;
        }
    }

    // Arpeggio, mostly heard through the ping-pong echo.
    for (Pluck& voice : s.plucks) {
        if (!voice.active()) continue;
        for (int i = 0; i < n; ++i) {
            float x = (0.6f + 0.4f * duck[i]) * voice.step();
            dryL[i] += kPluckLevel * x;
            dryR[i] += kPluckLevel * x;
            wetL[i] += kPluckReverb * x;
            wetR[i] += kPluckReverb * x;
            echoSend[i] += kPluckEcho * x;
        }
    }

    if (s.lead.active())
        for (int i = 0; i < n; ++i) {
            float x = s.lead.step();
            dryL[i] += kLeadLevel * x;
            dryR[i] += kLeadLevel * x;
            wetL[i] += kLeadReverb * x;
            wetR[i] += kLeadReverb * x;
            echoSend[i] += kLeadEcho * x;
        }

    // Effects: the echo feeds the reverb, so the repeats sit in the same room.
    for (int i = 0; i < n; ++i) {
        float l, r;
        s.echo.step(echoSend[i], l, r);
        dryL[i] += kEchoReturn * l;
        dryR[i] += kEchoReturn * r;
        wetL[i] += 0.3f * l;
        wetR[i] += 0.3f * r;
        s.reverb.step(wetL[i], wetR[i], l, r);
        dryL[i] += kReverbReturn * l;
        dryR[i] += kReverbReturn * r;
    }

    for (int i = 0; i < n; ++i) {
        float gain = kMasterGain * masterFade(s.frame + i);
        float l = gain * dryL[i], r = gain * dryR[i];
        s.limiter.step(l, r);
        outL[i] = l;
        outR[i] = r;
    }
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Rendering frames
//-----------------------------------------------------------------------------

Song::Song() : echo(3 * kSamplesPerBeat / 4) {  // a dotted eighth
    nextStep = 4 * int64_t(sectionStartBeat(0));
    echo.feedback = 0.42f;
}

void renderSong(Song& s, float* left, float* right, int frames) {
    int done = std::min(frames, s.aheadFrames);
    if (done > 0) {
        std::copy(s.aheadL, s.aheadL + done, left);
        std::copy(s.aheadR, s.aheadR + done, right);
        s.aheadFrames -= done;
        std::memmove(s.aheadL, s.aheadL + done, sizeof(float) * size_t(s.aheadFrames));
        std::memmove(s.aheadR, s.aheadR + done, sizeof(float) * size_t(s.aheadFrames));
    }
    while (done < frames) {
        // Steps before the file begins (the intro's first beats) all fire at frame 0.
        while (stepFrame(s.nextStep) <= s.frame) runStep(s, s.nextStep++);
        int n = int(std::min<int64_t>(stepFrame(s.nextStep) - s.frame, kBlock));
        if (n <= frames - done) {
            renderBlock(s, left + done, right + done, n);
            done += n;
        } else {
            renderBlock(s, s.aheadL, s.aheadR, n);
            int used = frames - done;
            std::copy(s.aheadL, s.aheadL + used, left + done);
            std::copy(s.aheadR, s.aheadR + used, right + done);
            s.aheadFrames = n - used;
            std::memmove(s.aheadL, s.aheadL + used, sizeof(float) * size_t(s.aheadFrames));
            std::memmove(s.aheadR, s.aheadR + used, sizeof(float) * size_t(s.aheadFrames));
            done = frames;
        }
        s.frame += n;
    }
}

}  // namespace synth
