// synth OUTPUT.mp3: renders the demo's soundtrack and writes it as an MP3. The
// file is written beside the target and renamed into place, so an interrupted
// build never leaves a truncated track looking up to date.
#include <ctime>
#include <cstdio>
#include <string>
#include <vector>

#include "encode.h"
#include "song.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.mp3\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    // Processor time rather than wall time: the build machine is shared, and
    // the figure that matters is what the render itself costs.
    std::clock_t t0 = std::clock();

    std::vector<float> left(synth::kSongFrames), right(synth::kSongFrames);
    synth::Song song;
    synth::renderSong(song, left.data(), right.data(), int(synth::kSongFrames));
    std::clock_t t1 = std::clock();

    std::string error;
    std::vector<unsigned char> mp3 = synth::encodeMp3(left.data(), right.data(), int(synth::kSongFrames), &error);
    if (mp3.empty()) {
        std::fprintf(stderr, "synth: %s\n", error.c_str());
        return 1;
    }
    std::clock_t t2 = std::clock();

    const std::string partial = path + ".part";
    FILE* f = std::fopen(partial.c_str(), "wb");
    if (!f) {
        std::perror(partial.c_str());
        return 1;
    }
    bool written = std::fwrite(mp3.data(), 1, mp3.size(), f) == mp3.size();
    written = std::fclose(f) == 0 && written;
    if (!written || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::perror(path.c_str());
        std::remove(partial.c_str());
        return 1;
    }

    auto seconds = [](std::clock_t d) { return double(d) / CLOCKS_PER_SEC; };
    std::printf("synth: %.1f s of music, rendered in %.2f s, encoded in %.2f s of processor time, %zu bytes\n",
                synth::kSongSeconds, seconds(t1 - t0), seconds(t2 - t1), mp3.size());
    return 0;
}
