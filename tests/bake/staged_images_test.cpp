// The staged images as the demo's loaders read them: every file the resource set-up names
// decodes with the shape and channels it is drawn with; cube faces are square, RGB and equal
// within a cube map, and the faces of each sky meet at their seams.
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0, height = 0, channels = 0;
    std::vector<unsigned char> pixels;
};

// Decodes as the cube-map loader does: flip off, so row 0 is the file's top row.
Image decode(const std::string& file) {
    Image image;
    stbi_set_flip_vertically_on_load(0);
    unsigned char* data = stbi_load((std::string(BAKED_IMGS) + "/" + file).c_str(), &image.width, &image.height,
                                    &image.channels, 0);
    if (data != nullptr) {
        image.pixels.assign(data, data + static_cast<size_t>(image.width) * image.height * image.channels);
        stbi_image_free(data);
    }
    return image;
}

const Image& cached(const std::string& file) {
    static std::map<std::string, Image> images;
    auto it = images.find(file);
    if (it == images.end()) it = images.emplace(file, decode(file)).first;
    return it->second;
}

struct Colour {
    float r = 0, g = 0, b = 0;
};

Colour texel(const Image& image, int x, int y) {
    const unsigned char* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * image.channels];
    return {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
}

float difference(Colour a, Colour b) {
    return (std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b)) / 3.0f;
}

// What the demo draws each image on, and so the shape the image was designed for.
struct Designed {
    const char* file;
    int width, height, channels;
};

// Every sky face is at least 1024 wide: a face spans about 1300 screen pixels.
// file                       width height channels
const Designed kDesigned[] = {
    {"greet01.png",               384,   384, 4},
    {"greet02.png",               384,   384, 4},
    {"greet03.png",               384,   384, 4},
    {"greet04.png",               384,   384, 4},
    {"greet05.png",               384,   384, 4},
    {"greet06.png",               384,   384, 4},
    {"greet07.png",               384,   384, 4},
    {"greet08.png",               384,   384, 4},
    {"greet09.png",               384,   384, 4},
    {"greet10.png",               384,   384, 4},
    {"greet11.png",               384,   384, 4},
    {"greet12.png",               384,   384, 4},
    {"greet13.png",               960,   540, 3},
    {"officialmolvanian2.png",   1026,   429, 3},
    {"norrvalelogo2.png",        1024,  1024, 3},
    {"creditsb.png",             1024,  1024, 3},
    {"HelsinkiRight.png",        1024,  1024, 3},
    {"HelsinkiLeft.png",         1024,  1024, 3},
    {"HelsinkiTop.png",          1024,  1024, 3},
    {"HelsinkiBottom.png",       1024,  1024, 3},
    {"HelsinkiFront.png",        1024,  1024, 3},
    {"Helsinki1.png",            1024,  1024, 3},
    {"TwoShedCity1.png",         1024,  1024, 3},
    {"DuckCity2.2.png",          1024,  1024, 3},
    {"Tampere2.png",             1024,  1024, 3},
};
static_assert(sizeof kDesigned / sizeof kDesigned[0] == 25, "the demo loads 25 images");

// The cube maps of the resource set-up, faces in the loader's order +X, -X, +Y, -Y, +Z, -Z.
const std::vector<std::vector<std::string>> kCubeMaps = {
    {"HelsinkiRight.png", "HelsinkiLeft.png", "HelsinkiTop.png", "HelsinkiBottom.png", "HelsinkiFront.png", "Helsinki1.png"},
    std::vector<std::string>(6, "creditsb.png"),
    std::vector<std::string>(6, "norrvalelogo2.png"),
    std::vector<std::string>(6, "TwoShedCity1.png"),
    std::vector<std::string>(6, "DuckCity2.2.png"),
    std::vector<std::string>(6, "Tampere2.png"),
};

// The GL cube-map face table: the major axis with its sign, and the components (with signs)
// that give sc and tc; s = (sc / |ma| + 1) / 2, t = (tc / |ma| + 1) / 2.
struct FaceAxes {
    int major;
    float majorSign;
    int sAxis;
    float sSign;
    int tAxis;
    float tSign;
};

