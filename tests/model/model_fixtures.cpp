// Shared helpers of the model tests: image files through stb's writer, a sampler
// program compiled here so the tests do not depend on the shader loader, and an FBO.
#include "model_fixtures.h"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

void writePng(const std::string& path, int width, int height, const std::vector<Rgba>& pixels) {
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(width * height));
    ASSERT_NE(stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4), 0)
        << "could not write " << path;
}

void writeSolidPng(const std::string& path, Rgba colour) {
    writePng(path, 2, 2, std::vector<Rgba>(4, colour));
}

namespace {

const char* const kVertexSource = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 2) in vec2 texCoords;
out vec2 uv;
void main() {
    uv = texCoords;
    gl_Position = vec4(position, 1.0);
}
)";

// Every sampler is weighted by a uniform so the compiler cannot drop any of them.
const char* const kFragmentSource = R"(#version 330 core
in vec2 uv;
out vec4 fragColour;
uniform sampler2D texture_diffuse1;
uniform sampler2D texture_diffuse2;
uniform sampler2D texture_specular1;
uniform sampler2D texture_normal1;
uniform sampler2D texture_height1;
uniform sampler2D shadowMap;
uniform float diffuseWeight;
uniform float otherWeight;
void main() {
    fragColour = texture(texture_diffuse1, uv) * diffuseWeight
               + (texture(texture_diffuse2, uv) + texture(texture_specular1, uv)
                  + texture(texture_normal1, uv) + texture(texture_height1, uv)
                  + texture(shadowMap, uv)) * otherWeight;
}
)";

unsigned compileStage(GLenum kind, const char* source) {
    unsigned shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    int ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
        ADD_FAILURE() << "test shader does not compile: " << log;
    }
    return shader;
}

}  // namespace

unsigned buildSamplerProgram() {
    unsigned vertex = compileStage(GL_VERTEX_SHADER, kVertexSource);
    unsigned fragment = compileStage(GL_FRAGMENT_SHADER, kFragmentSource);
    unsigned program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    int ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    EXPECT_TRUE(ok) << "test program does not link";
    return program;
}

int samplerUnit(unsigned program, const char* name) {
    int location = glGetUniformLocation(program, name);
    if (location < 0) return -1;
    int unit = -1;
    glGetUniformiv(program, location, &unit);
    return unit;
}

ColourTarget::ColourTarget(int width, int height) : width(width), height(height) {
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    glGenTextures(1, &colour);
    glBindTexture(GL_TEXTURE_2D, colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

ColourTarget::~ColourTarget() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &colour);
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
}

Rgba ColourTarget::pixel(int x, int y) const {
    Rgba value{};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &value);
    return value;
}
