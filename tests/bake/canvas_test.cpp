// The drawing primitives the recipes stand on: PNG bytes that decode back exactly, shapes
// whose coverage adds up to their area, text that lands where it was measured, noise that
// tiles and is stb_perlin's to the bit, and a reduction that keeps the average colour.
#include "canvas.h"

#include <stb/stb_image.h>
#include <stb/stb_perlin.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace bake;

namespace {

std::vector<unsigned char> decodePng(const std::vector<unsigned char>& png, int& width, int& height, int& channels) {
    stbi_set_flip_vertically_on_load(0);
    unsigned char* data = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height, &channels, 0);
    std::vector<unsigned char> pixels;
    if (data != nullptr) {
        pixels.assign(data, data + static_cast<size_t>(width) * height * channels);
        stbi_image_free(data);
    }
    return pixels;
}

float coverageSum(const Mask& mask) {
    float sum = 0.0f;
    for (float c : mask.coverage) sum += c;
    return sum;
}

const Fonts& fonts() {
    static Fonts loaded;
    static bool ok = loadFonts(loaded);
    EXPECT_TRUE(ok);
    return loaded;
}

}  // namespace

TEST(pngEncoding, exact_colours_decode_back_unchanged_with_or_without_dither) {
    Canvas c = makeCanvas(37, 23, Rgba{});
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            pixelAt(c, x, y) = {((x * 7) % 256) / 255.0f, ((y * 11) % 256) / 255.0f, ((x * y) % 256) / 255.0f,
                                ((x + y) % 256) / 255.0f};
    for (int channels : {3, 4})
        for (bool dither : {false, true}) {
            int w = 0, h = 0, n = 0;
            std::vector<unsigned char> pixels = decodePng(encodePng(c, channels, dither), w, h, n);
            ASSERT_EQ(w, 37);
            ASSERT_EQ(h, 23);
            ASSERT_EQ(n, channels);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    Rgba p = pixelAt(c, x, y);
                    // Three channels are composited over black.
                    float k = channels == 3 ? p.a : 1.0f;
                    const unsigned char* q = &pixels[(static_cast<size_t>(y) * w + x) * n];
                    EXPECT_NEAR(q[0], p.r * k * 255.0f, channels == 3 ? 1.0f : 0.01f);
                    EXPECT_NEAR(q[1], p.g * k * 255.0f, channels == 3 ? 1.0f : 0.01f);
                    if (channels == 4) {
                        EXPECT_NEAR(q[3], p.a * 255.0f, 0.01f);
                    }
                }
        }
}

TEST(pngEncoding, dither_keeps_the_mean_of_a_gradient) {
    // A slow ramp: undithered it rounds to bands; dithered, every 4 × 4 block keeps the mean.
    Canvas c = makeCanvas(64, 64, Rgba{});
    shadeCanvas(c, [](float x, float) { float v = (40.0f + x * 0.1f) / 255.0f; return Rgba{v, v, v, 1.0f}; });
    int w = 0, h = 0, n = 0;
    std::vector<unsigned char> pixels = decodePng(encodePng(c, 3, true), w, h, n);
    ASSERT_EQ(n, 3);
    for (int bx = 0; bx < 64; bx += 4) {
        float sum = 0.0f, want = 0.0f;
        for (int y = 0; y < 4; ++y)
            for (int x = bx; x < bx + 4; ++x) {
                sum += pixels[(static_cast<size_t>(y) * w + x) * 3];
                want += 40.0f + (x + 0.5f) * 0.1f;
            }
        EXPECT_NEAR(sum / 16.0f, want / 16.0f, 0.2f) << "block at " << bx;
    }
}

TEST(masks, shape_coverage_adds_up_to_the_shape_area) {
    Mask circle = makeMask(100, 100);
    addCircle(circle, {50.3f, 49.7f}, 20.0f);
    EXPECT_NEAR(coverageSum(circle), kPi * 400.0f, kPi * 400.0f * 0.005f);

    Mask triangle = makeMask(100, 100);
    addPolygon(triangle, {{10.2f, 10.0f}, {90.0f, 20.5f}, {30.0f, 80.0f}});
    float area = 0.5f * std::fabs((90.0f - 10.2f) * (80.0f - 10.0f) - (30.0f - 10.2f) * (20.5f - 10.0f));
    EXPECT_NEAR(coverageSum(triangle), area, area * 0.005f);

    Mask box = makeMask(100, 100);
    addRect(box, {10.5f, 20.25f}, {60.5f, 40.25f});
    EXPECT_NEAR(coverageSum(box), 1000.0f, 5.0f);
}

