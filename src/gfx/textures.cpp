// Image files to GL textures: the 2D loaders for pictures and model materials, and
// the six-face cube map loader for the skies.
#include "gfx/textures.h"
#include "app/preload.h"
#include "gfx/gl.h"

#include <algorithm>
#include <cassert>
#include <iostream>
#include <stb/stb_image.h>

namespace {

// The decoder's flip flag as the loaders last set it (stb's own default is off). stb has
// no way to read the flag back, and a prepared image is only used when it was decoded
// with the flag a decode here would have used.
bool flipOnLoad = false;

void setFlipOnLoad(bool flip) {
    stbi_set_flip_vertically_on_load(flip);
    flipOnLoad = flip;
}

// The image as stbi_load(path, ..., channels) would give it now, from the start-up
// preload when it prepared this one.
DecodedImage decodeImage(const std::string& path, int channels) {
    DecodedImage image;
    if (!takePreloadedImage(path, flipOnLoad, channels, image))
        image.pixels = stbi_load(path.c_str(), &image.width, &image.height, &image.channels, channels);
    return image;
}

// Pixel format by decoded channel count; stb_image only ever reports 1 to 4.
//                                   channels:  0  1       2      3       4
constexpr GLenum kFormatByChannels[] = {GL_NONE, GL_RED, GL_RG, GL_RGB, GL_RGBA};
static_assert(sizeof(kFormatByChannels) / sizeof(kFormatByChannels[0]) == 5,
              "one format per channel count 0..4");

// stb_image rows are tightly packed, while GL assumes 4-byte rows by default; an RGB
// or one-channel image whose row is not a multiple of 4 bytes would otherwise be read
// skewed and past its end. The caller's setting is put back afterwards.
void uploadPacked(GLenum target, GLenum format, int width, int height,
                  const unsigned char* pixels) {
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(target, 0, static_cast<GLint>(format), width, height, 0, format,
                 GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

// Decodes with whatever flip setting is current; on success leaves a mipmapped,
// repeating 2D texture bound. Returns false when the file could not be decoded.
bool decodeTexture2D(GLuint id, const std::string& path) {
    DecodedImage image = decodeImage(path, 0);
    if (!image.pixels)
        return false;
    assert(image.channels >= 1 && image.channels <= 4);
    GLenum format = kFormatByChannels[image.channels];

    glBindTexture(GL_TEXTURE_2D, id);
    uploadPacked(GL_TEXTURE_2D, format, image.width, image.height, image.pixels);
    glGenerateMipmap(GL_TEXTURE_2D);

    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    stbi_image_free(image.pixels);
    return true;
}

}  // namespace

unsigned loadTexture(const char* path) {
    GLuint id = 0;
    glGenTextures(1, &id);
    // GL puts the first row at the bottom, image files at the top.
    setFlipOnLoad(true);
    if (!decodeTexture2D(id, path))
        std::cout << "Texture failed to load at path: " << path << std::endl;
    return id;
}

unsigned loadModelTexture(const char* name, const std::string& directory) {
    GLuint id = 0;
    glGenTextures(1, &id);
    // The flip flag is left as the previous loader set it: the start-up order decides
    // how model textures come out.
    std::string path = directory + "/" + name;
    if (!decodeTexture2D(id, path))
        std::cout << "Texture failed to load at path: " << name << std::endl;
    return id;
}

unsigned loadCubemap(std::vector<std::string> faces) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
    // Cube map faces are addressed top row first, as the files store them.
    setFlipOnLoad(false);

    // A file named for several faces is decoded once and uploaded for each; a file that
    // fails is reported for every face that names it, as if each had tried.
    std::vector<DecodedImage> decoded(faces.size());
    for (size_t i = 0; i < faces.size(); ++i) {
        size_t first = 0;
        while (faces[first] != faces[i]) ++first;
        // Every face is uploaded as RGB, so the decoder is asked for exactly three
        // channels whatever the file holds; grey or alpha faces then come out right
        // instead of being read as packed three-byte pixels.
        if (first == i) decoded[i] = decodeImage(faces[i], 3);
        DecodedImage& image = decoded[first];
        if (image.pixels) {
            uploadPacked(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i), GL_RGB,
                         image.width, image.height, image.pixels);
        } else {
            std::cout << "Cubemap texture failed to load at path: " << faces[i] << std::endl;
        }
        if (std::find(faces.begin() + static_cast<long>(i) + 1, faces.end(), faces[i]) == faces.end()) {
            stbi_image_free(image.pixels);
            image.pixels = nullptr;
        }
    }

    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);

    faces.clear();
    faces.shrink_to_fit();
    return id;
}
