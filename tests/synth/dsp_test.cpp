// The synthesiser's building blocks behave as their difference equations say:
// filters pass and stop the right bands, voices pitch and decay, the limiter
// holds its ceiling.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp.h"

using namespace synth;

namespace {

std::vector<float> sine(float hz, float amplitude, int frames) {
    std::vector<float> x(frames);
    for (int i = 0; i < frames; ++i) x[i] = amplitude * std::sin(2.0f * kPi * hz * i * kSampleTime);
    return x;
}

double rms(const std::vector<float>& x, int from, int to) {
    double sum = 0.0;
    for (int i = from; i < to; ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / (to - from));
}

// Energy of the first difference: a crude high-frequency meter.
double edgeRms(const std::vector<float>& x, int from, int to) {
    double sum = 0.0;
    for (int i = std::max(from, 1); i < to; ++i) sum += double(x[i] - x[i - 1]) * (x[i] - x[i - 1]);
    return std::sqrt(sum / (to - from));
}

float filteredRms(float hz, float cutoffHz) {
    Svf f;
    f.set(cutoffHz, 0.7071f);
    std::vector<float> x = sine(hz, 1.0f, kSampleRate / 2), y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        f.step(x[i]);
        y[i] = f.low;
    }
    // Skip the settling of the first tenth of a second.
    return float(rms(y, kSampleRate / 10, int(y.size())) / rms(x, kSampleRate / 10, int(x.size())));
}

}  // namespace

TEST(svf, low_pass_keeps_the_band_below_cutoff) {
    EXPECT_NEAR(filteredRms(100.0f, 1000.0f), 1.0f, 0.02f);
}

TEST(svf, low_pass_falls_twelve_db_per_octave_above_cutoff) {
    // Three octaves above a Butterworth cutoff: about -36 dB.
    float gain = filteredRms(8000.0f, 1000.0f);
    EXPECT_LT(gain, dbToGain(-32.0f));
    EXPECT_GT(gain, dbToGain(-42.0f));
}

TEST(svf, stays_stable_when_tuned_to_the_top_of_the_band) {
    Svf f;
    f.set(30000.0f, 8.0f);  // clamped below Nyquist
    Noise n;
    float peak = 0.0f;
    for (int i = 0; i < kSampleRate; ++i) {
        f.step(n.step());
        peak = std::max(peak, std::fabs(f.low));
    }
    EXPECT_TRUE(std::isfinite(peak));
    EXPECT_LT(peak, 50.0f);
}

TEST(saw, runs_at_its_pitch_within_unit_range) {
    Saw saw;
    saw.setHz(440.0f);
    int periods = 0;
    float previous = saw.step(), peak = 0.0f;
    for (int i = 1; i < kSampleRate; ++i) {
        float y = saw.step();
        if (previous < 0.0f && y >= 0.0f) ++periods;  // mid-ramp, once a period
        peak = std::max(peak, std::fabs(y));
        previous = y;
    }
    EXPECT_NEAR(periods, 440, 1);
    EXPECT_LE(peak, 1.0f);
}

TEST(saw, band_limited_step_softens_the_wrap) {
    // A naive ramp at this pitch falls by 2 - 2 f / fs = 1.77 in one sample at
    // every wrap; the corrected one spreads the fall over two samples, at most
    // 1.5 - 2 f / fs in either.
    Saw saw;
    saw.setHz(5000.0f);
    float previous = saw.step(), largestDrop = 0.0f;
    for (int i = 0; i < 2000; ++i) {
        float y = saw.step();
        largestDrop = std::max(largestDrop, previous - y);
        previous = y;
    }
    EXPECT_LT(largestDrop, 1.5f);
}

