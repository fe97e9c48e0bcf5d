// PNG encoding of baked images: stb_image_write's container, with zlib writing the
// deflate. This file holds the one stb_image_write implementation of the baker; it is kept
// static so it cannot clash with the copy inside libstb.
#include "canvas.h"

#include <zlib.h>

#include <cstdlib>
#include <memory>

// The demo decodes every one of these files while the timeline's clock already runs, and
// stb_image inflates Huffman-coded data a byte at a time: a 1024 × 1024 sky face takes
// tens of milliseconds that way. Stored (level 0) blocks inflate as plain copies, so the
// files are written uncompressed; they only live in the build's stage folder.
static unsigned char* zlibCompress(unsigned char* data, int length, int* outLength, int /*quality*/) {
    z_stream stream{};
    if (deflateInit2(&stream, 0, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return nullptr;
    uLong bound = deflateBound(&stream, static_cast<uLong>(length));
    auto* out = static_cast<unsigned char*>(std::malloc(bound));
    stream.next_in = data;
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(bound);
    int status = out != nullptr ? deflate(&stream, Z_FINISH) : Z_MEM_ERROR;
    *outLength = static_cast<int>(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        std::free(out);
        return nullptr;
    }
    return out;
}

#define STBIW_ZLIB_COMPRESS zlibCompress
// The same CRC as stb_image_write's own, which goes a byte at a time; zlib's goes by words.
#define STBIW_CRC32(buffer, length) static_cast<unsigned int>(crc32(0L, buffer, static_cast<uInt>(length)))
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace bake {

static void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    auto* bytes = static_cast<unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

std::vector<unsigned char> encodePng(const Canvas& canvas, int channels, bool dither) {
    static const float kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    // Every byte is written below: no need to clear them first.
    std::unique_ptr<unsigned char[]> raw(new unsigned char[static_cast<size_t>(canvas.width) * canvas.height * channels]);
    // The dither is ordered (periodic), which the compressor packs better than noise, and
    // exact 8-bit colours pass through it unchanged: one offset per place in its 4 x 4 tile.
    float offset[4][4] = {};
    if (dither)
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 4; ++k) offset[i][k] = (kBayer[i][k] + 0.5f) / 16.0f - 0.5f;
    // Rounded down and clamped to 0..255: for a positive value below 256 the truncation is
    // the floor, and NaN, like anything not above 0, gives 0.
    auto byteOf = [](float value, float d) -> unsigned char {
        float v = clamp01(value) * 255.0f + 0.5f + d;
        return v > 0.0f ? static_cast<unsigned char>(std::min(255.0f, v)) : 0;
    };
    unsigned char* next = raw.get();
    for (int y = 0; y < canvas.height; ++y) {
        const float* rowOffset = offset[y & 3];
        for (int x = 0; x < canvas.width; ++x) {
            Rgba p = pixelAt(canvas, x, y);
            float d = rowOffset[x & 3];
            if (channels == 3) {
                p = scaled(p, clamp01(p.a));
                *next++ = byteOf(p.r, d), *next++ = byteOf(p.g, d), *next++ = byteOf(p.b, d);
            } else {
                *next++ = byteOf(p.r, d), *next++ = byteOf(p.g, d), *next++ = byteOf(p.b, d), *next++ = byteOf(p.a, d);
            }
        }
    }
    // With nothing to compress for, a row filter only costs the decoder: stb_image then
    // copies each row as it is (filter type 0, None).
    stbi_write_force_png_filter = 0;
    std::vector<unsigned char> out;
    stbi_write_png_to_func(&appendBytes, &out, canvas.width, canvas.height, channels, raw.get(),
                           canvas.width * channels);
    return out;
}

}  // namespace bake
