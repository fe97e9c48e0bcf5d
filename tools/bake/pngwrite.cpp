// PNG encoding of baked images: stb_image_write's container and filters, with zlib doing the
// deflate. This file holds the one stb_image_write implementation of the baker; it is kept
// static so it cannot clash with the copy inside libstb.
#include "canvas.h"

#include <zlib.h>

#include <cstdlib>

// stb_image_write's own deflate is slow and packs loosely. zlib's middle level with the
// strategy meant for PNG rows packs a third tighter in a fraction of the time; the levels
// above it cost several times more (the dither pattern makes long match chains) for a few
// per cent.
static unsigned char* zlibCompress(unsigned char* data, int length, int* outLength, int /*quality*/) {
    z_stream stream{};
    if (deflateInit2(&stream, 5, Z_DEFLATED, 15, 9, Z_FILTERED) != Z_OK) return nullptr;
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

// The classic PNG heuristic, over the whole image: the filter whose residuals, taken as
// signed bytes, have the smallest sum of magnitudes usually packs smallest.
static int chooseFilter(const std::vector<unsigned char>& raw, int width, int height, int channels) {
    long sub = 0, up = 0;
    size_t stride = static_cast<size_t>(width) * channels;
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < stride; ++i) {
            int v = raw[y * stride + i];
            int left = i >= static_cast<size_t>(channels) ? raw[y * stride + i - channels] : 0;
            int above = y > 0 ? raw[(y - 1) * stride + i] : 0;
            sub += std::abs(static_cast<signed char>(v - left));
            up += std::abs(static_cast<signed char>(v - above));
        }
    return sub <= up ? 1 : 2;
}

#define STBIW_ZLIB_COMPRESS zlibCompress
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
    std::vector<unsigned char> raw(static_cast<size_t>(canvas.width) * canvas.height * channels);
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            Rgba p = pixelAt(canvas, x, y);
            if (channels == 3) p = scaled(p, clamp01(p.a));
            // The dither is ordered (periodic), which the compressor packs better than noise,
            // and exact 8-bit colours pass through it unchanged.
            float d = dither ? (kBayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f : 0.0f;
            float values[4] = {p.r, p.g, p.b, p.a};
            for (int c = 0; c < channels; ++c) {
                float v = std::floor(clamp01(values[c]) * 255.0f + 0.5f + d);
                raw[(static_cast<size_t>(y) * canvas.width + x) * channels + c] =
                    static_cast<unsigned char>(std::min(255.0f, std::max(0.0f, v)));
            }
        }
    // The demo decodes these files at start-up, some of them six times. stb_image undoes the
    // Paeth filter several times slower than Sub or Up, and stb's writer picks Paeth for most
    // rows when left to choose, so we force Sub or Up for the whole image.
    stbi_write_force_png_filter = chooseFilter(raw, canvas.width, canvas.height, channels);
    std::vector<unsigned char> out;
    stbi_write_png_to_func(&appendBytes, &out, canvas.width, canvas.height, channels, raw.data(),
                           canvas.width * channels);
    return out;
}

}  // namespace bake
