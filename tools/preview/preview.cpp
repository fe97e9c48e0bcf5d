// The preview's window and frames: the demo drawn off screen at 1920 x 1080 and shown
// letterboxed, programs rebuilt from the shader folder as their files change, and the
// baked content read again on request.
#include "preview.h"
#include "app/timeline.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kStartWidth = 1280, kStartHeight = 720;  // the window, before any resizing
constexpr double kShaderPoll = 0.25;                    // s between looks at the shader files
constexpr double kTitleEvery = 0.25;                    // s between title updates
constexpr const char* kSoundtrackName = "tessmer-trancedemo5.mp3";

void say(const std::string& line) {
    std::printf("preview: %s\n", line.c_str());
    std::fflush(stdout);
}

void drawInto(Preview& p, bool leadIn) {
    // The window's size is not the frame's: the scenes draw the full 1920 x 1080.
    bindFrameTarget(p.target);
    const float t = float(p.clock.demoTime);
    if (leadIn) drawFrameAfterLeadIn(t, p.demo.res, p.demo.loop);
    else drawFrameAt(t, p.demo.res, p.demo.loop);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// ---- live shaders ---------------------------------------------------------------

std::string sourcePath(const ShaderWatch& watch, const std::string& name) {
    return (fs::path(watch.dir) / fs::path(name).filename()).string();
}

// False when the file is not there (it may be in the middle of being saved).
bool look(const ShaderWatch& watch, WatchedFile& file) {
    std::error_code error;
    const std::string path = sourcePath(watch, file.name);
    auto written = fs::last_write_time(path, error);
    if (error) return false;
    std::uintmax_t size = fs::file_size(path, error);
    if (error) return false;
    file.written = written;
    file.size = size;
    return true;
}

ShaderWatch watchShaders(const std::string& dir) {
    ShaderWatch watch;
    watch.dir = dir;
    std::set<std::string> seen;
    for (const SceneProgramSource& row : kSceneProgramSources)
        for (const char* name : {row.vertexPath, row.fragmentPath})
            if (seen.insert(name).second) watch.files.push_back({name});
    for (WatchedFile& file : watch.files) file.present = look(watch, file);
    return watch;
}

// The files whose time or size changed since the last look.
std::set<std::string> changedShaderFiles(ShaderWatch& watch) {
    std::set<std::string> changed;
    for (WatchedFile& file : watch.files) {
        WatchedFile now = file;
        now.present = look(watch, now);
        if (now.present && (!file.present || now.written != file.written || now.size != file.size))
            changed.insert(file.name);
        file = now;
    }
    return changed;
}

bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

// The rebuild's log opens each stage's part with "vertex: " or "fragment: "; the file
// names go there instead, as a compiler would put them, and a link failure names both.
std::string namedLog(const std::string& log, const std::string& vertexPath,
                     const std::string& fragmentPath) {
    const std::pair<std::string, std::string> kStageNames[] = {
        {"vertex: ", vertexPath + ": "},
        {"fragment: ", fragmentPath + ": "},
        {"link: ", vertexPath + " + " + fragmentPath + ": "},
    };
    std::string named;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        for (const auto& [stage, name] : kStageNames)
            if (line.rfind(stage, 0) == 0) line = name + line.substr(stage.size());
        named += line + "\n";
    }
    return named;
}

// True when the program now runs the files' sources.
bool rebuildProgram(Preview& p, int index) {
    const SceneProgramSource& row = kSceneProgramSources[index];
    const std::string vertexPath = sourcePath(p.watch, row.vertexPath);
    const std::string fragmentPath = sourcePath(p.watch, row.fragmentPath);
    std::string vertex, fragment, log;
    if (!readText(vertexPath, vertex) || !readText(fragmentPath, fragment)) {
        say(std::string("cannot read ") + vertexPath + " or " + fragmentPath + "; " +
            row.name + " keeps its last good build");
        return false;
    }
    if (!rebuildSceneProgram(p.demo.res.*row.program, vertex, fragment, log)) {
        say(std::string(row.name) + " keeps its last good build:\n" +
            namedLog(log, vertexPath, fragmentPath));
        return false;
    }
    return true;
}

