// How long the build spends on the soundtrack: the render and the MP3 encode of
// the whole track, in processor seconds and as a multiple of real time.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "encode.h"
#include "song.h"

namespace {

double processorSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

void report(const char* what, double seconds) {
    std::printf("%-8s %6.2f s  (%5.0fx real time)\n", what, seconds, synth::kSongSeconds / seconds);
}

}  // namespace

int main() {
    const int frames = int(synth::kSongFrames);
    std::vector<float> left(frames), right(frames);

    double t0 = processorSeconds();
    synth::Song song;
    synth::renderSong(song, left.data(), right.data(), frames);
    double t1 = processorSeconds();
    std::string error;
    std::vector<unsigned char> mp3 = synth::encodeMp3(left.data(), right.data(), frames, &error);
    double t2 = processorSeconds();
    if (mp3.empty()) {
        std::fprintf(stderr, "bench_synth: %s\n", error.c_str());
        return 1;
    }

    std::printf("soundtrack: %.1f s at %d Hz, %d kbit/s, %zu bytes\n", synth::kSongSeconds, synth::kSampleRate,
                synth::kBitRateKbps, mp3.size());
    report("render", t1 - t0);
    report("encode", t2 - t1);
    report("total", t2 - t0);
    return 0;
}
