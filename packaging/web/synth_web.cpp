// The synthesiser as a wasm module (synth.js) for generators_worker.js: the song rendered
// in consecutive pieces, so that the page can start playing the first while the rest is
// still being made.
#include "song.h"

#include <algorithm>
#include <memory>

namespace {
// A render is a pass from frame 0 whose state lives in the Song, so the module keeps one,
// and the frame its next piece starts at.
std::unique_ptr<synth::Song> song;
int handedOut = 0;
}

extern "C" {

int norrvaleSongFrames() { return int(synth::kSongFrames); }

// Renders frames [from, from + count) of the song into `left` and `right` (count floats
// each). Asking for the frames that follow the last call's costs only those; anything
// else renders again from the start, up to `from`.
void norrvaleRender(int from, int count, float* left, float* right) {
    if (!song || handedOut > from) {
        song = std::make_unique<synth::Song>();
        handedOut = 0;
    }
    constexpr int kSkipFrames = 4096;
    float skipL[kSkipFrames], skipR[kSkipFrames];
    while (handedOut < from) {
        int n = std::min(from - handedOut, kSkipFrames);
        synth::renderSong(*song, skipL, skipR, n);
        handedOut += n;
    }
    synth::renderSong(*song, left, right, count);
    handedOut += count;
}

}
