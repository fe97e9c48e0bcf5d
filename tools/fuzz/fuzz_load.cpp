// Loads one file the way the demo's set-up does, in a hidden window, and draws what came
// of it once, so that a damaged file meets the same code as in the demo: the decode-ahead
// worker and the model loader for a model (with its materials and textures), the texture
// and cube-map loaders for an image, the shader program for a pair of shader files.
// Run from a stage folder:
//   fuzz_load model imgs/donut4.obj
//   fuzz_load texture imgs/greet01.png | fuzz_load cubemap imgs/Tampere2.png
//   fuzz_load shader shdrs/6.5.skybox.vs shdrs/6.2.skybox.fs
// Exit status 0 when the loaders came back, whatever they printed; 2 for a bad command
// line or no GL context.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/gl.h"
#include <GLFW/glfw3.h>

#include "app/preload.h"
#include "gfx/shader_program.h"
#include "gfx/textures.h"
#include "model/model.h"

namespace {

// The program the demo draws the donut with; the model's own files are the damaged ones.
const char* const kModelVertexShader = "shdrs/1.3.model_loading.vs";
const char* const kModelFragmentShader = "shdrs/1.model_loading.fs";

GLFWwindow* openHiddenWindow() {
    if (!glfwInit()) return nullptr;
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "fuzz_load", nullptr, nullptr);
    if (!window) return nullptr;
    glfwMakeContextCurrent(window);
    if (!gladLoadGL(glfwGetProcAddress)) return nullptr;
    return window;
}

void drawModel(const char* path) {
    // As in the set-up: the worker imports the file ahead and the loader takes it over.
    startPreload({{PreloadStep::model, path, true, 0}});
    resumePreload();
    Model model(path);
    stopPreload();
    ShaderProgram program(kModelVertexShader, kModelFragmentShader);
    program.use();
    glEnable(GL_DEPTH_TEST);
    model.draw(program);
}

void bindTexture(unsigned texture, GLenum target) {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(target, texture);
}

void drawWithProgram(const char* vertexPath, const char* fragmentPath) {
    ShaderProgram program(vertexPath, fragmentPath);
    program.use();
    // Core profile draws nothing without a vertex array; the attributes read defaults.
    unsigned vao = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

}  // namespace

// The GL driver is unloaded at exit, and LeakSanitizer then cannot tell its allocations
// from ours: they come from "<unknown module>". Keeping every library loaded (the
// program's own dlclose wins over libc's) lets the suppressions name them.
extern "C" int dlclose(void*) { return 0; }

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fuzz_load model|texture|cubemap FILE, or shader VS FS\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "shader" && argc < 4) return 2;
    GLFWwindow* window = openHiddenWindow();
    if (!window) {
        std::fprintf(stderr, "fuzz_load: no GL 3.3 core context\n");
        return 2;
    }
    if (mode == "model") {
        drawModel(argv[2]);
    } else if (mode == "texture") {
        bindTexture(loadTexture(argv[2]), GL_TEXTURE_2D);
    } else if (mode == "cubemap") {
        bindTexture(loadCubemap(std::vector<std::string>(6, argv[2])), GL_TEXTURE_CUBE_MAP);
    } else if (mode == "shader") {
        drawWithProgram(argv[2], argv[3]);
    } else {
        std::fprintf(stderr, "fuzz_load: unknown mode %s\n", argv[1]);
        return 2;
    }
    glFinish();
    glfwTerminate();
    return 0;
}