// major sign   sc          tc
const FaceAxes kFaceAxes[6] = {
    {0, +1.0f,  2, -1.0f,  1, -1.0f},  // +X: sc = -rz, tc = -ry
    {0, -1.0f,  2, +1.0f,  1, -1.0f},  // -X: sc = +rz, tc = -ry
    {1, +1.0f,  0, +1.0f,  2, +1.0f},  // +Y: sc = +rx, tc = +rz
    {1, -1.0f,  0, +1.0f,  2, -1.0f},  // -Y: sc = +rx, tc = -rz
    {2, +1.0f,  0, +1.0f,  1, -1.0f},  // +Z: sc = +rx, tc = -ry
    {2, -1.0f,  0, -1.0f,  1, -1.0f},  // -Z: sc = -rx, tc = -ry
};

struct Direction {
    float v[3];
};

// The direction through (s, t) of a face's plane; s and t may lie a little outside [0, 1].
Direction throughFace(int face, float s, float t) {
    const FaceAxes& f = kFaceAxes[face];
    Direction d{{0.0f, 0.0f, 0.0f}};
    d.v[f.major] = f.majorSign;
    d.v[f.sAxis] = f.sSign * (2.0f * s - 1.0f);
    d.v[f.tAxis] = f.tSign * (2.0f * t - 1.0f);
    return d;
}

// GL's face selection and texel lookup for a direction (nearest texel).
void lookUp(const Direction& d, int size, int& face, int& x, int& y) {
    int major = 0;
    for (int axis = 1; axis < 3; ++axis)
        if (std::fabs(d.v[axis]) > std::fabs(d.v[major])) major = axis;
    face = major * 2 + (d.v[major] < 0.0f ? 1 : 0);
    const FaceAxes& f = kFaceAxes[face];
    float ma = std::fabs(d.v[major]);
    float s = (f.sSign * d.v[f.sAxis] / ma + 1.0f) * 0.5f, t = (f.tSign * d.v[f.tAxis] / ma + 1.0f) * 0.5f;
    x = std::min(size - 1, std::max(0, static_cast<int>(s * size)));
    y = std::min(size - 1, std::max(0, static_cast<int>(t * size)));
}

struct SeamScore {
    float acrossSeams = 0.0f;  // mean difference between a face's edge texel and the texel GL samples next to it
    float insideFaces = 0.0f;  // mean difference between the same edge texel and the next texel inwards
};

SeamScore seamScore(const std::vector<std::string>& faces) {
    const int n = cached(faces[0]).width;
    double across = 0.0, inside = 0.0;
    int count = 0;
    for (int face = 0; face < 6; ++face) {
        const Image& image = cached(faces[face]);
        for (int edge = 0; edge < 4; ++edge)
            for (int k = 0; k < n; ++k) {
                // The edge texel, the texel inwards of it, and a point half a texel past the edge.
                int ex = edge == 0 ? 0 : edge == 1 ? n - 1 : k, ey = edge == 2 ? 0 : edge == 3 ? n - 1 : k;
                int ix = ex + (edge == 0 ? 1 : edge == 1 ? -1 : 0), iy = ey + (edge == 2 ? 1 : edge == 3 ? -1 : 0);
                float s = (ex + 0.5f) / n + (edge == 0 ? -1.0f : edge == 1 ? 1.0f : 0.0f) / n;
                float t = (ey + 0.5f) / n + (edge == 2 ? -1.0f : edge == 3 ? 1.0f : 0.0f) / n;
                int otherFace = 0, ox = 0, oy = 0;
                lookUp(throughFace(face, s, t), n, otherFace, ox, oy);
                Colour here = texel(image, ex, ey);
                across += difference(here, texel(cached(faces[otherFace]), ox, oy));
                inside += difference(here, texel(image, ix, iy));
                ++count;
            }
    }
    return {static_cast<float>(across / count), static_cast<float>(inside / count)};
}

}  // namespace

TEST(stagedImages, every_image_the_demo_loads_decodes_at_its_designed_size) {
    for (const Designed& d : kDesigned) {
        const Image& image = cached(d.file);
        ASSERT_FALSE(image.pixels.empty()) << d.file << " does not decode";
        EXPECT_EQ(image.width, d.width) << d.file;
        EXPECT_EQ(image.height, d.height) << d.file;
        EXPECT_EQ(image.channels, d.channels) << d.file;
    }
}

TEST(stagedImages, pictures_have_the_shape_of_the_quads_they_are_drawn_on) {
    // The opening picture quad covers 1.55 × 1.15 of half a 1920 × 1080 screen; the closing
    // logo covers half the screen each way; greeting quads are square.
    const Image& seal = cached("officialmolvanian2.png");
    EXPECT_NEAR(static_cast<float>(seal.width) / seal.height, (1.55f * 960.0f) / (1.15f * 540.0f), 0.03f);
    const Image& closing = cached("greet13.png");
    EXPECT_NEAR(static_cast<float>(closing.width) / closing.height, 960.0f / 540.0f, 0.01f);
    for (int i = 1; i <= 12; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "greet%02d.png", i);
        EXPECT_EQ(cached(name).width, cached(name).height) << name;
    }
}

