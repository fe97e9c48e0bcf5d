// The preview's entry: a normal window playing the demo's frames from any demo time,
// with the music, steered from the keyboard (preview --help lists the keys).
#include "preview.h"
#include <GLFW/glfw3.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void onKey(GLFWwindow* window, int key, int, int action, int mods) {
    // Held arrows repeat, so that a long way can be travelled by holding one; the
    // switches do not.
    if (action == GLFW_RELEASE) return;
    if (action == GLFW_REPEAT && key != GLFW_KEY_LEFT && key != GLFW_KEY_RIGHT) return;
    // The brackets come as characters (onCharacter): on many layouts they are not keys
    // of their own.
    if (key == GLFW_KEY_LEFT_BRACKET || key == GLFW_KEY_RIGHT_BRACKET) return;
    auto* preview = static_cast<Preview*>(glfwGetWindowUserPointer(window));
    pressKey(*preview, key, mods);
}

void onCharacter(GLFWwindow* window, unsigned codepoint) {
    auto* preview = static_cast<Preview*>(glfwGetWindowUserPointer(window));
    if (codepoint == '[') pressKey(*preview, GLFW_KEY_LEFT_BRACKET, 0);
    if (codepoint == ']') pressKey(*preview, GLFW_KEY_RIGHT_BRACKET, 0);
}

double secondsSince(std::chrono::steady_clock::time_point& last) {
    auto now = std::chrono::steady_clock::now();
    double seconds = std::chrono::duration<double>(now - last).count();
    last = now;
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    PreviewOptions options;
    options.stageDir = PREVIEW_DEFAULT_STAGE;
    std::string error;
    if (!parsePreviewOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "preview: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(previewUsage().c_str(), stdout);
        return 0;
    }
    if (!glfwInit()) {
        std::fprintf(stderr, "preview: no display to show a window on; `make stills` renders "
                             "single frames and `make video` the whole demo without one\n");
        return 1;
    }
    // The demo reads its files relative to its working folder; a shader folder given on
    // the command line means what it said here.
    if (!options.shaderDir.empty())
        options.shaderDir = fs::absolute(options.shaderDir).lexically_normal().string();
    if (chdir(options.stageDir.c_str()) != 0) {
        std::fprintf(stderr, "preview: cannot enter the stage folder %s\n", options.stageDir.c_str());
        return 1;
    }

    static Preview preview;  // large; and the key callback reaches it through the window
    if (!startPreview(preview, options, error)) {
        std::fprintf(stderr, "preview: %s\n", error.c_str());
        glfwTerminate();
        return 1;
    }
    glfwSetWindowUserPointer(preview.demo.window, &preview);
    glfwSetKeyCallback(preview.demo.window, onKey);
    glfwSetCharCallback(preview.demo.window, onCharacter);

    auto last = std::chrono::steady_clock::now();
    while (!glfwWindowShouldClose(preview.demo.window)) {
        // Paused, nothing moves but the shader files: no need to spin.
        if (preview.clock.paused) glfwWaitEventsTimeout(0.05);
        else glfwPollEvents();
        double seconds = secondsSince(last);
        // A seek or a reload, and the frames leading up to the new instant, take a
        // while; that is not time played.
        const bool settling = preview.clock.jumped || preview.redraw;
        tickPreview(preview, seconds);
        if (settling) secondsSince(last);
        presentPreview(preview, seconds);
    }
    endPreview(preview);
    glfwTerminate();
    return 0;
}
