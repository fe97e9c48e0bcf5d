/* Preloaded into the staged demo by bench_startup: timestamps the main thread's start-up
   from glfwInit to the sound layer's first SDL_mixer call (the play call), charges each
   stretch between two GL calls to the resource family that call belongs to, writes one
   line of figures to STARTUP_PROBE_REPORT and ends the process there, so a run costs
   start-up only.

   Families follow the fixed set-up order: the window (GLFW and the GL loader), 2D textures
   before the depth switch or after the last cube map (the greeting logos and the picture),
   shader programs and their sampler settings, cube maps, and vertex buffers, which are a
   model's when the run of buffer calls sets an integer attribute (a mesh's bone ids) and
   the built-in geometry's otherwise. A stretch ends at a GL call and is charged to that
   call's family, so decoding waits count where their upload happens. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef unsigned char GLboolean;
typedef char GLchar;
typedef long GLsizeiptr;
typedef struct GLFWwindow GLFWwindow;
typedef struct GLFWmonitor GLFWmonitor;
typedef void (*GLFWglproc)(void);

enum Family { kWindow, kPictures, kPrograms, kModels, kCubeMaps, kGeometry, kBuffers, kFamilies };
static const char* const kNames[kFamilies] = {"window", "logos", "programs", "models", "cubemaps", "geometry", "-"};

#define kMaxEvents 200000
static double eventTime[kMaxEvents];
static unsigned char eventFamily[kMaxEvents];
static unsigned char eventIntAttrib[kMaxEvents];
static int events = 0;
static double startTime = -1.0;
static pthread_t mainThread;
static int depthSwitched = 0, cubeMapSeen = 0;

static double now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

static int onMainThread(void) { return startTime >= 0.0 && pthread_equal(pthread_self(), mainThread); }

static void mark(int family, int intAttrib) {
    if (!onMainThread() || events >= kMaxEvents) return;
    eventTime[events] = now();
    eventFamily[events] = (unsigned char)family;
    eventIntAttrib[events] = (unsigned char)intAttrib;
    ++events;
}

static int isCubeTarget(GLenum target) { return target == 0x8513 || (target >= 0x8515 && target <= 0x851A); }

static void markTexture(GLenum target) {
    int cube = isCubeTarget(target);
    if (cube) cubeMapSeen = 1;
    mark(cube ? kCubeMaps : (!depthSwitched || cubeMapSeen) ? kPictures : kModels, 0);
}

static void report(void) {
    double end = now();
    double sums[kFamilies] = {0};
    /* Buffer runs become model or geometry time as a whole. */
    for (int i = 0; i < events;) {
        if (eventFamily[i] != kBuffers) { ++i; continue; }
        int j = i, model = 0;
        while (j < events && eventFamily[j] == kBuffers) model |= eventIntAttrib[j++];
        for (int k = i; k < j; ++k) eventFamily[k] = model ? kModels : kGeometry;
        i = j;
    }
    double last = startTime;
    for (int i = 0; i < events; ++i) {
        sums[eventFamily[i]] += eventTime[i] - last;
        last = eventTime[i];
    }
    /* Whatever follows the last GL call (the sound layer's own start) is the window's
       counterpart at the far end: neither a resource nor loading. */
    sums[kWindow] += end - last;
    const char* path = getenv("STARTUP_PROBE_REPORT");
    FILE* f = path ? fopen(path, "w") : NULL;
    if (!f) return;
    fprintf(f, "total %.6f", end - startTime);
    for (int k = 0; k < kBuffers; ++k) fprintf(f, " %s %.6f", kNames[k], sums[k]);
    fprintf(f, "\n");
    fclose(f);
}

