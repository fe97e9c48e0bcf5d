// The staged MP3, as a player hears it: it decodes, lasts as long as the demo,
// never clips, and its sections follow the scene changes.
#include <gtest/gtest.h>

#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;  // Hz
const double kSceneChangesClock[] = {33.0, 53.0, 108.0, 143.0, 173.0, 260.0};
constexpr double kEndClock = 278.0;
constexpr double kLoadS = 0.50;  // the track starts this long after the demo clock (bench_startup's median)

struct Decoded {
    std::vector<float> left, right;
    long rate = 0;
    int channels = 0;
    std::string error;
    double seconds() const { return rate ? double(left.size()) / rate : 0.0; }
};

Decoded decode(const char* path) {
    Decoded d;
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) {
        d.error = mpg123_plain_strerror(err);
        return d;
    }
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(h);
    mpg123_format(h, kRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(h, path) != MPG123_OK) {
        d.error = std::string(path) + ": " + mpg123_strerror(h);
        mpg123_delete(h);
        return d;
    }
    int encoding = 0;
    mpg123_getformat(h, &d.rate, &d.channels, &encoding);
    std::vector<float> buffer(8192);
    for (;;) {
        size_t bytes = 0;
        int r = mpg123_read(h, buffer.data(), buffer.size() * sizeof(float), &bytes);
        for (size_t i = 0; i + 1 < bytes / sizeof(float); i += 2) {
            d.left.push_back(buffer[i]);
            d.right.push_back(buffer[i + 1]);
        }
        if (r == MPG123_DONE) break;
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) {
            d.error = mpg123_strerror(h);
            break;
        }
    }
    mpg123_close(h);
    mpg123_delete(h);
    return d;
}

const Decoded& soundtrack() {
    static const Decoded d = decode(SOUNDTRACK_PATH);
    return d;
}

// Level of the mono sum over [from, to) seconds; `meter` picks what is measured.
enum Meter { kBroadband, kHighs, kLows };
double level(const Decoded& d, double from, double to, Meter meter) {
    size_t a = size_t(std::max(0.0, from) * d.rate), b = std::min(size_t(to * d.rate), d.left.size());
    // The lows: a one-pole low-pass at about 150 Hz, run in from a little earlier.
    const float lowCoef = 1.0f - std::exp(-2.0f * 3.14159265f * 150.0f / float(d.rate));
    size_t warm = a > size_t(d.rate / 10) ? a - d.rate / 10 : 0;
    float low = 0.0f, previous = 0.0f;
    double sum = 0.0;
    for (size_t i = warm; i < b; ++i) {
        float m = 0.5f * (d.left[i] + d.right[i]);
        low += lowCoef * (m - low);
        // The first difference tilts the spectrum up 6 dB an octave: the
        // brightness a riser, a roll or a cymbal adds.
        float x = meter == kBroadband ? m : meter == kLows ? low : m - previous;
        previous = m;
        if (i >= a) sum += double(x) * x;
    }
    return b > a ? std::sqrt(sum / double(b - a)) : 0.0;
}

std::vector<double> sceneChanges() {
    std::vector<double> t;
    for (double c : kSceneChangesClock) t.push_back(c - kLoadS);
    return t;
}

}  // namespace

TEST(soundtrack, decodes_to_stereo_as_long_as_the_demo) {
    const Decoded& d = soundtrack();
    ASSERT_TRUE(d.error.empty()) << d.error;
    EXPECT_EQ(d.rate, kRate);
    EXPECT_EQ(d.channels, 2);
    EXPECT_GE(d.seconds(), 275.0);
    EXPECT_LE(d.seconds(), 285.0);
}

TEST(soundtrack, never_comes_near_clipping) {
    const Decoded& d = soundtrack();
    ASSERT_TRUE(d.error.empty()) << d.error;
    float peak = 0.0f;
    for (size_t i = 0; i < d.left.size(); ++i) peak = std::max({peak, std::fabs(d.left[i]), std::fabs(d.right[i])});
    EXPECT_LT(peak, 0.89f) << "decoded peak above -1 dBFS";
    EXPECT_GT(peak, 0.5f) << "mastered far too quietly";
}

