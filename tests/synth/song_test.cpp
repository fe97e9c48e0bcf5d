// The arrangement follows the demo's timeline, and rendering is a pure function
// of the frame position: the same samples on every run, however it is sliced.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "song.h"

using namespace synth;

namespace {

// Demo clock times at which the scene windows change, and when the timeline ends.
const double kSceneChangesClock[] = {33.0, 53.0, 108.0, 143.0, 173.0, 260.0};
constexpr double kEndClock = 278.0;
// The track starts when loading ends, this far into the clock: the median start-up
// bench_startup measured for the Release build.
constexpr double kLoadS = 0.50;

struct Stereo {
    std::vector<float> left, right;
};

Stereo render(double seconds, int slice) {
    const int frames = int(seconds * kSampleRate);
    Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
    Song song;
    for (int at = 0; at < frames; at += slice)
        renderSong(song, out.left.data() + at, out.right.data() + at, std::min(slice, frames - at));
    return out;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

TEST(song_timeline, each_section_starts_on_its_scene_change_on_one_beat_grid) {
    const double beatS = 60.0 / kBpm;
    ASSERT_EQ(kSectionCount, int(std::size(kSceneChangesClock)) + 1);
    for (int i = 1; i < kSectionCount; ++i) {
        double change = kSceneChangesClock[i - 1] - kLoadS;
        double start = sectionStartSeconds(i);
        // Heard as on the cut: within about a fifth of a beat (the last change is not a
        // whole number of beats after the others).
        EXPECT_LE(std::fabs(start - change), 0.09) << "section " << i;
        double beats = (start - sectionStartSeconds(1)) / beatS;
        EXPECT_NEAR(beats, std::round(beats), 1e-9) << "section " << i << " is off the beat";
    }
}

TEST(song_timeline, sections_tile_the_timeline_and_the_track_outlasts_it) {
    EXPECT_EQ(sectionStartSeconds(0), 0.0);
    for (int i = 0; i + 1 < kSectionCount; ++i) {
        EXPECT_EQ(sectionEndSeconds(i), sectionStartSeconds(i + 1));
        EXPECT_LT(sectionStartSeconds(i), sectionStartSeconds(i + 1));
    }
    EXPECT_DOUBLE_EQ(sectionEndSeconds(kSectionCount - 1), kEndClock - kLoadS);
    EXPECT_GE(kSongSeconds, kEndClock - kLoadS);
}

TEST(song_render, two_renders_are_identical) {
    // Long enough to pass the first scene change, with its riser and crash.
    Stereo a = render(36.0, 1 << 20), b = render(36.0, 1 << 20);
    EXPECT_TRUE(sameBits(a.left, b.left));
    EXPECT_TRUE(sameBits(a.right, b.right));
}

TEST(song_render, rendering_in_slices_matches_rendering_at_once) {
    // Past the first scene change: its riser and crash are where a slice's end, cutting
    // a block short, once changed the samples.
    Stereo whole = render(36.0, 1 << 22), sliced = render(36.0, 997);
    EXPECT_TRUE(sameBits(whole.left, sliced.left));
    EXPECT_TRUE(sameBits(whole.right, sliced.right));
}

TEST(song_render, music_is_heard_within_the_first_second) {
    // The demo starts the track as the first frame is drawn, so it cannot open
    // on a long silence.
    Stereo s = render(1.0, 1 << 20);
    double sum = 0.0;
    for (int i = kSampleRate / 4; i < kSampleRate; ++i) sum += double(s.left[i]) * s.left[i];
    EXPECT_GT(std::sqrt(sum / (0.75 * kSampleRate)), 0.005);
}

TEST(song_render, samples_are_finite_and_within_the_limiter_ceiling) {
    Stereo s = render(36.0, 1 << 20);
    const float ceiling = Limiter().ceiling;
    for (size_t i = 0; i < s.left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(s.left[i]) && std::isfinite(s.right[i])) << "at frame " << i;
        ASSERT_LE(std::fabs(s.left[i]), ceiling) << "at frame " << i;
        ASSERT_LE(std::fabs(s.right[i]), ceiling) << "at frame " << i;
    }
}
