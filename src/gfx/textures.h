// Image files to GL textures through stb_image. The decoder's vertical-flip flag is
// process-wide: loadTexture turns it on, loadCubemap off, loadModelTexture leaves it.
#pragma once
#include <string>
#include <vector>

// A mipmapped, repeating 2D texture. On a decoding failure the name is still returned.
unsigned loadTexture(const char* path);

// A cube map from six faces in the order +X, -X, +Y, -Y, +Z, -Z.
unsigned loadCubemap(std::vector<std::string> faces);

// A 2D texture named by a model's material, read from directory + "/" + name.
unsigned loadModelTexture(const char* name, const std::string& directory);
