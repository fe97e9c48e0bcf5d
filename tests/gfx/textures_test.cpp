// Image loading against the real driver: small PNGs written on the spot, loaded,
// and read back from the GL texture they became.
#include "gfx/textures.h"

#include "app/preload.h"
#include "gl_context.h"
#include "gl_recorder.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <string>
#include <vector>

namespace {

using Pixels = std::vector<std::uint8_t>;

struct Image {
    int width = 0, height = 0, channels = 0;
    Pixels pixels;  // top row first, as the file stores it
};

// Every byte differs from its neighbours, so a swapped row, a shifted row or a
// dropped channel all show.
Image patternImage(int width, int height, int channels, int seed) {
    Image image{width, height, channels, {}};
    for (int i = 0; i < width * height * channels; ++i)
        image.pixels.push_back(static_cast<std::uint8_t>(seed + 37 * i + (i * i) % 11));
    return image;
}

void writePng(const std::string& path, const Image& image) {
    ASSERT_NE(stbi_write_png(path.c_str(), image.width, image.height, image.channels,
                             image.pixels.data(), image.width * image.channels),
              0);
}

Image flipped(const Image& image) {
    Image result = image;
    size_t row = static_cast<size_t>(image.width * image.channels);
    for (int y = 0; y < image.height; ++y)
        std::copy_n(image.pixels.begin() + static_cast<long>(y * row), row,
                    result.pixels.begin() + static_cast<long>((image.height - 1 - y) * row));
    return result;
}

// What the decoder makes of an image when asked for three channels: grey is spread
// over all three, alpha is dropped.
Pixels asRgb(const Image& image) {
    Pixels rgb;
    for (int p = 0; p < image.width * image.height; ++p) {
        const std::uint8_t* in = &image.pixels[static_cast<size_t>(p * image.channels)];
        if (image.channels <= 2)
            rgb.insert(rgb.end(), {in[0], in[0], in[0]});
        else
            rgb.insert(rgb.end(), {in[0], in[1], in[2]});
    }
    return rgb;
}

GLenum formatFor(int channels) {
    const GLenum formats[] = {GL_NONE, GL_RED, GL_RG, GL_RGB, GL_RGBA};
    return formats[channels];
}

// Reads one level of a bound texture target, rows packed tightly.
Pixels readBack(GLenum target, GLenum format, int width, int height, int components) {
    Pixels pixels(static_cast<size_t>(width * height * components), 0);
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    return pixels;
}

GLint levelParameter(GLenum target, int level, GLenum name) {
    GLint value = -1;
    glGetTexLevelParameteriv(target, level, name, &value);
    return value;
}

GLint textureParameter(GLenum target, GLenum name) {
    GLint value = -1;
    glGetTexParameteriv(target, name, &value);
    return value;
}

// Bits per red, green, blue and alpha of a texture level.
std::vector<GLint> componentSizes(GLenum target) {
    return {levelParameter(target, 0, GL_TEXTURE_RED_SIZE),
            levelParameter(target, 0, GL_TEXTURE_GREEN_SIZE),
            levelParameter(target, 0, GL_TEXTURE_BLUE_SIZE),
            levelParameter(target, 0, GL_TEXTURE_ALPHA_SIZE)};
}

GLuint boundTexture(GLenum binding) {
    GLint name = 0;
    glGetIntegerv(binding, &name);
    return static_cast<GLuint>(name);
}

const std::string kTextureFailure = "Texture failed to load at path: ";
const std::string kCubemapFailure = "Cubemap texture failed to load at path: ";

struct ImageFixture : GlTest {
    TempDir dir;
    StdoutCapture output;

    std::string png(const std::string& name, const Image& image) {
        writePng(dir.file(name), image);
        return dir.file(name);
    }

    void TearDown() override {
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        GlTest::TearDown();
    }

    // Loads an image with the given channel count and checks its format and pixels.
    void expectUploadedAs(int channels, const std::vector<GLint>& sizes) {
        // Odd width: the rows are not a multiple of four bytes for 1 to 3 channels.
        Image image = patternImage(3, 3, channels, 10 * channels);
        std::string path = png("c" + std::to_string(channels) + ".png", image);

        GLuint id = loadTexture(path.c_str());
        ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_2D), id);
        EXPECT_EQ(componentSizes(GL_TEXTURE_2D), sizes) << channels << " channels";
        EXPECT_EQ(readBack(GL_TEXTURE_2D, formatFor(channels), 3, 3, channels),
                  flipped(image).pixels)
            << channels << " channels";
    }
};

