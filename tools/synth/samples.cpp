// synth_samples OUTPUT.f32: the soundtrack as rendered, before the MP3 encoder rounds it
// away: every left sample, then every right one, as little-endian float32. The browser
// build renders the same song in wasm and is held against these samples.
#include <cstdio>
#include <vector>

#include "song.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.f32\n", argv[0]);
        return 2;
    }
    std::vector<float> left(synth::kSongFrames), right(synth::kSongFrames);
    synth::Song song;
    synth::renderSong(song, left.data(), right.data(), int(synth::kSongFrames));

    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    bool written = std::fwrite(left.data(), sizeof(float), left.size(), f) == left.size() &&
                   std::fwrite(right.data(), sizeof(float), right.size(), f) == right.size();
    if (std::fclose(f) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
