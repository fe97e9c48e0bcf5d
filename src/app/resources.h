// Everything the scenes draw with, built once before the first frame in a fixed
// order, and the values the frame loop carries from one frame to the next.
#pragma once
#include <string>
#include <vector>
#include <glm/glm.hpp>
#include "gfx/geometry.h"
#include "gfx/shader_program.h"
#include "model/model.h"

struct SceneResources {
    // Programs, in order of creation.
    ShaderProgram pointLastShader, point12Shader, point15Shader, planetShader;
    ShaderProgram fragCoordSkyShader, planetShader2, reflectShader, wellSkyShader;
    ShaderProgram titleSkyShader, model13Shader, forestSkyShader, refractShader;
    ShaderProgram duckCitySkyShader, modelShader, tampereSkyShader, instancingShader;
    ShaderProgram stencilColorShader;

    Model donutModel, forestShipModel, duckModel, donutModel2, duckModel2;
    Model ship4Model, ship2Model;

    unsigned greetLogo1 = 0, greetLogo2 = 0, greetLogo3 = 0, greetLogo4 = 0;
    unsigned greetLogo5 = 0, greetLogo6 = 0, greetLogo7 = 0, greetLogo8 = 0;
    unsigned greetLogo9 = 0, greetLogo10 = 0, greetLogo11 = 0, greetLogo12 = 0;
    unsigned greetLogo13 = 0;
    unsigned molvanianTexture = 0;

    unsigned helsinkiCubemap = 0, creditsCubemap = 0, titleCubemap = 0;
    unsigned twoShedCubemap = 0, duckCityCubemap = 0, tampereCubemap = 0;

    // The face lists outlive the loads (the loader gets its own copy) until shutdown.
    std::vector<std::string> helsinkiFaces, creditsFaces, titleFaces;
    std::vector<std::string> twoShedFaces, duckCityFaces, tampereFaces;

    Geometry geometry;
};

// Kept across frames and across scene windows; each scene says which it rewrites.
struct LoopValues {
    glm::mat4 projection{1.0f};
    glm::mat4 view{1.0f};
    glm::mat4 model{1.0f};
    float endValue = 0.0f;
    float mixItUpValue = 0.0f;
};

// Where each program's sources are, for the tools that rebuild programs while they run.
struct SceneProgramSource {
    const char* name;
    ShaderProgram SceneResources::*program;
    const char* vertexPath;
    const char* fragmentPath;
};
constexpr int kSceneProgramCount = 17;
extern const SceneProgramSource kSceneProgramSources[kSceneProgramCount];

// The greeting logos, 1 to 13, in load order.
extern const char* const kGreetLogoPaths[13];

// Starts decoding and parsing the set-up's files on a second thread, ahead of the set-up.
// Needs no GL context, so it can start while the window is being made.
void startResourcePreload();

// Builds every resource and the global GL switches in their fixed order, and sets the
// start-up loop values. Needs the window's context current and GL loaded.
void buildSceneResources(SceneResources& res, LoopValues& loop);

// Frees what the models and face lists hold, newest first; GL objects go with the context.
void releaseSceneResources(SceneResources& res);

enum class LoopEnd;

// The vertex arrays and buffers deleted one by one at shutdown; which ones depends on
// how the loop ended. The rest go with the context when GLFW terminates.
void deleteShutdownGeometry(const Geometry& geometry, LoopEnd how);