#define REAL(name, type) \
    static __typeof__(type) real_##name = 0; \
    if (!real_##name) real_##name = (type)dlsym(RTLD_NEXT, #name)

int glfwInit(void) {
    REAL(glfwInit, int (*)(void));
    mainThread = pthread_self();
    startTime = now();
    int result = real_glfwInit();
    mark(kWindow, 0);
    return result;
}

GLFWwindow* glfwCreateWindow(int w, int h, const char* title, GLFWmonitor* monitor, GLFWwindow* share) {
    REAL(glfwCreateWindow, GLFWwindow* (*)(int, int, const char*, GLFWmonitor*, GLFWwindow*));
    GLFWwindow* window = real_glfwCreateWindow(w, h, title, monitor, share);
    mark(kWindow, 0);
    return window;
}

/* The play call: the sound layer opens the track first thing. */
void* Mix_LoadMUS(const char* file) {
    REAL(Mix_LoadMUS, void* (*)(const char*));
    if (onMainThread()) {
        report();
        _exit(0);
    }
    return real_Mix_LoadMUS(file);
}

/* Without an audio device the demo never plays; the first presented frame ends it then. */
void glfwSwapBuffers(GLFWwindow* window) {
    REAL(glfwSwapBuffers, void (*)(GLFWwindow*));
    if (onMainThread()) {
        report();
        _exit(0);
    }
    real_glfwSwapBuffers(window);
}

/* ---- GL wrappers, handed out by glfwGetProcAddress in place of the driver's ---- */

#define WRAP(family, name, params, args)                            \
    static void(*real_##name) params = 0;                            \
    static void wrap_##name params {                                 \
        real_##name args;                                            \
        mark(family, 0);                                             \
    }
#define WRAP_RET(family, rtype, name, params, args)                  \
    static rtype(*real_##name) params = 0;                           \
    static rtype wrap_##name params {                                \
        rtype result = real_##name args;                             \
        mark(family, 0);                                             \
        return result;                                               \
    }

static void (*real_glEnable)(GLenum) = 0;
static void wrap_glEnable(GLenum cap) {
    real_glEnable(cap);
    if (cap == 0x0B71) depthSwitched = 1; /* GL_DEPTH_TEST */
    mark(kPictures, 0);
}

static void (*real_glBindTexture)(GLenum, GLuint) = 0;
static void wrap_glBindTexture(GLenum target, GLuint id) {
    real_glBindTexture(target, id);
    markTexture(target);
}

static void (*real_glTexImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*) = 0;
static void wrap_glTexImage2D(GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum ty,
                              const void* p) {
    real_glTexImage2D(t, l, i, w, h, b, f, ty, p);
    markTexture(t);
}

static void (*real_glVertexAttribIPointer)(GLuint, GLint, GLenum, GLsizei, const void*) = 0;
static void wrap_glVertexAttribIPointer(GLuint a, GLint n, GLenum t, GLsizei s, const void* p) {
    real_glVertexAttribIPointer(a, n, t, s, p);
    mark(kBuffers, 1);
}

WRAP_RET(kPrograms, GLuint, glCreateShader, (GLenum t), (t))
WRAP_RET(kPrograms, GLuint, glCreateProgram, (void), ())
WRAP(kPrograms, glShaderSource, (GLuint s, GLsizei n, const GLchar* const* c, const GLint* l), (s, n, c, l))
WRAP(kPrograms, glCompileShader, (GLuint s), (s))
WRAP(kPrograms, glAttachShader, (GLuint p, GLuint s), (p, s))
WRAP(kPrograms, glLinkProgram, (GLuint p), (p))
WRAP(kPrograms, glDeleteShader, (GLuint s), (s))
WRAP(kPrograms, glUseProgram, (GLuint p), (p))
WRAP(kPrograms, glUniform1i, (GLint l, GLint v), (l, v))
WRAP(kBuffers, glGenVertexArrays, (GLsizei n, GLuint* a), (n, a))
WRAP(kBuffers, glBindVertexArray, (GLuint a), (a))
WRAP(kBuffers, glGenBuffers, (GLsizei n, GLuint* b), (n, b))
WRAP(kBuffers, glBindBuffer, (GLenum t, GLuint b), (t, b))
WRAP(kBuffers, glBufferData, (GLenum t, GLsizeiptr s, const void* d, GLenum u), (t, s, d, u))
WRAP(kBuffers, glVertexAttribPointer, (GLuint a, GLint n, GLenum t, GLboolean m, GLsizei s, const void* p),
     (a, n, t, m, s, p))
WRAP(kBuffers, glEnableVertexAttribArray, (GLuint a), (a))
WRAP(kBuffers, glVertexAttribDivisor, (GLuint a, GLuint d), (a, d))

/* Parameters and mipmaps name their target, so they are routed by it. */
static void (*real_glTexParameteri)(GLenum, GLenum, GLint) = 0;
static void wrap_glTexParameteri(GLenum t, GLenum n, GLint v) {
    real_glTexParameteri(t, n, v);
    markTexture(t);
}
static void (*real_glGenerateMipmap)(GLenum) = 0;
static void wrap_glGenerateMipmap(GLenum t) {
    real_glGenerateMipmap(t);
    markTexture(t);
}

struct Wrapper {
    const char* name;
    void** real;
    GLFWglproc wrapper;
};

#define ENTRY(name) {#name, (void**)&real_##name, (GLFWglproc)wrap_##name}
static const struct Wrapper kWrappers[] = {
    ENTRY(glEnable),           ENTRY(glBindTexture),       ENTRY(glTexImage2D),
    ENTRY(glVertexAttribIPointer),
    {"glTexParameteri", (void**)&real_glTexParameteri, (GLFWglproc)wrap_glTexParameteri},
    {"glGenerateMipmap", (void**)&real_glGenerateMipmap, (GLFWglproc)wrap_glGenerateMipmap},
    ENTRY(glCreateShader),     ENTRY(glCreateProgram),     ENTRY(glShaderSource),
    ENTRY(glCompileShader),    ENTRY(glAttachShader),      ENTRY(glLinkProgram),
    ENTRY(glDeleteShader),     ENTRY(glUseProgram),        ENTRY(glUniform1i),
    ENTRY(glGenVertexArrays),  ENTRY(glBindVertexArray),   ENTRY(glGenBuffers),
    ENTRY(glBindBuffer),       ENTRY(glBufferData),        ENTRY(glVertexAttribPointer),
    ENTRY(glEnableVertexAttribArray), ENTRY(glVertexAttribDivisor),
};

GLFWglproc glfwGetProcAddress(const char* name) {
    REAL(glfwGetProcAddress, GLFWglproc (*)(const char*));
    GLFWglproc proc = real_glfwGetProcAddress(name);
    mark(kWindow, 0);
    if (!proc) return proc;
    for (size_t i = 0; i < sizeof kWrappers / sizeof kWrappers[0]; ++i)
        if (__builtin_strcmp(kWrappers[i].name, name) == 0) {
            *kWrappers[i].real = (void*)proc;
            return kWrappers[i].wrapper;
        }
    return proc;
}
