// Building blocks of the soundtrack synthesiser: noise, oscillators, filters,
// envelopes, the drum and tonal voices, the effects and the master limiter.
//
// Index
//   [SECTION] Units and helpers
//   [SECTION] Noise and oscillators
//   [SECTION] Filters
//   [SECTION] Envelopes
//   [SECTION] Drum voices
//   [SECTION] Tonal voices
//   [SECTION] Effects
//   [SECTION] Master limiter
//
// Every block is a small struct holding its state, with a step() that makes one
// sample. Nothing here allocates after set-up or reads a clock, so a render is a
// pure function of the arrangement and comes out bit-identical on every run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <vector>

namespace synth {

//-----------------------------------------------------------------------------
// [SECTION] Units and helpers
//-----------------------------------------------------------------------------

constexpr int   kSampleRate = 44100;                    // Hz
constexpr float kSampleTime = 1.0f / kSampleRate;       // s
constexpr float kPi         = 3.14159265358979f;
// Filter coefficients need a tangent; sweeping ones recompute it this often.
constexpr int   kControlPeriod = 16;                    // samples

inline float midiToHz(float note) { return 440.0f * std::exp2((note - 69.0f) / 12.0f); }
inline float dbToGain(float db) { return std::pow(10.0f, db / 20.0f); }

// Per-sample multiplier of an exponential decay that falls to 1/e in `seconds`.
inline float decayPerSample(float seconds) { return std::exp(-kSampleTime / seconds); }

// One-pole smoothing coefficient for a time constant of `seconds`.
inline float smoothingCoef(float seconds) { return 1.0f - decayPerSample(seconds); }

// Saturator: a Pade approximant of tanh, exact at 0 and reaching +-1 at +-3,
// at a fraction of the cost of the library function.
//   y = x (27 + x^2) / (27 + 9 x^2),  |x| <= 3
inline float softClip(float x) {
    x = std::clamp(x, -3.0f, 3.0f);
    float x2 = x * x;
    return x * (27.0f + x2) / (27.0f + 9.0f * x2);
}

// Equal-power pan: pan -1 is hard left, +1 hard right.
struct Pan {
    float left = 0.7071f, right = 0.7071f;
};
inline Pan panGains(float pan) {
    float angle = (pan + 1.0f) * 0.25f * kPi;
    return {std::cos(angle), std::sin(angle)};
}

//-----------------------------------------------------------------------------
// [SECTION] Noise and oscillators
//-----------------------------------------------------------------------------

// White noise in [-1, 1) from a xorshift32 generator: fast, and the same sequence
// for the same seed on every machine.
struct Noise {  // s ^= s << 13; s ^= s >> 17; s ^= s << 5
    uint32_t state = 0x9E3779B9u;
    float step() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(int32_t(state)) * (1.0f / 2147483648.0f);
    }
    // Uniform in [0, 1), for initial phases and other one-off choices.
    float unit() { return 0.5f * step() + 0.5f; }
};

// Sawtooth with a polynomial band-limited step (polyBLEP) smoothing the wrap, so
// high notes do not fold back as inharmonic whistles.
//   y(n) = 2 p(n) - 1 - blep(p(n)),  p(n) = frac(p(n-1) + f / fs)
struct Saw {
    float phase = 0.0f;      // cycles, [0, 1)
    float increment = 0.0f;  // cycles per sample
    void setHz(float hz) { increment = hz * kSampleTime; }
    float step() {
        phase += increment;
        if (phase >= 1.0f) phase -= 1.0f;
        float y = 2.0f * phase - 1.0f;
        if (phase < increment) {
            float t = phase / increment;
            y -= t + t - t * t - 1.0f;
        } else if (phase > 1.0f - increment) {
            float t = (phase - 1.0f) / increment;
            y -= t * t + t + t + 1.0f;
        }
        return y;
    }
};

// Sine from a phase accumulator; used where the frequency moves every sample.
struct Sine {
    float phase = 0.0f;  // cycles, [0, 1)
    float step(float hz) {
        phase += hz * kSampleTime;
        if (phase >= 1.0f) phase -= 1.0f;
        return std::sin(2.0f * kPi * phase);
    }
};

//-----------------------------------------------------------------------------
// [SECTION] Filters
//-----------------------------------------------------------------------------

struct OnePole {  // y(n) = y(n-1) + a (x(n) - y(n-1))
    float z = 0.0f;
    float step(float x, float a) {
        z += a * (x - z);
        return z;
    }
};