TEST(stagedImages, cube_map_faces_are_square_rgb_and_equal_within_each_cube_map) {
    for (const auto& faces : kCubeMaps) {
        const Image& first = cached(faces[0]);
        for (const std::string& file : faces) {
            const Image& face = cached(file);
            ASSERT_FALSE(face.pixels.empty()) << file;
            // The loader uploads every face as three-byte pixels.
            EXPECT_EQ(face.channels, 3) << file;
            EXPECT_EQ(face.width, face.height) << file;
            EXPECT_EQ(face.width, first.width) << file << " differs in size from " << faces[0];
        }
    }
}

TEST(stagedImages, greeting_cards_are_cut_out_opaque_cards_all_different) {
    std::vector<std::vector<unsigned char>> seen;
    for (int i = 1; i <= 12; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "greet%02d.png", i);
        const Image& card = cached(name);
        ASSERT_EQ(card.channels, 4) << name;
        auto alpha = [&](int x, int y) { return card.pixels[(static_cast<size_t>(y) * card.width + x) * 4 + 3]; };
        EXPECT_EQ(alpha(0, 0), 0) << name;
        EXPECT_EQ(alpha(card.width - 1, card.height - 1), 0) << name;
        EXPECT_EQ(alpha(card.width / 2, card.height / 2), 255) << name;
        EXPECT_EQ(alpha(card.width / 2, 12), 255) << name;
        for (const auto& other : seen) EXPECT_FALSE(other == card.pixels) << name << " repeats an earlier card";
        seen.push_back(card.pixels);
    }
}

TEST(helsinkiSky, faces_meet_at_every_seam) {
    SeamScore score = seamScore(kCubeMaps[0]);
    // Across a seam the picture should change no more than it does from one texel to the
    // next inside a face; a face turned or mirrored the wrong way scores many times that.
    EXPECT_LT(score.acrossSeams, score.insideFaces * 1.5f + 1.0f)
        << "across " << score.acrossSeams << ", inside " << score.insideFaces;
}

TEST(helsinkiSky, the_seam_check_catches_faces_in_the_wrong_places) {
    // Left and right exchanged, as a mistake in the face order would do.
    std::vector<std::string> swapped = kCubeMaps[0];
    std::swap(swapped[0], swapped[1]);
    SeamScore right = seamScore(kCubeMaps[0]), wrong = seamScore(swapped);
    EXPECT_GT(wrong.acrossSeams, right.acrossSeams * 2.0f);
}

TEST(citySkies, repeated_faces_tile_sideways_and_fade_to_one_edge_colour) {
    for (const char* file : {"TwoShedCity1.png", "DuckCity2.2.png", "Tampere2.png"}) {
        const Image& image = cached(file);
        const int n = image.width;
        // Side faces join right edge to left edge: that seam should be no rougher than the
        // step between neighbouring columns.
        double wrap = 0.0, step = 0.0;
        for (int y = 0; y < n; ++y) {
            wrap += difference(texel(image, n - 1, y), texel(image, 0, y));
            step += difference(texel(image, 1, y), texel(image, 0, y));
        }
        EXPECT_LT(wrap / n, step / n * 1.5 + 1.0) << file;
        // Top and bottom edges meet other faces' top and bottom edges: one colour along both.
        Colour reference = texel(image, 0, 0);
        for (int x = 0; x < n; ++x) {
            EXPECT_LE(difference(texel(image, x, 0), reference), 1.0f) << file << " top row at " << x;
            EXPECT_LE(difference(texel(image, x, n - 1), reference), 1.0f) << file << " bottom row at " << x;
        }
    }
}

TEST(letteredSkies, faces_end_in_a_plain_border) {
    for (const char* file : {"norrvalelogo2.png", "creditsb.png"}) {
        const Image& image = cached(file);
        const int n = image.width;
        Colour reference = texel(image, 0, 0);
        for (int k = 0; k < n; ++k)
            for (auto [x, y] : {std::pair{k, 0}, std::pair{k, n - 1}, std::pair{0, k}, std::pair{n - 1, k}})
                ASSERT_LE(difference(texel(image, x, y), reference), 1.0f) << file << " at " << x << "," << y;
    }
}