// One suite per loader, sharing the scratch folder and the capture.
struct texture2d : ImageFixture {};
struct modelTexture : ImageFixture {};
struct cubemap : ImageFixture {};

}  // namespace

// ---------------------------------------------------------------------------------
// loadTexture

TEST_F(texture2d, missing_image_reports_its_path_and_still_names_a_texture) {
    GLuint previous = 0;
    glGenTextures(1, &previous);
    glBindTexture(GL_TEXTURE_2D, previous);
    std::string path = dir.file("absent.png");

    output.begin();
    GLuint id = loadTexture(path.c_str());
    EXPECT_EQ(output.end(), kTextureFailure + path + "\n");

    EXPECT_NE(id, 0u);
    EXPECT_NE(id, previous);
    // Nothing is bound or uploaded for a failed image.
    EXPECT_EQ(boundTexture(GL_TEXTURE_BINDING_2D), previous);
    EXPECT_EQ(glIsTexture(id), GL_FALSE);
}

TEST_F(texture2d, image_is_flipped_with_the_first_row_at_the_bottom) {
    Image image = patternImage(2, 2, 3, 5);
    GLuint id = loadTexture(png("a.png", image).c_str());
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_2D), id);
    EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGB, 2, 2, 3), flipped(image).pixels);
}

TEST_F(texture2d, texture_is_mipmapped_and_repeats) {
    GLuint id = loadTexture(png("a.png", patternImage(4, 4, 4, 2)).c_str());
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_2D), id);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH), 2);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 2, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
}

TEST_F(texture2d, grey_image_uploads_as_red) {
    expectUploadedAs(1, {8, 0, 0, 0});
}

TEST_F(texture2d, grey_alpha_image_uploads_as_rg) {
    expectUploadedAs(2, {8, 8, 0, 0});
}

TEST_F(texture2d, rgb_image_with_odd_rows_uploads_intact) {
    expectUploadedAs(3, {8, 8, 8, 0});
}

TEST_F(texture2d, rgba_image_keeps_its_alpha) {
    expectUploadedAs(4, {8, 8, 8, 8});
}

TEST_F(texture2d, loaders_leave_the_unpack_alignment_as_found) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    loadTexture(png("a.png", patternImage(3, 3, 3, 1)).c_str());
    loadCubemap(std::vector<std::string>(6, png("b.png", patternImage(3, 3, 3, 2))));
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

// ---------------------------------------------------------------------------------
// loadModelTexture and the shared flip flag

TEST_F(modelTexture, loaded_after_a_cubemap_is_not_flipped) {
    Image image = patternImage(2, 2, 3, 7);
    png("wood.png", image);
    loadCubemap(std::vector<std::string>(6, png("sky.png", patternImage(2, 2, 3, 1))));

    GLuint id = loadModelTexture("wood.png", dir.path);
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_2D), id);
    EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGB, 2, 2, 3), image.pixels);
}

TEST_F(modelTexture, loaded_after_a_2d_texture_is_flipped) {
    Image image = patternImage(2, 2, 3, 7);
    png("wood.png", image);
    loadTexture(png("logo.png", patternImage(2, 2, 3, 1)).c_str());

    GLuint id = loadModelTexture("wood.png", dir.path);
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_2D), id);
    EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGB, 2, 2, 3), flipped(image).pixels);
}

TEST_F(modelTexture, name_is_joined_to_the_folder_with_one_slash) {
    std::filesystem::create_directories(dir.file("maps"));
    Image image = patternImage(2, 2, 4, 3);
    png("maps/wood.png", image);

    output.begin();
    GLuint id = loadModelTexture("maps/wood.png", dir.path);
    EXPECT_EQ(output.end(), "");
    EXPECT_EQ(boundTexture(GL_TEXTURE_BINDING_2D), id);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 2);
    EXPECT_EQ(componentSizes(GL_TEXTURE_2D), (std::vector<GLint>{8, 8, 8, 8}));
}

TEST_F(modelTexture, missing_file_reports_the_material_name_only) {
    output.begin();
    GLuint id = loadModelTexture("absent.png", dir.path);
    EXPECT_EQ(output.end(), kTextureFailure + "absent.png\n");
    EXPECT_NE(id, 0u);
}

