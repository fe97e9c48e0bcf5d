// The resource set-up: its order, what it prints, the samplers it sets and the
// decoder flip each kind of image is read with.
#include "app/resources.h"
#include "gl_context.h"
#include "gl_recorder.h"
#include <filesystem>
#include <glm/gtc/matrix_transform.hpp>
#include <stb/stb_image_write.h>

namespace fs = std::filesystem;

namespace {

// The programs in creation order, with their file pairs.
const char* const kProgramFiles[17][2] = {
    {"pointTest3-texture.vs", "pointTestLast.fs"},
    {"pointTest2.vs", "pointTest12.fs"},
    {"pointTest3-texture.vs", "pointTest15-texture.fs"},
    {"10.3.planet.vs", "10.3.planet.fs"},
    {"6.FragCoordTest.skybox.vs", "6.Alt.FragCoordTest.skybox2.fs"},
    {"10.3.planet.vs", "10.3.planet.fs"},
    {"1.reflect.model_loading.vs", "1.reflect.model_loading.fs"},
    {"well.skybox.vs", "6.2.skybox.fs"},
    {"6.5.skybox.vs", "6.2.skybox.fs"},
    {"1.3.model_loading.vs", "1.model_loading.fs"},
    {"6.FragCoordTest.skybox.vs", "6.Refr.FragCoordTest.Forest.skybox.fs"},
    {"1.refract.model_loading.vs", "1.refract.model_loading.fs"},
    {"DuckCity.VertexS.vs", "6.2.skybox.fs"},
    {"1.model_loading.vs", "1.model_loading.fs"},
    {"6.Tampere.skybox.vs", "6.Tampere.skybox.fs"},
    {"instancing2.vs", "instancing3.fs"},
    {"instancing2.vs", "2.stencil_single_color.fs"},
};

const char* const kCubeFaceFiles[] = {
    "HelsinkiRight.png", "HelsinkiLeft.png", "HelsinkiTop.png", "HelsinkiBottom.png",
    "HelsinkiFront.png", "Helsinki1.png", "creditsb.png", "norrvalelogo2.png",
    "TwoShedCity1.png", "DuckCity2.2.png", "Tampere2.png",
};

const char* const kModelFiles[] = {
    "donut4.obj", "ForestShip.obj", "DuckPart2.4.textured.obj", "ship4.obj", "ship2.obj",
};

// A 1 x 2 RGB image, red on the top row and blue on the bottom, so a read-back shows
// whether it was decoded flipped.
void writeTwoRowImage(const std::string& path) {
    const unsigned char pixels[] = {255, 0, 0, 0, 0, 255};
    stbi_write_png(path.c_str(), 1, 2, 3, pixels, 3);
}

void writeSquareImage(const std::string& path) {
    const unsigned char pixels[2 * 2 * 3] = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
    stbi_write_png(path.c_str(), 2, 2, 3, pixels, 6);
}

std::string fragmentFor(const std::string& file) {
    std::string head = "#version 330 core\n// " + file + "\nout vec4 colour;\n";
    if (file.find("skybox") != std::string::npos)
        return head + "uniform samplerCube skybox;\nvoid main() { colour = texture(skybox, vec3(1.0)); }\n";
    if (file == "instancing3.fs")
        return head + "uniform sampler2D texture1;\nvoid main() { colour = texture(texture1, vec2(0.5)); }\n";
    if (file == "pointTest15-texture.fs")
        return head + "uniform sampler2D texture15;\nvoid main() { colour = texture(texture15, vec2(0.5)); }\n";
    return head + "void main() { colour = vec4(1.0); }\n";
}

// A complete content tree of tiny files at every path the set-up reads.
void writeContent(const fs::path& root) {
    fs::create_directories(root / "shdrs");
    fs::create_directories(root / "imgs");
    for (const auto& pair : kProgramFiles) {
        writeTextFile((root / "shdrs" / pair[0]).string(),
                      "#version 330 core\n// " + std::string(pair[0]) +
                          "\nlayout (location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n");
        writeTextFile((root / "shdrs" / pair[1]).string(), fragmentFor(pair[1]));
    }
    for (const char* logo : kGreetLogoPaths) writeTwoRowImage((root / logo).string());
    writeTwoRowImage((root / "imgs/officialmolvanian2.png").string());
    for (const char* face : kCubeFaceFiles) writeSquareImage((root / "imgs" / face).string());
    writeTwoRowImage((root / "imgs/skin.png").string());
    writeTextFile((root / "imgs/skin.mtl").string(), "newmtl skin\nKd 1 1 1\nmap_Kd skin.png\n");
    for (const char* model : kModelFiles) {
        writeTextFile((root / "imgs" / model).string(),
                      "mtllib skin.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                      "usemtl skin\nf 1/1 2/2 3/3\n");
    }
}

struct ResourceSetUp : GlTest {
    TempDir dir;
    fs::path savedCwd = fs::current_path();
    SceneResources res;
    LoopValues loop;

    void SetUp() override {
        GlTest::SetUp();
        writeContent(dir.path);
        fs::current_path(dir.path);
    }
    void TearDown() override {
        fs::current_path(savedCwd);
        GlTest::TearDown();
    }
    std::string build() {
        StdoutCapture capture;
        capture.begin();
        buildSceneResources(res, loop);
        return capture.end();
    }
};

// The top row as GL holds it (row 0 of a texture is the bottom of the image).
std::vector<unsigned char> texelRows(GLenum target, unsigned texture) {
    glBindTexture(target == GL_TEXTURE_2D ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP, texture);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &h);
    std::vector<unsigned char> pixels(size_t(w) * h * 4);
    glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

bool firstRowIsRed(const std::vector<unsigned char>& rgba) { return rgba[0] == 255 && rgba[2] == 0; }
// stb's flip reverses the rows in memory, so GL's row 0 is then the file's bottom row.
bool decodedFlipped(const std::vector<unsigned char>& rgba) { return rgba[0] == 0 && rgba[2] == 255; }

} // namespace

TEST_F(ResourceSetUp, with_every_file_present_prints_nothing) {
    EXPECT_EQ(build(), "");
    for (const Model* model : {&res.donutModel, &res.forestShipModel, &res.duckModel, &res.donutModel2,
                               &res.duckModel2, &res.ship4Model, &res.ship2Model})
        EXPECT_EQ(model->meshes.size(), 1u);
}

TEST_F(ResourceSetUp, programs_are_built_in_order_from_their_file_pairs) {
    startRecording();
    build();
    std::vector<GlCall> sources = callsNamed(stopRecording(), "glShaderSource");
    ASSERT_EQ(sources.size(), 34u);
    for (size_t i = 0; i < 17; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(sources[2 * i].uniform.find(kProgramFiles[i][0]), std::string::npos);
        EXPECT_NE(sources[2 * i + 1].uniform.find(kProgramFiles[i][1]), std::string::npos);
    }
    EXPECT_NE(res.planetShader.id, res.planetShader2.id) << "the same pair builds twice";
}

TEST_F(ResourceSetUp, logos_load_first_then_the_switches_then_the_programs) {
    startRecording();
    build();
    std::vector<std::string> order = callNames(
        stopRecording(), {"glTexImage2D", "glEnable", "glCreateProgram"});
    std::vector<std::string> expected(13, "glTexImage2D");
    expected.insert(expected.end(), {"glEnable", "glEnable"});
    expected.insert(expected.end(), 10, "glCreateProgram");
    ASSERT_GE(order.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + expected.size()), expected);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_PROGRAM_POINT_SIZE));
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LESS);
}

