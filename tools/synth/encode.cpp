// MP3 encoding of the rendered track through LAME.
#include "encode.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstring>

#include "dsp.h"

namespace synth {

std::vector<unsigned char> encodeMp3(const float* left, const float* right, int frames, std::string* error) {
    std::vector<unsigned char> file;
    lame_t lame = lame_init();
    if (!lame) {
        *error = "lame_init failed";
        return file;
    }
    lame_set_in_samplerate(lame, kSampleRate);
    lame_set_out_samplerate(lame, kSampleRate);
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, kBitRateKbps);
    // 5 is LAME's balanced setting; at 192 kbit/s the finer searches are not
    // audible on this material and would cost several seconds of build time.
    lame_set_quality(lame, 5);
    // No ID3 tags, so the info frame is the first thing in the file and can be
    // patched in place once the totals are known.
    lame_set_write_id3tag_automatic(lame, 0);
    lame_set_bWriteVbrTag(lame, 1);
    if (lame_init_params(lame) < 0) {
        *error = "lame_init_params rejected the settings";
        lame_close(lame);
        return file;
    }

    constexpr int kChunk = 8192;  // frames
    // LAME's documented worst case for an output buffer: 1.25 n + 7200 bytes.
    std::vector<unsigned char> chunk(kChunk * 5 / 4 + 7200);
    for (int at = 0; at < frames; at += kChunk) {
        int n = std::min(kChunk, frames - at);
        int bytes = lame_encode_buffer_ieee_float(lame, left + at, right + at, n, chunk.data(), int(chunk.size()));
        if (bytes < 0) {
            *error = "lame_encode_buffer_ieee_float failed with " + std::to_string(bytes);
            lame_close(lame);
            return {};
        }
        file.insert(file.end(), chunk.begin(), chunk.begin() + bytes);
    }
    int bytes = lame_encode_flush(lame, chunk.data(), int(chunk.size()));
    if (bytes > 0) file.insert(file.end(), chunk.begin(), chunk.begin() + bytes);

    unsigned char tag[4096];
    size_t tagBytes = lame_get_lametag_frame(lame, tag, sizeof tag);
    if (tagBytes > 0 && tagBytes <= file.size()) std::memcpy(file.data(), tag, tagBytes);
    lame_close(lame);
    return file;
}

}  // namespace synth
