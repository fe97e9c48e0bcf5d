// What the page calls in the program besides main: the decoding ahead of the click, and
// the end of a run when the viewer leaves it by a way the program cannot see itself.
#include "app/resources.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <emscripten/emscripten.h>

// Decodes the images and parses the models of the set-up while the viewer has yet to
// press Play; the set-up then takes them as it would from the desktop's worker.
extern "C" EMSCRIPTEN_KEEPALIVE void norrvalePrepare() { startResourcePreload(); }

// The browser keeps the first Escape in fullscreen to leave fullscreen, and the page
// never sees the key: leaving fullscreen then closes the window as Escape would, and the
// frame loop ends at its next close test.
extern "C" EMSCRIPTEN_KEEPALIVE void norrvaleRequestClose() {
    if (GLFWwindow* window = glfwGetCurrentContext()) glfwSetWindowShouldClose(window, GLFW_TRUE);
}
