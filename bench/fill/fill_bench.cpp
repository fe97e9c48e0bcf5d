// What the driver itself costs per frame at 1920 x 1080, so the demo's frame times can be
// read against it: the clear and the present alone, then one full-screen layer drawn as
// the demo's sky and picture shaders draw theirs (flat, a cube map magnified as the 45
// degree skies are, a mipmapped 2D texture with and without its level of detail), each
// in a window opened as the demo opens it, depth test on. Recipes take turns in blocks
// of frames, so a drift in the machine's speed falls on all of them alike. The first
// frame of each recipe is when the driver compiles its program: it is timed with the
// shader cache off, as on a first viewing.
//   xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" build/bench/fill/bench_fill
#include "frame_stats.h"
#include <glad/gl.h>
#include <GLFW/glfw3.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kFramesPerBlock = 10, kRounds = 12;

// One triangle covering the screen at depth 0.5; a direction through each pixel as a
// 45 degree, 16:9 camera sees it, and the screen position.
const char* const kVertexShader = R"(#version 330 core
out vec2 screen;
out vec3 direction;
void main()
{
    vec2 corner = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    screen = corner * 0.5 + 0.5;
    direction = vec3(corner * vec2(0.7363843, 0.4142136), -1.0);   // tan 22.5 deg times 16:9, tan 22.5 deg
    gl_Position = vec4(corner, 0.5, 1.0);
}
)";

struct Recipe {
    const char* what;
    const char* body;       // fragment shader main(); none for clear and present alone
};

const Recipe kRecipes[] = {
    {"clear and present, nothing drawn",                nullptr},
    {"+ one full-screen layer, constant colour",        "colour = vec4(0.2, 0.3, 0.4, 1.0);"},
    {"+ one full-screen cube-map sky, 1024^2, 45 deg",  "colour = vec4(texture(sky, direction).rgb, 1.0);"},
    {"+ one full-screen 2D texture, mipmapped",         "colour = vec4(texture(picture, screen * vec2(1.875, 1.05)).rgb, 1.0);"},
    {"+ one full-screen 2D texture, base level only",   "colour = vec4(textureLod(picture, screen * vec2(1.875, 1.05), 0.0).rgb, 1.0);"},
};
constexpr int kRecipeCount = sizeof kRecipes / sizeof kRecipes[0];

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

GLuint compile(GLenum stage, const std::string& source) {
    GLuint shader = glCreateShader(stage);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024];
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "bench_fill: shader: %s\n", log);
    }
    return shader;
}

GLuint program(const char* body) {
    std::string fragment = "#version 330 core\nin vec2 screen;\nin vec3 direction;\nout vec4 colour;\n"
                           "uniform samplerCube sky;\nuniform sampler2D picture;\nvoid main() { ";
    GLuint p = glCreateProgram();
    glAttachShader(p, compile(GL_VERTEX_SHADER, kVertexShader));
    glAttachShader(p, compile(GL_FRAGMENT_SHADER, fragment + body + " }\n"));
    glLinkProgram(p);
    glUseProgram(p);
    glUniform1i(glGetUniformLocation(p, "sky"), 0);
    glUniform1i(glGetUniformLocation(p, "picture"), 1);
    return p;
}

// Textures shaped as the demo's: RGB cube faces of 1024 with linear filtering and no
// mipmaps, and a mipmapped, repeating RGB picture. Their content is noise, so no two
// neighbouring texels share a cache line's worth of sameness.
void makeTextures() {
    std::vector<unsigned char> texels(1024 * 1024 * 3);
    unsigned state = 12345u;
    for (unsigned char& t : texels) t = static_cast<unsigned char>((state = state * 1664525u + 1013904223u) >> 24);
    GLuint sky = 0, picture = 0;
    glGenTextures(1, &sky);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, sky);
    for (int face = 0; face < 6; ++face)
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGB, 1024, 1024, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     texels.data());
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glGenTextures(1, &picture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, picture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1024, 1024, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

double frameMs(GLFWwindow* window, GLuint p) {
    double start = nowMs();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (p) {
        glUseProgram(p);
        glDrawArrays(GL_TRIANGLES, 0, 3);
    }
    glfwSwapBuffers(window);
    glfwPollEvents();
    return nowMs() - start;
}

} // namespace

int main() {
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    if (!glfwInit()) {
        std::fprintf(stderr, "bench_fill: no display (run under xvfb-run)\n");
        return 1;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* window = glfwCreateWindow(kWidth, kHeight, "bench_fill", glfwGetPrimaryMonitor(), nullptr);
    if (!window) {
        std::fprintf(stderr, "bench_fill: no OpenGL 3.3 window\n");
        return 1;
    }
    glfwMakeContextCurrent(window);
    gladLoadGL(glfwGetProcAddress);
    glEnable(GL_DEPTH_TEST);
    makeTextures();
    GLuint vertexArray = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    for (int i = 0; i < 3; ++i) frameMs(window, 0);   // the window's own first frames

    GLuint programs[kRecipeCount] = {};
    double firstMs[kRecipeCount] = {};
    for (int r = 0; r < kRecipeCount; ++r) {
        if (kRecipes[r].body) programs[r] = program(kRecipes[r].body);
        firstMs[r] = frameMs(window, programs[r]);
    }
    std::vector<double> times[kRecipeCount];
    for (int round = 0; round < kRounds; ++round)
        for (int r = 0; r < kRecipeCount; ++r)
            for (int f = 0; f < kFramesPerBlock; ++f) times[r].push_back(frameMs(window, programs[r]));

    std::printf("driver cost per frame at %d x %d, %s, %d frames each in blocks of %d taking turns\n", kWidth,
                kHeight, reinterpret_cast<const char*>(glGetString(GL_RENDERER)), kFramesPerBlock * kRounds,
                kFramesPerBlock);
    std::printf("  %-50s %8s %8s %8s %14s\n", "recipe", "median", "p10", "p90", "first (compile)");
    for (int r = 0; r < kRecipeCount; ++r)
        std::printf("  %-50s %8.2f %8.2f %8.2f %14.1f\n", kRecipes[r].what, percentile(times[r], 50.0),
                    percentile(times[r], 10.0), percentile(times[r], 90.0), firstMs[r]);
    glfwTerminate();
    return 0;
}