TEST(adsr, reaches_sustain_and_falls_silent_after_release) {
    Adsr env;
    env.set(0.01f, 0.05f, 0.6f, 0.1f);
    env.noteOn();
    float top = 0.0f;
    for (int i = 0; i < int(0.011f * kSampleRate); ++i) top = std::max(top, env.step());
    EXPECT_FLOAT_EQ(top, 1.0f);
    for (int i = 0; i < int(0.5f * kSampleRate); ++i) env.step();
    EXPECT_NEAR(env.value, 0.6f, 0.001f);
    env.noteOff();
    for (int i = 0; i < int(1.0f * kSampleRate); ++i) env.step();
    EXPECT_FALSE(env.active());
    EXPECT_EQ(env.value, 0.0f);
}

TEST(adsr, retrigger_rises_from_the_current_level) {
    Adsr env;
    env.set(0.01f, 0.05f, 0.6f, 0.1f);
    env.noteOn();
    for (int i = 0; i < kSampleRate / 2; ++i) env.step();
    env.noteOff();
    for (int i = 0; i < kSampleRate / 20; ++i) env.step();
    float before = env.value;
    env.noteOn();
    float after = env.step();
    EXPECT_GT(after, before);
    EXPECT_LT(after - before, 0.01f);  // no jump, so no click
}

TEST(kick, pitch_falls_through_the_hit) {
    Kick kick;
    kick.trigger(1.0f);
    std::vector<int> crossings;  // upward zero crossings, in samples
    float previous = kick.step();
    for (int i = 1; i < int(0.3f * kSampleRate); ++i) {
        float y = kick.step();
        if (previous < 0.0f && y >= 0.0f) crossings.push_back(i);
        previous = y;
    }
    ASSERT_GE(crossings.size(), 5u);
    int firstPeriod = crossings[1] - crossings[0];
    int lastPeriod = crossings.back() - crossings[crossings.size() - 2];
    EXPECT_GT(lastPeriod, firstPeriod * 3 / 2);
    // It settles near its base pitch rather than sweeping on down.
    EXPECT_NEAR(float(kSampleRate) / lastPeriod, Kick::kBaseHz, 8.0f);
}

TEST(kick, dies_away_and_stops) {
    Kick kick;
    kick.trigger(1.0f);
    std::vector<float> y;
    while (kick.active()) y.push_back(kick.step());
    ASSERT_GT(y.size(), size_t(kSampleRate / 4));
    double head = rms(y, 0, kSampleRate / 20);
    double tail = rms(y, int(y.size()) - kSampleRate / 20, int(y.size()));
    EXPECT_LT(tail, head * dbToGain(-30.0f));
}

TEST(clap, strikes_and_tail_then_silence) {
    Clap clap;
    clap.trigger(1.0f);
    std::vector<float> y;
    while (clap.active()) y.push_back(clap.step());
    double strikes = rms(y, 0, int(0.04f * kSampleRate));
    double late = rms(y, int(0.4f * kSampleRate), int(y.size()));
    EXPECT_GT(strikes, 0.05);
    EXPECT_LT(late, strikes * 0.01);
}

TEST(hat, is_bright_and_closed_is_shorter_than_open) {
    auto lengthOf = [](float decayS) {
        Hat hat;
        hat.trigger(1.0f, decayS);
        std::vector<float> y;
        while (hat.active()) y.push_back(hat.step());
        return y;
    };
    std::vector<float> closed = lengthOf(0.028f), open = lengthOf(0.12f);
    EXPECT_LT(closed.size() * 3, open.size());
    // Mostly above the high-pass: the first difference carries more than the signal.
    EXPECT_GT(edgeRms(open, 0, 2000), rms(open, 0, 2000));
}