TEST(masks, polygon_fill_follows_the_even_odd_rule) {
    // A five-pointed star drawn in one stroke leaves its pentagon centre empty.
    Mask star = makeMask(100, 100);
    std::vector<Vec2> points;
    for (int k = 0; k < 5; ++k) {
        float a = k * 4.0f * kPi / 5.0f - kPi / 2.0f;
        points.push_back({50.0f + 40.0f * std::cos(a), 50.0f + 40.0f * std::sin(a)});
    }
    addPolygon(star, points);
    EXPECT_FLOAT_EQ(star.coverage[50 * 100 + 50], 0.0f);
    EXPECT_FLOAT_EQ(star.coverage[static_cast<size_t>(15) * 100 + 50], 1.0f);  // inside the top point
}

TEST(text, drawn_text_stays_within_its_measured_width) {
    const Font& font = fonts().sansBold;
    Mask m = makeMask(400, 100);
    const float left = 30.0f, size = 48.0f;
    float width = textWidth(font, "greetings to", size);
    addText(m, font, "greetings to", {left, 70.0f}, size);
    int first = 400, last = -1;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 400; ++x)
            if (m.coverage[static_cast<size_t>(y) * 400 + x] > 0.0f) first = std::min(first, x), last = std::max(last, x);
    ASSERT_GE(last, 0) << "nothing was drawn";
    EXPECT_GE(first, left - 2.0f);
    EXPECT_LE(last, left + width + 2.0f);
    EXPECT_GT(last - first, width * 0.9f);
}

TEST(text, centred_and_turned_text_is_centred) {
    const Font& font = fonts().sansBold;
    for (float angle : {0.0f, -0.22f, 0.8f}) {
        Mask m = makeMask(400, 400);
        addTextRotated(m, font, "HOOH", {200.0f, 200.0f}, 60.0f, angle);
        double sx = 0.0, sy = 0.0, sum = 0.0;
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 400; ++x) {
                float c = m.coverage[static_cast<size_t>(y) * 400 + x];
                sx += c * (x + 0.5);
                sy += c * (y + 0.5);
                sum += c;
            }
        ASSERT_GT(sum, 0.0);
        EXPECT_NEAR(sx / sum, 200.0, 3.0) << "angle " << angle;
        EXPECT_NEAR(sy / sum, 200.0, 3.0) << "angle " << angle;
    }
}

TEST(noise, tiling_noise_repeats_across_its_period) {
    for (float y : {0.3f, 2.7f})
        for (float x = 0.0f; x < 8.0f; x += 0.37f) {
            EXPECT_NEAR(fbmWrapX(x, y, 1.0f, 8, 4), fbmWrapX(x + 8.0f, y, 1.0f, 8, 4), 1e-4f);
            EXPECT_NEAR(fbmWrapXY(x, y, 1.0f, 8, 4, 4), fbmWrapXY(x, y + 4.0f, 1.0f, 8, 4, 4), 1e-4f);
        }
}

// The baker keeps its own copy of stb_perlin's noise; one wrong table entry would change
// the baked images without failing anything else.
TEST(noise, is_stb_perlins_noise_bit_for_bit) {
    for (float z : {0.3f, -7.9f, 300.5f})
        for (float y = -40.0f; y < 40.0f; y += 1.37f)
            for (float x = -300.0f; x < 300.0f; x += 0.713f) {
                ASSERT_EQ(perlin(x, y, z), stb_perlin_noise3(x, y, z, 0, 0, 0)) << x << " " << y << " " << z;
                float octaves = stb_perlin_noise3(x, y, z, 8, 4, 0) + 0.5f * stb_perlin_noise3(x * 2, y * 2, z + 7.31f, 16, 8, 0);
                ASSERT_EQ(fbmWrapXY(x, y, z, 8, 4, 2), octaves / 1.5f) << x << " " << y << " " << z;
            }
}

TEST(downsampling, keeps_the_average_and_takes_no_colour_from_transparent_pixels) {
    Canvas c = makeCanvas(8, 8, Rgba{1.0f, 0.0f, 0.0f, 0.0f});  // transparent red
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x) pixelAt(c, x, y) = {0.0f, 0.0f, 1.0f, 1.0f};  // opaque blue left half
    Canvas small = downsampled(c, 6, 6);
    float alpha = 0.0f;
    for (const Rgba& p : small.pixels) alpha += p.a;
    EXPECT_NEAR(alpha / small.pixels.size(), 0.5f, 1e-4f);
    for (const Rgba& p : small.pixels)
        if (p.a > 0.0f) {
            EXPECT_NEAR(p.r, 0.0f, 1e-5f);
            EXPECT_NEAR(p.b, 1.0f, 1e-5f);
        }
}

TEST(canvas, faded_bands_end_in_the_edge_colour) {
    Canvas c = makeCanvas(16, 40, hex(0x808080));
    fadeTopAndBottom(c, hex(0x102030), 8);
    for (int x = 0; x < 16; ++x) {
        EXPECT_FLOAT_EQ(pixelAt(c, x, 0).g, hex(0x102030).g);
        EXPECT_FLOAT_EQ(pixelAt(c, x, 39).b, hex(0x102030).b);
        EXPECT_FLOAT_EQ(pixelAt(c, x, 20).r, hex(0x808080).r);
    }
}
