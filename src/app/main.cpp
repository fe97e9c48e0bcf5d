// Norrvale's entry point: opens the fullscreen window, builds every resource, starts
// the soundtrack and runs the timeline until it ends or the window is closed.
#include "app/preload.h"
#include "app/resources.h"
#include "app/timeline.h"
#include "gfx/gl.h"
#include "input/input.h"
#include "sound/irrklang.h"
#include <GLFW/glfw3.h>
#include <iostream>

// Created before main so the audio device is open by the time loading ends.
irrklang::ISoundEngine* soundEngine = irrklang::createIrrKlangDevice(
    irrklang::ESOD_AUTO_DETECT, irrklang::ESEO_DEFAULT_OPTIONS, nullptr, "1.6.0");

int main() {
    // The timeline's clock starts here: everything below counts against window 1.
    glfwInit();
    // The files are decoded and parsed on a second thread while the window is made.
    startResourcePreload();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);

    GLFWwindow* window = glfwCreateWindow(1920, 1080, "", glfwGetPrimaryMonitor(), nullptr);
    if (!window) {
        std::cout << "Failed to create GLFW window" << std::endl;
        stopPreload();
        glfwTerminate();
        return -1;
    }
    glfwMakeContextCurrent(window);
    glfwSetFramebufferSizeCallback(window, onFramebufferResize);
    glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);

    if (!gladLoadGL(glfwGetProcAddress)) {
        std::cout << "Failed to initialize GLAD" << std::endl;
        stopPreload();
        // Terminating undoes the fullscreen mode change before the process goes.
        glfwTerminate();
        return -1;
    }

    SceneResources res;
    LoopValues loop;
    buildSceneResources(res, loop);

    // Without an audio device the engine is null and the demo runs silently.
    if (soundEngine) {
        soundEngine->play2D("tessmer-trancedemo5.mp3", false, false, false,
                            irrklang::ESM_AUTO_DETECT, false);
    }

    LoopEnd how = runFrameLoop(window, res, loop);

    deleteShutdownGeometry(res.geometry, how);
    glfwTerminate();
    releaseSceneResources(res);
    return 0;
}