void rebuildChangedShaders(Preview& p, double wallSeconds) {
    p.watch.sincePoll += wallSeconds;
    if (p.watch.sincePoll < kShaderPoll) return;
    p.watch.sincePoll = 0.0;
    std::set<std::string> changed = changedShaderFiles(p.watch);
    if (changed.empty()) return;
    for (int i = 0; i < kSceneProgramCount; ++i) {
        const SceneProgramSource& row = kSceneProgramSources[i];
        if (!changed.count(row.vertexPath) && !changed.count(row.fragmentPath)) continue;
        if (rebuildProgram(p, i)) {
            say(std::string("rebuilt ") + row.name);
            p.redraw = true;
        }
    }
}

// ---- content --------------------------------------------------------------------

// Everything the set-up made on the GPU, for a reload that makes it all again. The
// demo itself never deletes one by one; a preview reloading all day must.
void deleteSceneObjects(SceneResources& res) {
    std::set<unsigned> textures = {
        res.greetLogo1,  res.greetLogo2,  res.greetLogo3,  res.greetLogo4,  res.greetLogo5,
        res.greetLogo6,  res.greetLogo7,  res.greetLogo8,  res.greetLogo9,  res.greetLogo10,
        res.greetLogo11, res.greetLogo12, res.greetLogo13, res.molvanianTexture,
        res.helsinkiCubemap, res.creditsCubemap, res.titleCubemap, res.twoShedCubemap,
        res.duckCityCubemap, res.tampereCubemap,
    };
    std::set<unsigned> arrays, buffers;
    for (const Model* model : {&res.donutModel, &res.forestShipModel, &res.duckModel, &res.donutModel2,
                               &res.duckModel2, &res.ship4Model, &res.ship2Model}) {
        for (const MeshTexture& texture : model->loadedTextures) textures.insert(texture.id);
        for (const Mesh& mesh : model->meshes) {
            arrays.insert(mesh.vao);
            buffers.insert({mesh.vbo, mesh.ebo});
        }
    }
    const Geometry& g = res.geometry;
    arrays.insert({g.instancedQuadVAO, g.cubeVAO, g.skyboxVAO, g.texturedQuadVAO, g.screenQuadVAO});
    buffers.insert({g.quadOffsetsVBO, g.instancedQuadVBO, g.instancedQuadEBO, g.cubeVBO, g.skyboxVBO,
                    g.texturedQuadVBO, g.texturedQuadEBO, g.screenQuadVBO, g.screenQuadEBO});
    for (unsigned name : textures) glDeleteTextures(1, &name);
    for (unsigned name : arrays) glDeleteVertexArrays(1, &name);
    for (unsigned name : buffers) glDeleteBuffers(1, &name);
    for (const SceneProgramSource& row : kSceneProgramSources) glDeleteProgram((res.*row.program).id);
}

bool ownShaderFolder(const Preview& p) { return !p.options.shaderDir.empty(); }

} // namespace

bool startPreview(Preview& p, const PreviewOptions& options, std::string& error) {
    p.options = options;
    p.demo.window = openToolWindow(kStartWidth, kStartHeight, "Norrvale preview", error);
    if (!p.demo.window) return false;
    glfwSwapInterval(1);
    buildDemo(p.demo);
    p.target = makeFrameTarget();
    p.watch = watchShaders(ownShaderFolder(p) ? options.shaderDir : "shdrs");
    // The stage's copies built the programs; a working folder's own sources replace
    // them, and a source that does not build leaves the staged program showing.
    if (ownShaderFolder(p)) rebuildAllShaders(p);
    p.clock = startingClock(options);
    std::string note = openMusic(p.music, kSoundtrackName);
    if (!note.empty()) say(note);
    p.redraw = true;
    return true;
}

void endPreview(Preview& p) {
    closeMusic(p.music);
    glfwMakeContextCurrent(p.demo.window);
    deleteFrameTarget(p.target);
    deleteSceneObjects(p.demo.res);
    releaseSceneResources(p.demo.res);
    glfwDestroyWindow(p.demo.window);
    p.demo.window = nullptr;
}

void rebuildAllShaders(Preview& p) {
    glfwMakeContextCurrent(p.demo.window);
    for (WatchedFile& file : p.watch.files) file.present = look(p.watch, file);
    int rebuilt = 0;
    for (int i = 0; i < kSceneProgramCount; ++i) rebuilt += rebuildProgram(p, i) ? 1 : 0;
    say("rebuilt " + std::to_string(rebuilt) + " of " + std::to_string(kSceneProgramCount) +
        " programs from " + p.watch.dir);
    p.redraw = true;
}

