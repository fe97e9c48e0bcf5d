// The soundtrack as the demo plays it: through the sound layer, on SDL's disk
// audio driver, which writes what it would play to a file in real time.
#include <gtest/gtest.h>

#include <SDL2/SDL_mixer.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "encode.h"
#include "sound/irrklang.h"

namespace {

constexpr int kRate = 44100;                  // Hz, what the layer opens
constexpr int16_t kAudible = 33;              // about -60 dBFS in 16 bits
constexpr double kStartToleranceS = 0.25;     // device buffers plus scheduling

std::string tempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/synth_playback_" + std::to_string(::getpid()) + "_" + name;
}

long fileSize(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fclose(f);
    return size;
}

// The disk driver's output: interleaved signed 16-bit stereo, the mixer's
// default format.
std::vector<int16_t> readOutput(const std::string& path) {
    std::vector<int16_t> samples(size_t(fileSize(path)) / sizeof(int16_t));
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) {
        size_t got = std::fread(samples.data(), sizeof(int16_t), samples.size(), f);
        samples.resize(got);
        std::fclose(f);
    }
    return samples;
}

struct Played {
    std::vector<int16_t> samples;  // interleaved stereo
    long startFrame = 0;           // output frame at which play2D was called
    bool engine = false;
};

// Opens the layer on the disk driver, plays `file` once and records `seconds`.
Played play(const std::string& file, double seconds) {
    const std::string output = tempPath("out.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    Played p;
    irrklang::ISoundEngine* engine =
        irrklang::createIrrKlangDevice(irrklang::ESOD_AUTO_DETECT, 61, nullptr, "1.6.0");
    p.engine = engine != nullptr;
    if (!engine) return p;
    // Let the device settle into writing silence, so the start can be seen.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    p.startFrame = fileSize(output) / long(2 * sizeof(int16_t));
    engine->play2D(file.c_str(), false, false, false, irrklang::ESM_AUTO_DETECT, false);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    Mix_CloseAudio();  // flushes and closes the driver's file
    p.samples = readOutput(output);
    std::remove(output.c_str());
    return p;
}

long firstAudibleFrame(const Played& p, long from) {
    for (size_t i = size_t(2 * from); i < p.samples.size(); ++i)
        if (std::abs(p.samples[i]) >= kAudible) return long(i / 2);
    return -1;
}

long lastAudibleFrame(const Played& p) {
    for (size_t i = p.samples.size(); i-- > 0;)
        if (std::abs(p.samples[i]) >= kAudible) return long(i / 2);
    return -1;
}

// A short tone burst made with the track's own encoder, so the whole of a
// playback, end included, fits in a few seconds.
std::string writeToneMp3(double seconds) {
    const int frames = int(seconds * kRate);
    std::vector<float> left(frames), right(frames);
    for (int i = 0; i < frames; ++i) left[i] = right[i] = 0.5f * std::sin(2.0 * 3.14159265358979 * 440.0 * i / kRate);
    std::string error;
    std::vector<unsigned char> mp3 = synth::encodeMp3(left.data(), right.data(), frames, &error);
    std::string path = tempPath("tone.mp3");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(mp3.data(), 1, mp3.size(), f);
        std::fclose(f);
    }
    return mp3.empty() ? std::string() : path;
}

}  // namespace

TEST(playback, soundtrack_starts_at_once) {
    Played p = play(SOUNDTRACK_PATH, 1.5);
    ASSERT_TRUE(p.engine) << "the sound layer could not open SDL's disk driver";
    long first = firstAudibleFrame(p, p.startFrame);
    ASSERT_GE(first, 0) << "nothing was played";
    EXPECT_LE(double(first - p.startFrame) / kRate, kStartToleranceS);
    // And it keeps playing: the last half second recorded is not silent.
    long last = lastAudibleFrame(p);
    EXPECT_GT(double(last - p.startFrame) / kRate, 1.2);
}

TEST(playback, a_track_plays_once_and_is_not_looped) {
    const double toneS = 0.8;
    std::string tone = writeToneMp3(toneS);
    ASSERT_FALSE(tone.empty());
    Played p = play(tone, toneS + 1.7);
    std::remove(tone.c_str());
    ASSERT_TRUE(p.engine) << "the sound layer could not open SDL's disk driver";
    long first = firstAudibleFrame(p, p.startFrame), last = lastAudibleFrame(p);
    ASSERT_GE(first, 0) << "nothing was played";
    EXPECT_LE(double(first - p.startFrame) / kRate, kStartToleranceS);
    double heardS = double(last - first) / kRate;
    EXPECT_NEAR(heardS, toneS, 0.1) << "a looped track would sound on to the end of the recording";
    // The recording runs well past the tone's end, so silence was seen.
    EXPECT_GT(long(p.samples.size() / 2) - last, long(0.8 * kRate));
}
