// The test context: a real GLFW window (hidden) with a 3.3 core context, loaded once
// per test binary, plus small helpers for output capture and scratch files.
#include "gl_context.h"
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

GLFWwindow* testWindow() {
    static GLFWwindow* window = [] {
        glfwSetErrorCallback([](int code, const char* text) {
            std::fprintf(stderr, "GLFW error 0x%x: %s\n", code, text);
        });
        if (!glfwInit()) return static_cast<GLFWwindow*>(nullptr);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        GLFWwindow* w = glfwCreateWindow(1920, 1080, "norrvale tests", nullptr, nullptr);
        if (!w) return w;
        glfwMakeContextCurrent(w);
        if (!gladLoadGL(glfwGetProcAddress)) return static_cast<GLFWwindow*>(nullptr);
        return w;
    }();
    return window;
}

GLenum takeGlError() {
    GLenum first = GL_NO_ERROR;
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError()) {
        if (first == GL_NO_ERROR) first = e;
    }
    return first;
}

void GlTest::SetUp() {
    ASSERT_NE(testWindow(), nullptr) << "no GL 3.3 core context (run the tests under xvfb-run)";
    glfwMakeContextCurrent(testWindow());
    takeGlError();
}

void GlTest::TearDown() {
    if (testWindow()) EXPECT_EQ(takeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

namespace {
int savedStdout = -1;
std::string captureFile;
}

void StdoutCapture::begin() {
    std::cout.flush();
    std::fflush(stdout);
    captureFile = (std::filesystem::temp_directory_path() /
                   ("norrvale-stdout-" + std::to_string(getpid()))).string();
    savedStdout = dup(STDOUT_FILENO);
    std::FILE* f = std::freopen(captureFile.c_str(), "w", stdout);
    (void)f;
}

std::string StdoutCapture::end() {
    std::cout.flush();
    std::fflush(stdout);
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    savedStdout = -1;
    std::ifstream in(captureFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::remove(captureFile.c_str());
    return text.str();
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "norrvale-test-XXXXXX").string();
    path = mkdtemp(pattern.data()) ? pattern : std::string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

void writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}
