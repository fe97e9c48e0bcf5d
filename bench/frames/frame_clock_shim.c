/* Preloaded into the real demo binary by the frame benchmark. The GLFW clock becomes a
   fixed-step clock that advances one step per presented frame, so a run draws the same
   instants on any machine however slow its frames are; every frame's wall-clock and
   process CPU time (all rasteriser threads) is kept and written out when the process
   ends.

   FRAMECLOCK_START  clock reading of the first frame, seconds (demoTime + 13)
   FRAMECLOCK_STEP   seconds of clock per frame (1/60 for a 60 fps run)
   FRAMECLOCK_STOP   optional: Escape is pressed once the clock passes it
   FRAMECLOCK_LOG    file written at exit: "# renderer NAME", then one line per
                     presented frame, "demoTime wall_ms cpu_ms" */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct GLFWwindow GLFWwindow;

struct FrameRecord {
    double clock, wallMs, cpuMs;
};

static struct FrameRecord* records = 0;
static size_t recordCount = 0, recordCapacity = 0;
static long presented = 0;
static int frameOpen = 0;
static double frameWallStart = 0.0, frameCpuStart = 0.0;
static char renderer[128] = "unknown";

static double envNumber(const char* name, double fallback) {
    const char* text = getenv(name);
    return text ? atof(text) : fallback;
}

static double secondsOf(clockid_t id) {
    struct timespec now;
    clock_gettime(id, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static double frameClock(void) {
    return envNumber("FRAMECLOCK_START", 0.0) + (double)presented * envNumber("FRAMECLOCK_STEP", 1.0 / 60.0);
}

/* A frame starts where the previous one was presented; the first one at its clock
   reading, so that loading is not counted as a frame. */
static void openFrame(void) {
    if (frameOpen) return;
    frameOpen = 1;
    frameWallStart = secondsOf(CLOCK_MONOTONIC);
    frameCpuStart = secondsOf(CLOCK_PROCESS_CPUTIME_ID);
}

double glfwGetTime(void) {
    openFrame();
    return frameClock();
}

void glfwSwapBuffers(GLFWwindow* window) {
    static void (*real)(GLFWwindow*) = 0;
    if (!real) real = (void (*)(GLFWwindow*))dlsym(RTLD_NEXT, "glfwSwapBuffers");
    openFrame();
    if (presented == 0) {
        /* The context is current by the first swap; the renderer names what was timed. */
        typedef void* (*ProcLookup)(const char*);
        typedef const unsigned char* (*GetString)(unsigned);
        ProcLookup lookup = (ProcLookup)dlsym(RTLD_DEFAULT, "glfwGetProcAddress");
        GetString getString = lookup ? (GetString)lookup("glGetString") : 0;
        const unsigned char* name = getString ? getString(0x1F01 /* GL_RENDERER */) : 0;
        if (name) snprintf(renderer, sizeof renderer, "%s", (const char*)name);
    }
    real(window);
    double wallEnd = secondsOf(CLOCK_MONOTONIC), cpuEnd = secondsOf(CLOCK_PROCESS_CPUTIME_ID);
    if (recordCount == recordCapacity) {
        size_t grown = recordCapacity ? recordCapacity * 2 : 4096;
        struct FrameRecord* moved = realloc(records, grown * sizeof *records);
        if (!moved) abort();
        records = moved;
        recordCapacity = grown;
    }
    records[recordCount].clock = frameClock();
    records[recordCount].wallMs = (wallEnd - frameWallStart) * 1e3;
    records[recordCount].cpuMs = (cpuEnd - frameCpuStart) * 1e3;
    ++recordCount;
    ++presented;
    /* The next frame is timed from here: polling events belongs to it. */
    frameWallStart = wallEnd;
    frameCpuStart = cpuEnd;
}

int glfwGetKey(GLFWwindow* window, int key) {
    static int (*real)(GLFWwindow*, int) = 0;
    if (!real) real = (int (*)(GLFWwindow*, int))dlsym(RTLD_NEXT, "glfwGetKey");
    const char* stop = getenv("FRAMECLOCK_STOP");
    if (key == 256 /* GLFW_KEY_ESCAPE */ && stop && frameClock() > atof(stop)) return 1;
    return real(window, key);
}

__attribute__((destructor)) static void writeLog(void) {
    const char* path = getenv("FRAMECLOCK_LOG");
    if (!path || recordCount == 0) return;
    FILE* f = fopen(path, "w");
    if (!f) return;
    fprintf(f, "# renderer %s\n", renderer);
    for (size_t i = 0; i < recordCount; ++i)
        /* demoTime as the frame loop forms it: the clock narrowed, then 13 taken off. */
        fprintf(f, "%.6f %.4f %.4f\n", (double)((float)records[i].clock - 13.0f), records[i].wallMs,
                records[i].cpuMs);
    fclose(f);
}
