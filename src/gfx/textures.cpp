// Image files to GL textures: the 2D loaders for pictures and model materials, and
// the six-face cube map loader for the skies.
#include "gfx/textures.h"
#include "gfx/gl.h"

#include <cassert>
#include <iostream>
#include <stb/stb_image.h>

namespace {

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
bool decodeTexture2D(GLuint id, const char* path) {
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load(path, &width, &height, &channels, 0);
    if (!pixels)
        return false;
    assert(channels >= 1 && channels <= 4);
    GLenum format = kFormatByChannels[channels];

    glBindTexture(GL_TEXTURE_2D, id);
    uploadPacked(GL_TEXTURE_2D, format, width, height, pixels);
    glGenerateMipmap(GL_TEXTURE_2D);

    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    stbi_image_free(pixels);
    return true;
}

}  // namespace

unsigned loadTexture(const char* path) {
    GLuint id = 0;
    glGenTextures(1, &id);
    // GL puts the first row at the bottom, image files at the top.
    stbi_set_flip_vertically_on_load(true);
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
    if (!decodeTexture2D(id, path.c_str()))
        std::cout << "Texture failed to load at path: " << name << std::endl;
    return id;
}

unsigned loadCubemap(std::vector<std::string> faces) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
    // Cube map faces are addressed top row first, as the files store them.
    stbi_set_flip_vertically_on_load(false);

    for (size_t i = 0; i < faces.size(); ++i) {
        int width = 0, height = 0, channels = 0;
        // Every face is uploaded as RGB, so the decoder is asked for exactly three
        // channels whatever the file holds; grey or alpha faces then come out right
        // instead of being read as packed three-byte pixels.
        unsigned char* pixels = stbi_load(faces[i].c_str(), &width, &height, &channels, 3);
        if (pixels) {
            uploadPacked(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i), GL_RGB,
                         width, height, pixels);
            stbi_image_free(pixels);
        } else {
            std::cout << "Cubemap texture failed to load at path: " << faces[i] << std::endl;
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