// ---------------------------------------------------------------------------------
// loadCubemap

TEST_F(cubemap, faces_land_in_order_unflipped) {
    // A 2D texture first turns the flip on; the cube map must turn it off again.
    loadTexture(png("logo.png", patternImage(2, 2, 3, 1)).c_str());
    std::vector<std::string> faces;
    std::vector<Image> images;
    for (int i = 0; i < 6; ++i) {
        images.push_back(patternImage(3, 3, 3, 40 * i + 1));
        faces.push_back(png("face" + std::to_string(i) + ".png", images.back()));
    }

    output.begin();
    GLuint id = loadCubemap(faces);
    EXPECT_EQ(output.end(), "");
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_CUBE_MAP), id);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(readBack(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i), GL_RGB, 3, 3, 3),
                  images[static_cast<size_t>(i)].pixels)
            << "face " << i;
}

TEST_F(cubemap, four_channel_face_uploads_as_rgb) {
    Image rgba = patternImage(3, 3, 4, 9);
    std::vector<std::string> faces(6, png("rgb.png", patternImage(3, 3, 3, 2)));
    faces[2] = png("rgba.png", rgba);

    GLuint id = loadCubemap(faces);
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_CUBE_MAP), id);
    EXPECT_EQ(readBack(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_RGB, 3, 3, 3), asRgb(rgba));
    EXPECT_EQ(levelParameter(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, 0, GL_TEXTURE_ALPHA_SIZE), 0);
}

TEST_F(cubemap, grey_faces_upload_as_rgb) {
    Image grey = patternImage(3, 3, 1, 4);
    Image greyAlpha = patternImage(3, 3, 2, 6);
    std::vector<std::string> faces(6, png("rgb.png", patternImage(3, 3, 3, 2)));
    faces[0] = png("grey.png", grey);
    faces[5] = png("grey_alpha.png", greyAlpha);

    GLuint id = loadCubemap(faces);
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_CUBE_MAP), id);
    EXPECT_EQ(readBack(GL_TEXTURE_CUBE_MAP_POSITIVE_X, GL_RGB, 3, 3, 3), asRgb(grey));
    EXPECT_EQ(readBack(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, GL_RGB, 3, 3, 3), asRgb(greyAlpha));
}

TEST_F(cubemap, missing_face_is_named_once_and_the_rest_upload) {
    std::vector<std::string> faces(6, png("rgb.png", patternImage(3, 3, 3, 2)));
    faces[3] = dir.file("absent.png");

    output.begin();
    GLuint id = loadCubemap(faces);
    EXPECT_EQ(output.end(), kCubemapFailure + faces[3] + "\n");
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_CUBE_MAP), id);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(levelParameter(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i), 0,
                                 GL_TEXTURE_WIDTH),
                  i == 3 ? 0 : 3)
            << "face " << i;
}

TEST_F(cubemap, one_missing_file_named_six_times_is_reported_six_times_and_uploads_nothing) {
    std::vector<std::string> faces(6, dir.file("absent.png"));

    output.begin();
    startRecording();
    loadCubemap(faces);
    std::vector<GlCall> calls = stopRecording();
    std::string expected;
    for (int i = 0; i < 6; ++i) expected += kCubemapFailure + faces[0] + "\n";
    EXPECT_EQ(output.end(), expected);
    EXPECT_TRUE(callsNamed(calls, "glTexImage2D").empty());
}

TEST_F(cubemap, file_named_for_every_face_uploads_six_images_in_face_order) {
    Image image = patternImage(5, 5, 3, 7);
    startRecording();
    loadCubemap(std::vector<std::string>(6, png("same.png", image)));
    std::vector<GlCall> uploads = callsNamed(stopRecording(), "glTexImage2D");
    ASSERT_EQ(uploads.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(uploads[i].ints[0], static_cast<long long>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i));
        EXPECT_EQ(readBack(static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i), GL_RGB, 5, 5, 3),
                  image.pixels)
            << "face " << i;
    }
}