TEST_F(ResourceSetUp, samplers_point_at_their_units) {
    build();
    auto sampler = [](const ShaderProgram& program, const char* name) {
        GLint unit = -1;
        glGetUniformiv(program.id, glGetUniformLocation(program.id, name), &unit);
        return unit;
    };
    for (const ShaderProgram* sky : {&res.fragCoordSkyShader, &res.wellSkyShader, &res.titleSkyShader,
                                     &res.forestSkyShader, &res.duckCitySkyShader, &res.tampereSkyShader})
        EXPECT_EQ(sampler(*sky, "skybox"), 0);
    EXPECT_EQ(sampler(res.instancingShader, "texture1"), 0);
    EXPECT_EQ(sampler(res.point15Shader, "texture15"), 2);
}

TEST_F(ResourceSetUp, model_textures_and_the_picture_are_flipped_but_cube_faces_are_not) {
    build();
    EXPECT_TRUE(decodedFlipped(texelRows(GL_TEXTURE_2D, res.greetLogo1)));
    EXPECT_TRUE(decodedFlipped(texelRows(GL_TEXTURE_2D, res.molvanianTexture)));
    for (const Model* model : {&res.donutModel, &res.ship2Model}) {
        ASSERT_EQ(model->meshes[0].textures.size(), 1u);
        EXPECT_TRUE(decodedFlipped(texelRows(GL_TEXTURE_2D, model->meshes[0].textures[0].id)));
    }
    // Cube faces keep the file's row order.
    std::vector<unsigned char> face = texelRows(GL_TEXTURE_CUBE_MAP_POSITIVE_X, res.helsinkiCubemap);
    EXPECT_TRUE(firstRowIsRed(face));
    EXPECT_EQ(face[8], 0);  // row 1 is blue
    EXPECT_EQ(face[10], 255);
}

TEST_F(ResourceSetUp, one_missing_logo_is_reported_and_the_rest_load) {
    fs::remove("imgs/greet05.png");
    EXPECT_EQ(build(), "Texture failed to load at path: imgs/greet05.png\n");
    EXPECT_NE(res.greetLogo5, 0u);
    EXPECT_NE(res.greetLogo6, res.greetLogo5);
    EXPECT_TRUE(decodedFlipped(texelRows(GL_TEXTURE_2D, res.greetLogo6)));
}

TEST_F(ResourceSetUp, missing_unused_ship_is_reported_and_leaves_an_empty_model) {
    fs::remove("imgs/ship2.obj");
    std::string out = build();
    EXPECT_EQ(out.rfind("ERROR::ASSIMP:: ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_TRUE(res.ship2Model.meshes.empty());
    EXPECT_EQ(res.ship4Model.meshes.size(), 1u);
}

TEST_F(ResourceSetUp, loop_values_start_at_the_wide_projection_and_zero) {
    loop.endValue = loop.mixItUpValue = 5.0f;
    build();
    glm::mat4 expected = glm::perspective(0.7853982f, 1920.0f / 1080.0f, 0.1f, 100.0f);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(loop.projection[c][r], expected[c][r], 1e-6);
    EXPECT_EQ(loop.endValue, 0.0f);
    EXPECT_EQ(loop.mixItUpValue, 0.0f);
}
