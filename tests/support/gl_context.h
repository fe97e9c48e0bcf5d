// A real OpenGL 3.3 core context for tests: one hidden 1920 x 1080 GLFW window per
// test binary, made current and loaded through glad.
#pragma once
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <string>
#include <gtest/gtest.h>

// The shared window; created on first use and kept for the whole test binary.
GLFWwindow* testWindow();

// Base fixture: context current, GL errors cleared before and checked after the body.
struct GlTest : ::testing::Test {
    void SetUp() override;
    void TearDown() override;
};

// Drains and returns every pending GL error (GL_NO_ERROR when none).
GLenum takeGlError();

// Captures what the code under test prints on standard output.
struct StdoutCapture {
    void begin();
    std::string end();
};

// A scratch folder under the system temp dir, removed at destruction.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return path + "/" + name; }
};
void writeTextFile(const std::string& path, const std::string& text);