TEST_F(cubemap, repeated_face_between_other_files_lands_on_each_of_its_faces) {
    Image a = patternImage(3, 3, 3, 11), b = patternImage(3, 3, 3, 99);
    std::string pathA = png("a.png", a), pathB = png("b.png", b);
    loadCubemap({pathA, pathB, pathA, pathB, pathB, pathA});
    const Image* expected[6] = {&a, &b, &a, &b, &b, &a};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(readBack(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i), GL_RGB, 3, 3, 3),
                  expected[i]->pixels)
            << "face " << i;
}

TEST_F(cubemap, samples_linear_clamped_without_mipmaps) {
    GLuint id = loadCubemap(std::vector<std::string>(6, png("rgb.png", patternImage(4, 4, 3, 2))));
    ASSERT_EQ(boundTexture(GL_TEXTURE_BINDING_CUBE_MAP), id);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(levelParameter(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 1, GL_TEXTURE_WIDTH), 0);
}

// ---------------------------------------------------------------------------------
// The loaders with the start-up preload running: what they get from the worker is what
// they would have decoded themselves, and only when the worker decoded it that way.

struct preloadedTexture : ImageFixture {
    void TearDown() override {
        stopPreload();
        ImageFixture::TearDown();
    }
};

TEST_F(preloadedTexture, planned_with_the_flip_the_loader_sets_comes_out_as_without_a_worker) {
    Image image = patternImage(3, 3, 4, 21);
    std::string path = png("logo.png", image);
    startPreload({{PreloadStep::image, path, true, 0}});
    waitForPreloadWorker();
    loadTexture(path.c_str());
    EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGBA, 3, 3, 4), flipped(image).pixels);
    DecodedImage again;
    EXPECT_FALSE(takePreloadedImage(path, true, 0, again)) << "the loader took the prepared copy";
}

TEST_F(preloadedTexture, planned_with_another_flip_or_channel_count_is_not_used) {
    Image image = patternImage(3, 3, 4, 23);
    std::string path = png("logo.png", image);
    // Planned as a cube face would decode it: unflipped, three channels.
    startPreload({{PreloadStep::image, path, false, 3}});
    waitForPreloadWorker();
    loadTexture(path.c_str());
    EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGBA, 3, 3, 4), flipped(image).pixels);
    // The prepared copy is still there for the loader it was meant for.
    DecodedImage prepared;
    ASSERT_TRUE(takePreloadedImage(path, false, 3, prepared));
    EXPECT_EQ(prepared.channels, 4);  // the file's own count, as stbi_load reports it
    EXPECT_NE(prepared.pixels, nullptr);
    stbi_image_free(prepared.pixels);
}

TEST_F(preloadedTexture, model_texture_takes_the_flip_the_previous_loader_left) {
    Image image = patternImage(3, 3, 3, 25);
    std::string path = png("skin.png", image);
    // Planned flipped, as after the logos; a cube map just turned the flag off, so the
    // prepared copy must not be used.
    startPreload({{PreloadStep::image, path, true, 0}});
    waitForPreloadWorker();
    loadCubemap(std::vector<std::string>(6, path));
    loadModelTexture("skin.png", dir.path);
    EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGB, 3, 3, 3), image.pixels);
}

TEST_F(preloadedTexture, missing_file_is_reported_by_the_loader_as_without_a_worker) {
    std::string path = dir.file("absent.png");
    startPreload({{PreloadStep::image, path, true, 0}});
    waitForPreloadWorker();
    output.begin();
    EXPECT_NE(loadTexture(path.c_str()), 0u);
    EXPECT_EQ(output.end(), kTextureFailure + path + "\n");
}

TEST_F(preloadedTexture, worker_waits_at_a_pause_until_resumed) {
    std::string before = png("before.png", patternImage(2, 2, 3, 1));
    std::string held = png("held.png", patternImage(2, 2, 3, 2));
    std::string after = png("after.png", patternImage(2, 2, 3, 3));
    startPreload({{PreloadStep::image, before, false, 3},
                  {PreloadStep::pause, "", false, 0},
                  {PreloadStep::image, held, false, 3},
                  {PreloadStep::image, after, false, 3}});
    // Never reached while the worker is held, so it is left to the caller.
    DecodedImage image;
    EXPECT_FALSE(takePreloadedImage(held, false, 3, image));
    resumePreload();
    waitForPreloadWorker();
    ASSERT_TRUE(takePreloadedImage(after, false, 3, image));
    EXPECT_EQ(image.width, 2);
    stbi_image_free(image.pixels);
}