// Trapezoidal state-variable filter (zero-delay feedback form): stays stable
// and keeps its tuning right up to the top of the band, which a swept
// resonant low-pass needs.
//   g = tan(pi fc / fs), k = 1 / Q
//   v1 = (ic1 + g (x - ic2)) / (1 + g (g + k)),  v2 = ic2 + g v1
//   ic1 = 2 v1 - ic1,  ic2 = 2 v2 - ic2
//   low = v2, band = v1, high = x - k v1 - v2
struct Svf {
    float ic1 = 0.0f, ic2 = 0.0f;
    float a1 = 1.0f, a2 = 0.0f, a3 = 0.0f, k = 1.4142f;
    float low = 0.0f, band = 0.0f, high = 0.0f;

    void set(float cutoffHz, float q) {
        float hz = std::clamp(cutoffHz, 10.0f, 0.45f * kSampleRate);
        float g = std::tan(kPi * hz * kSampleTime);
        k = 1.0f / q;
        a1 = 1.0f / (1.0f + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    void step(float x) {
        float v3 = x - ic2;
        float v1 = a1 * ic1 + a2 * v3;
        float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        low = v2;
        band = v1;
        high = x - k * v1 - v2;
    }
};

//-----------------------------------------------------------------------------
// [SECTION] Envelopes
//-----------------------------------------------------------------------------

// A hit: jumps to 1 and falls exponentially.   y(n) = d y(n-1)
struct Decay {
    float value = 0.0f;
    float factor = 0.999f;  // per sample
    void trigger(float seconds) {
        value = 1.0f;
        factor = decayPerSample(seconds);
    }
    float step() {
        float y = value;
        value *= factor;
        return y;
    }
};

// Attack rises linearly; decay and release approach their targets exponentially,
// so a retrigger starts from wherever the level is and never clicks.
//   attack:  y(n) = y(n-1) + 1 / (ta fs)
//   decay:   y(n) = s + (y(n-1) - s) dd
//   release: y(n) = y(n-1) dr
struct Adsr {
    enum Stage { kIdle, kAttack, kDecay, kRelease };
    Stage stage = kIdle;
    float value = 0.0f;
    float attackStep = 0.01f;    // per sample
    float decayFactor = 0.999f;  // per sample
    float sustain = 1.0f;        // level
    float releaseFactor = 0.999f;

    void set(float attackS, float decayS, float sustainLevel, float releaseS) {
        attackStep = kSampleTime / std::max(attackS, kSampleTime);
        decayFactor = decayPerSample(decayS);
        sustain = sustainLevel;
        releaseFactor = decayPerSample(releaseS);
    }
    void noteOn() { stage = kAttack; }
    void noteOff() {
        if (stage != kIdle) stage = kRelease;
    }
    bool active() const { return stage != kIdle; }
    float step() {
        switch (stage) {
        case kIdle: break;
        case kAttack:
            value += attackStep;
            if (value >= 1.0f) {
                value = 1.0f;
                stage = kDecay;
            }
            break;
        case kDecay: value = sustain + (value - sustain) * decayFactor; break;
        case kRelease:
            value *= releaseFactor;
            if (value < 1e-3f) {  // -60 dB: inaudible under the rest of the mix
                value = 0.0f;
                stage = kIdle;
            }
            break;
        }
        return value;
    }
};

//-----------------------------------------------------------------------------
// [SECTION] Drum voices
//-----------------------------------------------------------------------------

// Kick: a sine whose pitch falls from a knock to the sub, plus a short noise
// click for the beater, through a gentle saturator for weight.
//   f(n) = 46 Hz + 140 Hz p(n),  p(n) = dp p(n-1)
//   y(n) = softClip(1.6 (sin(2 pi phase) a(n) + click(n)))
struct Kick {
    static constexpr float kBaseHz   = 46.0f;   // Hz
    static constexpr float kSweepHz  = 140.0f;  // Hz above the base at the hit
    static constexpr float kPitchS   = 0.028f;  // s
    static constexpr float kBodyS    = 0.17f;   // s
    static constexpr float kClickS   = 0.0015f; // s
    Sine osc;
    Decay pitch, body, click;
    Noise noise{0x1234567u};
    OnePole clickTone;
    float velocity = 0.0f;

    void trigger(float v) {
        velocity = v;
        osc.phase = 0.0f;
        pitch.trigger(kPitchS);
        body.trigger(kBodyS);
        click.trigger(kClickS);
    }
    bool active() const { return body.value > 1e-3f; }
    float step() {
        float hz = kBaseHz + kSweepHz * pitch.step();
        float y = osc.step(hz) * body.step();
        y += 0.5f * clickTone.step(noise.step(), 0.5f) * click.step();
        return velocity * softClip(1.6f * y);
    }
};

// Clap: band-passed noise under an envelope of three quick re-strikes and a
// tail, the hands not meeting at once.
struct Clap {
    static constexpr float kStrikeGapS = 0.011f;  // s between re-strikes
    static constexpr float kStrikeS    = 0.004f;  // s decay of each strike
    static constexpr float kTailS      = 0.075f;  // s decay of the tail
    Noise noise{0xC1A9u};
    Svf tone;
    Decay env;
    int age = 1 << 30;  // samples since the hit
    float velocity = 0.0f;

    Clap() { tone.set(1250.0f, 1.2f); }
    void trigger(float v) {
        velocity = v;
        age = 0;
        env.trigger(kStrikeS);
    }
    bool active() const { return age < int(0.5f * kSampleRate); }
    float step() {
        int gap = int(kStrikeGapS * kSampleRate);
        if (age == gap || age == 2 * gap) env.trigger(kStrikeS);
        if (age == 3 * gap) env.trigger(kTailS);
        ++age;
        tone.step(noise.step());
        return velocity * 2.2f * tone.band * env.step();
    }
};

// Hat: noise through a resonant high-pass; closed and open differ only in length.
struct Hat {
    Noise noise{0x4A7u};
    Svf tone;
    Decay env;
    float velocity = 0.0f;

    Hat() { tone.set(7600.0f, 1.1f); }
    void trigger(float v, float lengthS) {
        velocity = v;
        env.trigger(lengthS);
    }
    void choke() { env.value *= 0.02f; }
    bool active() const { return env.value > 1e-4f; }
    float step() {
        tone.step(noise.step());
        return velocity * tone.high * env.step();
    }
};

// Snare for the rolls: a falling tone under a bright noise burst.
struct Snare {
    static constexpr float kToneHz = 190.0f;  // Hz
    Sine osc;
    Noise noise{0x5A4Eu};
    Svf tone;
    Decay toneEnv, noiseEnv;
    float velocity = 0.0f;

    Snare() { tone.set(3200.0f, 0.8f); }
    void trigger(float v) {
        velocity = v;
        toneEnv.trigger(0.045f);
        noiseEnv.trigger(0.11f);
    }
    bool active() const { return noiseEnv.value > 1e-4f; }
    float step() {
        float t = toneEnv.step();
        float body = osc.step(kToneHz * (1.0f + 0.4f * t)) * t;
        tone.step(noise.step());
        float snap = (tone.band + 0.5f * tone.high) * noiseEnv.step();
        return velocity * (0.6f * body + snap);
    }
};

// Crash cymbal: two independent noise streams, high-passed, ringing long; it
// marks every new section.
struct Crash {
    Noise noiseL{0xC0FFEEu}, noiseR{0xBEEFu};
    Svf toneL, toneR;
    Decay env;
    float velocity = 0.0f;

    Crash() {
        toneL.set(5200.0f, 0.9f);
        toneR.set(5600.0f, 0.9f);
    }
    void trigger(float v) {
        velocity = v;
        env.trigger(1.3f);
    }
    bool active() const { return env.value > 1e-4f; }
    void step(float& left, float& right) {
        float e = velocity * env.step();
        toneL.step(noiseL.step());
        toneR.step(noiseR.step());
        left = e * (toneL.high + 0.3f * toneL.band);
        right = e * (toneR.high + 0.3f * toneR.band);
    }
};

// Riser: noise through a band-pass whose centre climbs exponentially while the
// level swells, ending exactly when the next section begins.
//   fc(u) = 350 Hz (9000 / 350)^u,  gain(u) = u^2,  u = elapsed / length
struct Riser {
    static constexpr float kLowHz  = 350.0f;   // Hz
    static constexpr float kHighHz = 9000.0f;  // Hz
    Noise noiseL{0x715Eu}, noiseR{0x2157u};
    Svf toneL, toneR;
    int length = 0;  // samples
    int age = 0;     // samples
    float velocity = 0.0f;

    void trigger(float v, int lengthSamples) {
        velocity = v;
        length = std::max(lengthSamples, 1);
        age = 0;
    }
    bool active() const { return age < length; }
    void step(float& left, float& right) {
        float u = float(age) / float(length);
        if (age % kControlPeriod == 0) {
            float hz = kLowHz * std::pow(kHighHz / kLowHz, u);
            toneL.set(hz, 2.5f);
            toneR.set(hz * 1.07f, 2.5f);
        }
        ++age;
        float gain = velocity * u * u;
        toneL.step(noiseL.step());
        toneR.step(noiseR.step());
        left = gain * toneL.band;
        right = gain * toneR.band;
    }
};

//-----------------------------------------------------------------------------
// [SECTION] Tonal voices
//-----------------------------------------------------------------------------

// Bass: two saws a few cents apart, through a resonant low-pass whose cutoff
// snaps open on each note and closes fast: the rolling trance bass.
//   fc(n) = base + amount e(n),  e(n) = de e(n-1)
struct Bass {
    Saw saw, twin;
    Svf filter;
    Adsr amp;
    Decay cutoffEnv;
    float baseHz = 180.0f;    // Hz, cutoff at rest
    float amountHz = 900.0f;  // Hz, cutoff kick per note
    int control = 0;

    Bass() { amp.set(0.002f, 0.09f, 0.55f, 0.02f); }
    void noteOn(float note) {
        float hz = midiToHz(note);
        saw.setHz(hz);
        twin.setHz(1.006f * hz);
        amp.noteOn();
        cutoffEnv.trigger(0.06f);
        control = 0;
    }
    void noteOff() { amp.noteOff(); }
    bool active() const { return amp.active(); }
    float step() {
        if (control-- == 0) {
            filter.set(baseHz + amountHz * cutoffEnv.value, 2.6f);
            control = kControlPeriod - 1;
        }
        cutoffEnv.step();
        filter.step(saw.step() + 0.8f * twin.step());
        return filter.low * amp.step();
    }
};

// Pad note: a supersaw, five saws spread in pitch and across the stereo field,
// under a slow envelope. The low-pass sits on the pad bus, shared by all notes.
struct PadNote {
    static constexpr int kSaws = 5;
    // detune (semitones)  pan
    static constexpr float kSpread[kSaws][2] = {
        {  0.00f,  0.00f },
        { -0.19f, -0.80f },
        {  0.17f,  0.80f },
        { -0.09f,  0.45f },
        {  0.11f, -0.45f },
    };
    Saw saws[kSaws];
    Pan pans[kSaws];
    Adsr amp;

    void noteOn(float note, Noise& random) {
        for (int i = 0; i < kSaws; ++i) {
            saws[i].setHz(midiToHz(note + kSpread[i][0]));
            saws[i].phase = random.unit();
            pans[i] = panGains(kSpread[i][1]);
        }
        amp.set(0.9f, 1.5f, 0.85f, 0.5f);
        amp.noteOn();
    }
    void noteOff() { amp.noteOff(); }
    bool active() const { return amp.active(); }
    // Adds n samples to the two buses. A block at a time, saw by saw, so each
    // oscillator's loop stays in registers; pads are the costliest voice.
    void render(float* left, float* right, int n) {
        float env[512];
        n = std::min(n, 512);
        for (int i = 0; i < n; ++i) env[i] = amp.step() * (1.0f / kSaws);
        for (int k = 0; k < kSaws; ++k) {
            Saw saw = saws[k];
            const Pan pan = pans[k];
            for (int i = 0; i < n; ++i) {
                float s = saw.step() * env[i];
                left[i] += s * pan.left;
                right[i] += s * pan.right;
            }
            saws[k] = saw;
        }
    }
};

// Arpeggio pluck: two slightly detuned saws through a low-pass that closes
// quickly after each note.
struct Pluck {
    Saw a, b;
    Svf filter;
    Decay amp, cutoffEnv;
    float brightnessHz = 2500.0f;  // Hz, cutoff kick per note
    float velocity = 0.0f;
    int control = 0;

    void noteOn(float note, float v) {
        float hz = midiToHz(note);
        a.setHz(hz);
        b.setHz(hz * 1.004f);
        velocity = v;
        amp.trigger(0.16f);
        cutoffEnv.trigger(0.07f);
        control = 0;
    }
    bool active() const { return amp.value > 1e-4f; }
    float step() {
        if (control-- == 0) {
            filter.set(300.0f + brightnessHz * cutoffEnv.value, 1.6f);
            control = kControlPeriod - 1;
        }
        cutoffEnv.step();
        filter.step(a.step() + b.step());
        return velocity * filter.low * amp.step();
    }
};

// Lead: three detuned saws, an optional octave layer, glide between notes and a
// vibrato that grows in as a note is held, through a low-pass with a short bite.
struct Lead {
    static constexpr float kGlideS    = 0.035f;  // s
    static constexpr float kVibratoHz = 5.4f;    // Hz
    static constexpr float kVibratoSt = 0.18f;   // semitones at full depth
    static constexpr float kVibratoS  = 0.45f;   // s for the vibrato to grow in
    Saw saws[4];
    Svf filter;
    Adsr amp;
    Decay bite;
    Sine vibrato;
    OnePole glide;
    float target = 69.0f;      // MIDI note
    float octaveLayer = 0.0f;  // level of the saw an octave up
    float cutoffHz = 2600.0f;  // Hz
    float heldS = 0.0f;        // s since the note began
    int control = 0;

    Lead() { amp.set(0.006f, 0.35f, 0.75f, 0.18f); }
    void noteOn(float note, bool slide) {
        target = note;
        if (!slide) glide.z = note;
        heldS = 0.0f;
        amp.noteOn();
        bite.trigger(0.12f);
    }
    void noteOff() { amp.noteOff(); }
    bool active() const { return amp.active(); }
    float step() {
        if (control-- == 0) {
            float depth = std::min(heldS / kVibratoS, 1.0f);
            float note = glide.step(target, smoothingCoef(kGlideS / kControlPeriod))
                       + kVibratoSt * depth * vibrato.step(kVibratoHz * kControlPeriod);
            float hz = midiToHz(note);
            saws[0].setHz(hz);
            saws[1].setHz(hz * 1.0058f);
            saws[2].setHz(hz * 0.9942f);
            saws[3].setHz(hz * 2.0f);
            filter.set(cutoffHz * (1.0f + 1.5f * bite.value), 0.9f);
            heldS += kControlPeriod * kSampleTime;
            control = kControlPeriod - 1;
        }
        bite.step();
        float x = saws[0].step() + 0.7f * (saws[1].step() + saws[2].step())
                + octaveLayer * saws[3].step();
        filter.step(x);
        return 0.4f * filter.low * amp.step();
    }
};

//-----------------------------------------------------------------------------
// [SECTION] Effects
//-----------------------------------------------------------------------------

// A fixed-length delay line: read() is the sample written `length` steps ago.
struct DelayLine {
    std::vector<float> buffer;
    int index = 0;
    explicit DelayLine(int lengthSamples = 1) : buffer(std::max(lengthSamples, 1), 0.0f) {}
    float read() const { return buffer[index]; }
    void write(float x) {
        buffer[index] = x;
        if (++index == int(buffer.size())) index = 0;
    }
};

// Feedback comb with a damping low-pass in the loop, so the tail darkens as it
// fades the way a room absorbs highs.
//   y(n) = x(n - M);  s(n) = s(n-1) + d (y(n) - s(n-1));  x'(n) = x(n) + g s(n)
struct Comb {
    DelayLine line;
    OnePole damping;
    float feedback = 0.8f;
    float damp = 0.3f;
    explicit Comb(int lengthSamples = 1) : line(lengthSamples) {}
    float step(float x) {
        float y = line.read();
        line.write(x + feedback * damping.step(y, 1.0f - damp));
        return y;
    }
};

// Schroeder all-pass: smears the echoes without colouring the spectrum.
//   w(n) = x(n) + g w(n-M);  y(n) = w(n-M) - g w(n)
struct Allpass {
    DelayLine line;
    float gain = 0.5f;
    explicit Allpass(int lengthSamples = 1) : line(lengthSamples) {}
    float step(float x) {
        float delayed = line.read();
        float w = x + gain * delayed;
        line.write(w);
        return delayed - gain * w;
    }
};

// Plate-like reverb: four parallel combs into two all-passes per side, the two
// sides tuned apart so the tail is wide. Comb lengths are mutually prime so
// their echoes do not pile up on one period.
struct Reverb {
    static constexpr int kCombs = 4;
    static constexpr int kAllpasses = 2;
    //                                       left   right   (samples)
    static constexpr int kCombLength[kCombs][2] = {
        { 1427, 1453 },
        { 1559, 1583 },
        { 1693, 1721 },
        { 1811, 1847 },
    };
    static constexpr int kAllpassLength[kAllpasses][2] = {
        {  557,  579 },
        {  223,  241 },
    };
    std::vector<Comb> combs[2];
    std::vector<Allpass> allpasses[2];

    Reverb(float feedback = 0.86f, float damp = 0.35f) {
        for (int side = 0; side < 2; ++side) {
            for (int i = 0; i < kCombs; ++i) {
                combs[side].emplace_back(kCombLength[i][side]);
                combs[side].back().feedback = feedback;
                combs[side].back().damp = damp;
            }
            for (int i = 0; i < kAllpasses; ++i) allpasses[side].emplace_back(kAllpassLength[i][side]);
        }
    }
    void step(float inL, float inR, float& outL, float& outR) {
        float in[2] = {inL, inR};
        float out[2];
        for (int side = 0; side < 2; ++side) {
            float sum = 0.0f;
            for (Comb& c : combs[side]) sum += c.step(in[side]);
            for (Allpass& a : allpasses[side]) sum = a.step(sum);
            out[side] = 0.25f * sum;
        }
        // A little of each side into the other keeps mono sources from sitting in
        // one ear while still leaving the tail wide.
        outL = out[0] + 0.2f * out[1];
        outR = out[1] + 0.2f * out[0];
    }
};

// Ping-pong echo: the mono send enters on the left and bounces between the sides,
// each repeat darker and quieter than the last.
//   l(n) = x(n) + g lp(r(n - M)),  r(n) = l(n - M)
struct PingPong {
    DelayLine left, right;
    OnePole darkening;
    float feedback = 0.45f;
    float damp = 0.35f;
    explicit PingPong(int lengthSamples = 1) : left(lengthSamples), right(lengthSamples) {}
    void step(float x, float& outL, float& outR) {
        outL = left.read();
        outR = right.read();
        left.write(x + feedback * darkening.step(outR, 1.0f - damp));
        right.write(outL);
    }
};

//-----------------------------------------------------------------------------
// [SECTION] Master limiter
//-----------------------------------------------------------------------------

// Look-ahead brick-wall limiter. The gain each sample needs is held as a running
// minimum over the look-ahead window and then averaged over the same window; the
// audio is delayed by that window, so every sample meets a gain that was already
// at or below what it needs and no output sample exceeds the ceiling. The hold
// releases exponentially, slowly enough not to pump audibly.
//   need(n) = min(1, c / max|x(n)|),  h(n) = min need(n-L+1 .. n)
//   r(n) = h(n) if h(n) < r(n-1) else r(n-1) + a (h(n) - r(n-1))
//   g(n) = mean r(n-L+1 .. n),  y(n) = g(n) x(n-L+1)
struct Limiter {
    static constexpr int kLookahead = 96;  // samples, about 2 ms
    float ceiling = 0.75f;                 // linear
    float release = smoothingCoef(0.12f);  // per sample
    DelayLine audioL{kLookahead - 1}, audioR{kLookahead - 1};
    DelayLine held{kLookahead};
    std::deque<std::pair<int64_t, float>> window;  // (sample, need), needs increasing
    double heldSum = kLookahead;
    float releasing = 1.0f;
    int64_t sample = 0;

    Limiter() {
        for (float& v : held.buffer) v = 1.0f;
    }
    void step(float& left, float& right) {
        float peak = std::max(std::fabs(left), std::fabs(right));
        float need = peak > ceiling ? ceiling / peak : 1.0f;
        while (!window.empty() && window.back().second >= need) window.pop_back();
        window.emplace_back(sample, need);
        while (window.front().first <= sample - kLookahead) window.pop_front();
        float hold = window.front().second;
        releasing = hold < releasing ? hold : releasing + release * (hold - releasing);
        heldSum += double(releasing) - double(held.read());
        held.write(releasing);
        float gain = float(heldSum * (1.0 / kLookahead));
        ++sample;

        float delayedL = audioL.read(), delayedR = audioR.read();
        audioL.write(left);
        audioR.write(right);
        // The running mean drifts by rounding over millions of samples; the clamp
        // keeps the guarantee exact.
        left = std::clamp(delayedL * gain, -ceiling, ceiling);
        right = std::clamp(delayedR * gain, -ceiling, ceiling);
    }
};

}  // namespace synth
