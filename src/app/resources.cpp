// The resource set-up: every program, model, texture, cube map and vertex array the
// scenes use, built once in a fixed order before the soundtrack starts.
#include "app/resources.h"
#include "app/preload.h"
#include "gfx/gl.h"
#include "gfx/textures.h"
#include "app/timeline.h"
#include <glm/gtc/matrix_transform.hpp>
#include <iterator>

const char* const kGreetLogoPaths[13] = {
    "imgs/greet01.png", "imgs/greet02.png", "imgs/greet03.png", "imgs/greet04.png",
    "imgs/greet05.png", "imgs/greet06.png", "imgs/greet07.png", "imgs/greet08.png",
    "imgs/greet09.png", "imgs/greet10.png", "imgs/greet11.png", "imgs/greet12.png",
    "imgs/greet13.png",
};

namespace {

// Model files, and the order the set-up loads them in (two of them twice).
const char* const kDonutFile = "imgs/donut4.obj";
const char* const kForestShipFile = "imgs/ForestShip.obj";
const char* const kDuckFile = "imgs/DuckPart2.4.textured.obj";
const char* const kShip4File = "imgs/ship4.obj";
const char* const kShip2File = "imgs/ship2.obj";
const char* const kModelLoadOrder[] = {
    kDonutFile, kForestShipFile, kDuckFile, kDonutFile, kDuckFile, kShip4File, kShip2File,
};

// +X, -X, +Y, -Y, +Z, -Z
const char* const kHelsinkiFaceFiles[6] = {
    "imgs/HelsinkiRight.png", "imgs/HelsinkiLeft.png",  "imgs/HelsinkiTop.png",
    "imgs/HelsinkiBottom.png", "imgs/HelsinkiFront.png", "imgs/Helsinki1.png",
};

const char* const kPictureFile = "imgs/officialmolvanian2.png";

std::vector<std::string> sameFaceSixTimes(const char* path) {
    return std::vector<std::string>(6, path);
}

// Cube maps are bound to unit 0 by every sky, so each sky program's sampler says 0.
void pointSkyAtUnitZero(const ShaderProgram& sky) {
    sky.use();
    sky.setInt("skybox", 0);
}

// The skies that carry one image on all six faces, in load order.
struct SingleImageSky {
    const char* file;
    std::vector<std::string> SceneResources::*faces;
    unsigned SceneResources::*cubemap;
    ShaderProgram SceneResources::*program;
};
//   file                      face list                       cube map                          sky program
const SingleImageSky kSingleImageSkies[] = {
    {"imgs/creditsb.png",      &SceneResources::creditsFaces,  &SceneResources::creditsCubemap,  &SceneResources::wellSkyShader},
    {"imgs/norrvalelogo2.png", &SceneResources::titleFaces,    &SceneResources::titleCubemap,    &SceneResources::titleSkyShader},
    {"imgs/TwoShedCity1.png",  &SceneResources::twoShedFaces,  &SceneResources::twoShedCubemap,  &SceneResources::forestSkyShader},
    {"imgs/DuckCity2.2.png",   &SceneResources::duckCityFaces, &SceneResources::duckCityCubemap, &SceneResources::duckCitySkyShader},
    {"imgs/Tampere2.png",      &SceneResources::tampereFaces,  &SceneResources::tampereCubemap,  &SceneResources::tampereSkyShader},
};

// What the loaders below will decode and import, with the flip flag each will find:
// loadTexture sets it, loadCubemap clears it, and model textures take the flag the logos
// left. Faces repeated within one cube map are decoded once. Only the logos are decoded
// while the window is being made (the display server needs the second core then); the
// rest waits for the set-up to begin.
std::vector<PreloadStep> preloadPlan() {
    std::vector<PreloadStep> plan;
    for (const char* logo : kGreetLogoPaths) plan.push_back({PreloadStep::image, logo, true, 0});
    plan.push_back({PreloadStep::pause, "", false, 0});
    for (const char* model : kModelLoadOrder) plan.push_back({PreloadStep::model, model, true, 0});
    for (const char* face : kHelsinkiFaceFiles) plan.push_back({PreloadStep::image, face, false, 3});
    for (const SingleImageSky& sky : kSingleImageSkies)
        plan.push_back({PreloadStep::image, sky.file, false, 3});
    plan.push_back({PreloadStep::image, kPictureFile, true, 0});
    return plan;
}

} // namespace