TEST(soundtrack, every_section_carries_sound) {
    const Decoded& d = soundtrack();
    ASSERT_TRUE(d.error.empty()) << d.error;
    std::vector<double> bounds = {0.0};
    for (double c : sceneChanges()) bounds.push_back(c);
    bounds.push_back(kEndClock - kLoadS);
    for (size_t i = 0; i + 1 < bounds.size(); ++i) {
        double rms = level(d, bounds[i], bounds[i + 1], kBroadband);
        EXPECT_GT(rms, 0.05) << "section " << i << " from " << bounds[i] << " s";
    }
}

TEST(soundtrack, energy_rises_into_every_scene_change) {
    // The last seconds before a change carry the riser and the snare roll; well
    // before the build, neither plays.
    const Decoded& d = soundtrack();
    ASSERT_TRUE(d.error.empty()) << d.error;
    for (double c : sceneChanges()) {
        double build = level(d, c - 2.0, c - 0.05, kHighs);
        double before = level(d, c - 9.0, c - 7.0, kHighs);
        EXPECT_GT(build, 1.5 * before) << "into the change at " << c << " s";
    }
}

TEST(soundtrack, every_scene_change_lands_with_a_hit) {
    // Kick and bass rest for the last beats of a build, and a kick with the
    // crash opens the new section.
    const Decoded& d = soundtrack();
    ASSERT_TRUE(d.error.empty()) << d.error;
    for (double c : sceneChanges()) {
        double after = level(d, c + 0.05, c + 0.45, kLows);
        double before = level(d, c - 0.6, c - 0.15, kLows);
        EXPECT_GT(after, 2.0 * before) << "at the change at " << c << " s";
    }
}

TEST(soundtrack, fades_out_before_the_timeline_ends) {
    const Decoded& d = soundtrack();
    ASSERT_TRUE(d.error.empty()) << d.error;
    double end = kEndClock - kLoadS;
    double finalChord = level(d, end - 16.0, end - 10.0, kBroadband);
    double lastSecond = level(d, end - 1.0, end, kBroadband);
    double tail = level(d, d.seconds() - 0.5, d.seconds(), kBroadband);
    EXPECT_GT(finalChord, 0.05);
    EXPECT_LT(lastSecond, 0.1 * finalChord);
    EXPECT_LT(tail, 0.001) << "the file should end in silence, not be cut";
}

TEST(soundtrack, measures_near_streaming_loudness_with_true_peak_headroom) {
    // ffmpeg's EBU R128 meter, the measurement the track is mastered against.
    std::string command = std::string("ffmpeg -hide_banner -nostats -i '") + SOUNDTRACK_PATH +
                          "' -af ebur128=peak=true -f null - 2>&1";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char line[512];
    while (std::fgets(line, sizeof line, p)) out += line;
    int status = pclose(p);
    ASSERT_EQ(status, 0) << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);

    size_t summary = out.rfind("Summary:");
    ASSERT_NE(summary, std::string::npos) << "no ebur128 summary from ffmpeg";
    double integrated = 0.0, truePeak = 0.0;
    size_t i = out.find("I:", summary), p2 = out.find("Peak:", summary);
    ASSERT_NE(i, std::string::npos);
    ASSERT_NE(p2, std::string::npos);
    ASSERT_EQ(std::sscanf(out.c_str() + i, "I: %lf", &integrated), 1);
    ASSERT_EQ(std::sscanf(out.c_str() + p2, "Peak: %lf", &truePeak), 1);
    EXPECT_GT(integrated, -16.0);
    EXPECT_LT(integrated, -12.0);
    EXPECT_LT(truePeak, -1.0);
}