void reloadContent(Preview& p) {
    glfwMakeContextCurrent(p.demo.window);
    say("reloading images, models and music");
    DemoState fresh;
    fresh.window = p.demo.window;
    buildDemo(fresh);
    deleteSceneObjects(p.demo.res);
    releaseSceneResources(p.demo.res);
    p.demo.res = std::move(fresh.res);
    p.demo.loop = fresh.loop;
    if (ownShaderFolder(p)) rebuildAllShaders(p);
    std::string note = reloadMusic(p.music);
    if (!note.empty()) say(note);
    p.redraw = true;
}

void pressKey(Preview& p, int key, int mods) {
    switch (applyKey(p.clock, key, mods)) {
    case KeyAction::quit:           glfwSetWindowShouldClose(p.demo.window, GLFW_TRUE); break;
    case KeyAction::rebuildShaders: rebuildAllShaders(p); break;
    case KeyAction::reloadContent:  reloadContent(p); break;
    case KeyAction::none:           break;
    }
}

void tickPreview(Preview& p, double wallSeconds) {
    glfwMakeContextCurrent(p.demo.window);
    rebuildChangedShaders(p, wallSeconds);
    // The frame after a seek or a reload shows the instant it was at; playing resumes
    // from there.
    const double before = p.clock.demoTime;
    if (!p.clock.jumped && !p.redraw) advanceClock(p.clock, wallSeconds);
    const bool jumped = p.clock.jumped;
    if (jumped || p.redraw) drawInto(p, true);
    else if (p.clock.demoTime != before) drawInto(p, false);
    followClock(p.music, p.clock, jumped);
    p.clock.jumped = false;
    p.redraw = false;
}

void presentPreview(Preview& p, double wallSeconds) {
    int width = 0, height = 0;
    glfwGetFramebufferSize(p.demo.window, &width, &height);
    // The largest 16:9 rectangle the window holds, centred; black bars around it.
    int shownWidth = width, shownHeight = width * kFrameHeight / kFrameWidth;
    if (shownHeight > height) {
        shownHeight = height;
        shownWidth = height * kFrameWidth / kFrameHeight;
    }
    const int left = (width - shownWidth) / 2, bottom = (height - shownHeight) / 2;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, p.target.framebuffer);
    glBlitFramebuffer(0, 0, kFrameWidth, kFrameHeight, left, bottom, left + shownWidth,
                      bottom + shownHeight, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glfwSwapBuffers(p.demo.window);

    p.framesCounted += 1;
    p.countedSeconds += wallSeconds;
    if (p.countedSeconds >= 1.0) {
        p.fps = p.framesCounted / p.countedSeconds;
        p.framesCounted = 0;
        p.countedSeconds = 0.0;
    }
    p.titleSeconds += wallSeconds;
    if (p.titleSeconds >= kTitleEvery) {
        p.titleSeconds = 0.0;
        glfwSetWindowTitle(p.demo.window, previewTitle(p).c_str());
    }
}

Picture previewFrame(const Preview& p) {
    glfwMakeContextCurrent(p.demo.window);
    return readFramebuffer(p.target.framebuffer);
}

std::string previewTitle(const Preview& p) {
    char text[160];
    const int window = sceneWindowAt(float(p.clock.demoTime));
    char where[48] = "after the end";
    if (window > 0)
        std::snprintf(where, sizeof where, "window %d (%g-%g)", window, kTimelineWindows[window - 1].from,
                      kTimelineWindows[window - 1].to);
    char loop[48] = "";
    if (p.clock.looping) std::snprintf(loop, sizeof loop, "  loop %g-%g", p.clock.loopFrom, p.clock.loopTo);
    char speed[16] = "";
    if (p.clock.speed != 1.0) std::snprintf(speed, sizeof speed, "  %gx", p.clock.speed);
    std::snprintf(text, sizeof text, "Norrvale preview  %.2f s  %s  %.0f fps%s%s%s", p.clock.demoTime,
                  where, p.fps, p.clock.paused ? "  paused" : "", speed, loop);
    return text;
}