// Every program with its two source files, in the order the set-up builds them.
//   name                  program                              vertex source                           fragment source
const SceneProgramSource kSceneProgramSources[kSceneProgramCount] = {
    {"pointLastShader",    &SceneResources::pointLastShader,    "shdrs/pointTest3-texture.vs",          "shdrs/pointTestLast.fs"},
    {"point12Shader",      &SceneResources::point12Shader,      "shdrs/pointTest2.vs",                  "shdrs/pointTest12.fs"},
    {"point15Shader",      &SceneResources::point15Shader,      "shdrs/pointTest3-texture.vs",          "shdrs/pointTest15-texture.fs"},
    {"planetShader",       &SceneResources::planetShader,       "shdrs/10.3.planet.vs",                 "shdrs/10.3.planet.fs"},
    {"fragCoordSkyShader", &SceneResources::fragCoordSkyShader, "shdrs/6.FragCoordTest.skybox.vs",      "shdrs/6.Alt.FragCoordTest.skybox2.fs"},
    {"planetShader2",      &SceneResources::planetShader2,      "shdrs/10.3.planet.vs",                 "shdrs/10.3.planet.fs"},
    {"reflectShader",      &SceneResources::reflectShader,      "shdrs/1.reflect.model_loading.vs",     "shdrs/1.reflect.model_loading.fs"},
    {"wellSkyShader",      &SceneResources::wellSkyShader,      "shdrs/well.skybox.vs",                 "shdrs/6.2.skybox.fs"},
    {"titleSkyShader",     &SceneResources::titleSkyShader,     "shdrs/6.5.skybox.vs",                  "shdrs/6.2.skybox.fs"},
    {"model13Shader",      &SceneResources::model13Shader,      "shdrs/1.3.model_loading.vs",           "shdrs/1.model_loading.fs"},
    {"forestSkyShader",    &SceneResources::forestSkyShader,    "shdrs/6.FragCoordTest.skybox.vs",      "shdrs/6.Refr.FragCoordTest.Forest.skybox.fs"},
    {"refractShader",      &SceneResources::refractShader,      "shdrs/1.refract.model_loading.vs",     "shdrs/1.refract.model_loading.fs"},
    {"duckCitySkyShader",  &SceneResources::duckCitySkyShader,  "shdrs/DuckCity.VertexS.vs",            "shdrs/6.2.skybox.fs"},
    {"modelShader",        &SceneResources::modelShader,        "shdrs/1.model_loading.vs",             "shdrs/1.model_loading.fs"},
    {"tampereSkyShader",   &SceneResources::tampereSkyShader,   "shdrs/6.Tampere.skybox.vs",            "shdrs/6.Tampere.skybox.fs"},
    {"instancingShader",   &SceneResources::instancingShader,   "shdrs/instancing2.vs",                 "shdrs/instancing3.fs"},
    {"stencilColorShader", &SceneResources::stencilColorShader, "shdrs/instancing2.vs",                 "shdrs/2.stencil_single_color.fs"},
};

namespace {

// The programs are built between the model loads, so the set-up takes the table a
// run of rows at a time.
void buildScenePrograms(SceneResources& res, int first, int last) {
    for (int i = first; i < last; ++i) {
        const SceneProgramSource& row = kSceneProgramSources[i];
        res.*row.program = ShaderProgram(row.vertexPath, row.fragmentPath);
    }
}

} // namespace

void startResourcePreload() { startPreload(preloadPlan()); }

