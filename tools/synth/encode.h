// MP3 encoding of the rendered track through LAME: constant bit rate, with the
// LAME info frame so decoders trim the encoder's delay and padding exactly.
#pragma once

#include <string>
#include <vector>

namespace synth {

constexpr int kBitRateKbps = 192;

// The whole file in memory; empty, with `error` set, when LAME refuses.
std::vector<unsigned char> encodeMp3(const float* left, const float* right, int frames, std::string* error);

}  // namespace synth
