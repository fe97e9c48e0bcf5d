/* Preloaded into the demo binary by the process tests: moves and speeds up the GLFW
   clock or holds it where the program last set it, can press Escape after some frames or withhold GL entry points, keeps libraries
   loaded for the leak checker, and reports the presented frames when the process ends. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

typedef struct GLFWwindow GLFWwindow;
typedef void (*GLFWglproc)(void);

static double envNumber(const char* name, double fallback) {
    const char* text = getenv(name);
    return text ? atof(text) : fallback;
}

/* Only a process that called into GLFW reports: timeout and the shell also load the shim. */
static int usedByGlfwProgram = 0;
static int swaps = 0;
static double lastFrameTime = -1.0;
static double lastTime = -1.0;

/* SHIM_CLOCK_HOLD: the scenes read the clock afresh while a frame is drawn, so a tool
   that sets the time before each frame still draws a slightly different picture on every
   run; held, the same frame comes out the same on any machine. */
static double heldTime = 0.0;

void glfwSetTime(double time) {
    static void (*real)(double) = 0;
    if (!real) real = (void (*)(double))dlsym(RTLD_NEXT, "glfwSetTime");
    usedByGlfwProgram = 1;
    heldTime = time;
    real(time);
}

double glfwGetTime(void) {
    static double (*real)(void) = 0;
    static double firstReal = -1.0;
    if (!real) real = (double (*)(void))dlsym(RTLD_NEXT, "glfwGetTime");
    usedByGlfwProgram = 1;
    if (getenv("SHIM_CLOCK_HOLD")) return heldTime;
    double now = real();
    if (firstReal < 0.0) firstReal = now;
    lastTime = envNumber("SHIM_CLOCK_START", 0.0) + (now - firstReal) * envNumber("SHIM_CLOCK_SCALE", 1.0);
    return lastTime;
}

void glfwSwapBuffers(GLFWwindow* window) {
    static void (*real)(GLFWwindow*) = 0;
    if (!real) real = (void (*)(GLFWwindow*))dlsym(RTLD_NEXT, "glfwSwapBuffers");
    usedByGlfwProgram = 1;
    ++swaps;
    lastFrameTime = lastTime;
    real(window);
}

int glfwGetKey(GLFWwindow* window, int key) {
    static int (*real)(GLFWwindow*, int) = 0;
    if (!real) real = (int (*)(GLFWwindow*, int))dlsym(RTLD_NEXT, "glfwGetKey");
    usedByGlfwProgram = 1;
    double after = envNumber("SHIM_ESCAPE_AFTER_FRAMES", -1.0);
    if (key == 256 && after >= 0.0 && swaps >= (int)after) return 1; /* GLFW_PRESS */
    return real(window, key);
}

GLFWglproc glfwGetProcAddress(const char* name) {
    static GLFWglproc (*real)(const char*) = 0;
    if (!real) real = (GLFWglproc (*)(const char*))dlsym(RTLD_NEXT, "glfwGetProcAddress");
    usedByGlfwProgram = 1;
    if (getenv("SHIM_NO_GL")) return 0;
    return real(name);
}

/* A library unloaded before LeakSanitizer reports at exit leaves its allocations with no
   module to name; SHIM_KEEP_MODULES keeps every library loaded, so that the sanitizer runs
   can tell the GL driver's and the system's own allocations from the demo's. */
int dlclose(void* handle) {
    static int (*real)(void*) = 0;
    if (!real) real = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
    if (getenv("SHIM_KEEP_MODULES")) return 0;
    return real(handle);
}

__attribute__((destructor)) static void report(void) {
    const char* path = getenv("SHIM_REPORT");
    if (!path || !usedByGlfwProgram) return;
    FILE* f = fopen(path, "w");
    if (!f) return;
    fprintf(f, "%d %f\n", swaps, lastFrameTime);
    fclose(f);
}