void buildSceneResources(SceneResources& res, LoopValues& loop) {
    // Decoding and parsing run ahead on a second thread; when main did not start it
    // already, it starts here. From here on the models may be parsed too.
    startResourcePreload();
    resumePreload();

    // The logos go first: loadTexture leaves the decoder's flip flag on, and every
    // model texture below is decoded with it (the cube maps, which clear it, come last).
    unsigned* logos[13] = {
        &res.greetLogo1, &res.greetLogo2,  &res.greetLogo3,  &res.greetLogo4, &res.greetLogo5,
        &res.greetLogo6, &res.greetLogo7,  &res.greetLogo8,  &res.greetLogo9, &res.greetLogo10,
        &res.greetLogo11, &res.greetLogo12, &res.greetLogo13,
    };
    for (int i = 0; i < 13; ++i) *logos[i] = loadTexture(kGreetLogoPaths[i]);

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_PROGRAM_POINT_SIZE);

    buildScenePrograms(res, 0, 10);
    res.donutModel = Model(kDonutFile);
    buildScenePrograms(res, 10, 12);
    res.forestShipModel = Model(kForestShipFile);
    buildScenePrograms(res, 12, 14);
    res.duckModel = Model(kDuckFile);
    buildScenePrograms(res, 14, 17);

    res.donutModel2 = Model(kDonutFile);
    res.duckModel2 = Model(kDuckFile);
    res.ship4Model = Model(kShip4File);
    res.ship2Model = Model(kShip2File);

    setupQuadOffsets(res.geometry);
    setupInstancedQuad(res.geometry);
    setupCube(res.geometry);
    setupSkybox(res.geometry);

    res.helsinkiFaces.assign(std::begin(kHelsinkiFaceFiles), std::end(kHelsinkiFaceFiles));
    res.helsinkiCubemap = loadCubemap(res.helsinkiFaces);
    pointSkyAtUnitZero(res.fragCoordSkyShader);

    loop.projection = glm::perspective(0.7853982f,  // 45 degrees
                                       1.7777778f,  // 1920 / 1080
                                       0.1f, 100.0f);
    loop.endValue = 0.0f;
    loop.mixItUpValue = 0.0f;

    for (const SingleImageSky& sky : kSingleImageSkies) {
        res.*sky.faces = sameFaceSixTimes(sky.file);
        res.*sky.cubemap = loadCubemap(res.*sky.faces);
        pointSkyAtUnitZero(res.*sky.program);
    }

    res.instancingShader.use();
    res.instancingShader.setInt("texture1", 0);

    setupTexturedQuad(res.geometry);

    // The picture quad's texture lives on unit 2, away from the cube maps on unit 0.
    res.molvanianTexture = loadTexture(kPictureFile);
    res.point15Shader.use();
    glUniform1i(glGetUniformLocation(res.point15Shader.id, "texture15"), 2);

    setupScreenQuad(res.geometry);

    // Everything the plan named has been asked for; anything left is let go.
    stopPreload();
}

void releaseSceneResources(SceneResources& res) {
    for (auto* faces : {&res.tampereFaces, &res.duckCityFaces, &res.twoShedFaces,
                        &res.titleFaces, &res.creditsFaces, &res.helsinkiFaces}) {
        faces->clear();
        faces->shrink_to_fit();
    }
    for (Model* model : {&res.ship2Model, &res.ship4Model, &res.duckModel2, &res.donutModel2,
                         &res.duckModel, &res.forestShipModel, &res.donutModel}) {
        *model = Model();
    }
}

void deleteShutdownGeometry(const Geometry& g, LoopEnd how) {
    auto deleteArray = [](unsigned name) { glDeleteVertexArrays(1, &name); };
    auto deleteBuffer = [](unsigned name) { glDeleteBuffers(1, &name); };
    if (how == LoopEnd::closeRequested) {
        for (unsigned vao : {g.texturedQuadVAO, g.instancedQuadVAO, g.skyboxVAO, g.cubeVAO})
            deleteArray(vao);
        for (unsigned buffer : {g.instancedQuadVBO, g.texturedQuadVBO, g.skyboxVBO, g.cubeVBO,
                                g.texturedQuadEBO, g.instancedQuadEBO})
            deleteBuffer(buffer);
    } else {
        for (unsigned vao : {g.skyboxVAO, g.cubeVAO}) deleteArray(vao);
        for (unsigned buffer : {g.skyboxVBO, g.cubeVBO}) deleteBuffer(buffer);
    }
}
