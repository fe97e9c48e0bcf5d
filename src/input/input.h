// The demo's only inputs: Escape ends the run, a new framebuffer size resets the viewport.
#pragma once

struct GLFWwindow;

void handleKeys(GLFWwindow* window);
void onFramebufferResize(GLFWwindow* window, int width, int height);