TEST(riser, grows_louder_and_brighter_until_it_stops) {
    Riser riser;
    const int length = 4 * kSampleRate;
    riser.trigger(1.0f, length);
    std::vector<float> left, right;
    while (riser.active()) {
        float l, r;
        riser.step(l, r);
        left.push_back(l);
        right.push_back(r);
    }
    ASSERT_EQ(int(left.size()), length);
    int quarter = length / 4;
    double early = rms(left, quarter / 2, quarter), late = rms(left, 3 * quarter, length);
    EXPECT_GT(late, 4.0 * early);
    double earlyBrightness = edgeRms(left, quarter / 2, quarter) / early;
    double lateBrightness = edgeRms(left, 3 * quarter, length) / late;
    EXPECT_GT(lateBrightness, 3.0 * earlyBrightness);
    // The two sides are different noise, so it is wide.
    EXPECT_NE(left[length - 1], right[length - 1]);
}

TEST(reverb, impulse_leaves_a_decaying_tail) {
    Reverb reverb;
    std::vector<float> y(3 * kSampleRate);
    for (int i = 0; i < int(y.size()); ++i) {
        float l, r;
        reverb.step(i == 0 ? 1.0f : 0.0f, 0.0f, l, r);
        y[i] = l;
    }
    double early = rms(y, 0, kSampleRate / 4);
    double middle = rms(y, kSampleRate, kSampleRate + kSampleRate / 4);
    double late = rms(y, 2 * kSampleRate + kSampleRate / 2, 3 * kSampleRate);
    EXPECT_GT(early, 0.0);
    EXPECT_GT(middle, 0.0);
    EXPECT_LT(middle, early * 0.5);
    EXPECT_LT(late, middle * 0.5);
}

TEST(ping_pong, echo_alternates_sides) {
    PingPong echo(1000);
    std::vector<float> left(5000), right(5000);
    for (int i = 0; i < 5000; ++i) echo.step(i == 0 ? 1.0f : 0.0f, left[i], right[i]);
    EXPECT_GT(left[1000], 0.9f);
    EXPECT_EQ(right[1000], 0.0f);
    EXPECT_GT(right[2000], 0.9f);
    EXPECT_GT(left[3000], 0.0f);
    EXPECT_LT(left[3000], left[1000]);
}

TEST(limiter, output_never_exceeds_the_ceiling) {
    Limiter limiter;
    Noise noise;
    float peak = 0.0f;
    for (int i = 0; i < 2 * kSampleRate; ++i) {
        // Bursts up to 4x the ceiling: a sub sine with noise on top.
        float burst = (i / 3000) % 3 == 0 ? 4.0f : 0.5f;
        float l = burst * (0.6f * std::sin(2.0f * kPi * 55.0f * i * kSampleTime) + 0.4f * noise.step());
        float r = burst * 0.4f * noise.step();
        limiter.step(l, r);
        peak = std::max({peak, std::fabs(l), std::fabs(r)});
    }
    EXPECT_LE(peak, limiter.ceiling);
    EXPECT_GT(peak, 0.9f * limiter.ceiling);  // and it does not just turn things down
}

TEST(limiter, quiet_input_passes_unchanged_after_the_lookahead) {
    Limiter limiter;
    std::vector<float> x = sine(440.0f, 0.5f, 4000);
    const int delay = Limiter::kLookahead - 1;
    for (int i = 0; i < int(x.size()); ++i) {
        float l = x[i], r = -x[i];
        limiter.step(l, r);
        if (i >= delay) {
            ASSERT_FLOAT_EQ(l, x[i - delay]) << "at sample " << i;
            ASSERT_FLOAT_EQ(r, -x[i - delay]) << "at sample " << i;
        }
    }
}

TEST(limiter, gain_recovers_after_a_peak) {
    Limiter limiter;
    float l = 0.0f, r = 0.0f;
    for (int i = 0; i < 200; ++i) {
        l = r = 3.0f;
        limiter.step(l, r);
    }
    float lastOut = 0.0f;
    for (int i = 0; i < kSampleRate; ++i) {
        l = r = 0.3f;
        limiter.step(l, r);
        lastOut = l;
    }
    EXPECT_NEAR(lastOut, 0.3f, 0.003f);
}
