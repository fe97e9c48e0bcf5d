// Escape polling and the framebuffer-size callback.
#include "input/input.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>

void handleKeys(GLFWwindow* window) {
    if (glfwGetKey(window, GLFW_KEY_ESCAPE) == GLFW_PRESS) glfwSetWindowShouldClose(window, GLFW_TRUE);
}

// Only the viewport follows the window: every scene keeps its fixed 16:9 projection.
void onFramebufferResize(GLFWwindow*, int width, int height) {
    glViewport(0, 0, width, height);
}
