// Windows 1, 2, 6 and 7 run at chosen instants on a real context, their GL calls
// recorded and compared with the values their formulas give at the clock readings.
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "app/resources.h"
#include "gl_context.h"
#include "gl_recorder.h"
#include "scenes/scenes.h"

namespace {

// One program source declares every uniform these scenes feed, with its type, and uses
// each: a misspelt name finds no location, a set of the wrong type is a GL error.
const char* const kVertexSource = R"(#version 330 core
layout(location = 0) in vec3 position;
uniform mat4 view, projection, model, transform2, transform3, transform4;
uniform vec2 u_resolution, offsets[36];
uniform float u_time, timer, time;
void main() {
    gl_Position = vec4(position, view[0][0] + projection[0][0] + model[0][0] + transform2[0][0]
        + transform3[0][0] + transform4[0][0] + u_resolution.x + offsets[gl_InstanceID % 36].x
        + u_time + timer + time);
})";
const char* const kFragmentSource = R"(#version 330 core
uniform sampler2D texture1, texture15, texture_diffuse1;
uniform samplerCube skybox;
out vec4 colour;
void main() {
    colour = texture(texture1, vec2(0.5)) + texture(texture15, vec2(0.5))
        + texture(texture_diffuse1, vec2(0.5)) + texture(skybox, vec3(1.0));
})";

struct Rig {
    SceneResources res;
    LoopValues loop;
};

Rig buildRig() {
    Rig rig;
    SceneResources& res = rig.res;
    TempDir dir;
    writeTextFile(dir.file("all.vs"), kVertexSource);
    writeTextFile(dir.file("all.fs"), kFragmentSource);
    for (ShaderProgram* p :
         {&res.point15Shader, &res.model13Shader, &res.titleSkyShader, &res.planetShader,
          &res.wellSkyShader, &res.instancingShader, &res.tampereSkyShader, &res.pointLastShader}) {
        *p = ShaderProgram(dir.file("all.vs").c_str(), dir.file("all.fs").c_str());
        // The cube sampler gets a unit of its own: mixed sampler types may not share one.
        p->use();
        p->setInt("skybox", 3);
    }
    writeTextFile(dir.file("donut.obj"),
                  "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n");
    res.donutModel = Model(dir.file("donut.obj"));
    res.donutModel2 = res.donutModel;
    setupQuadOffsets(res.geometry);
    setupInstancedQuad(res.geometry);
    setupSkybox(res.geometry);
    setupTexturedQuad(res.geometry);
    for (unsigned* t :
         {&res.greetLogo1, &res.greetLogo2, &res.greetLogo3, &res.greetLogo4, &res.greetLogo5,
          &res.greetLogo6, &res.greetLogo7, &res.greetLogo8, &res.greetLogo9, &res.greetLogo10,
          &res.greetLogo11, &res.greetLogo12, &res.greetLogo13, &res.molvanianTexture,
          &res.titleCubemap, &res.creditsCubemap, &res.tampereCubemap})
        glGenTextures(1, t);
    return rig;
}

Rig& rig() {
    static Rig built = buildRig();
    return built;
}

struct Frame {
    std::vector<GlCall> calls;
    double before, after;  // the clock just before and just after the scene
};

Frame run(void (*scene)(float, SceneResources&, LoopValues&), float demoTime) {
    rig();
    glfwSetTime(double(demoTime) + 13.0);
    startRecording();
    const double before = glfwGetTime();
    scene(demoTime, rig().res, rig().loop);
    Frame frame{{}, before, glfwGetTime()};
    frame.calls = stopRecording();
    for (const GlCall& c : frame.calls)
        if (c.name.rfind("glUniform", 0) == 0)
            EXPECT_NE(c.ints[0], -1) << c.uniform;
    return frame;
}

std::vector<GlCall> setsOn(const Frame& f, const ShaderProgram& p, const std::string& uniform) {
    std::vector<GlCall> sets;
    for (const GlCall& c : uniformSets(f.calls, uniform))
        if (c.program == p.id)
            sets.push_back(c);
    return sets;
}

glm::mat4 matrixOn(const Frame& f, const ShaderProgram& p, const std::string& uniform) {
    const std::vector<GlCall> sets = setsOn(f, p, uniform);
    EXPECT_EQ(sets.size(), 1u) << uniform;
    if (sets.size() != 1 || sets[0].name != "glUniformMatrix4fv")
        return glm::mat4(0.0f);
    return glm::make_mat4(sets[0].floats.data());
}

glm::mat4 clipOf(const Frame& f, const ShaderProgram& p) {
    return matrixOn(f, p, "projection") * matrixOn(f, p, "view") * matrixOn(f, p, "model");
}

// Each component lies between the formula at the two clock readings, give or take
// what readings of the clock at different instants inside the scene can add: no
// formula here moves a component faster than 3 per second.
template <typename Value, typename Formula>
void expectOverClock(const Frame& f, const Value& actual, Formula formula) {
    const Value lo = formula(f.before), hi = formula(f.after);
    const float slack = float(1e-4 + 3.0 * (f.after - f.before));
    const float* a = glm::value_ptr(actual);
    for (size_t i = 0; i < sizeof(Value) / sizeof(float); ++i) {
        EXPECT_GE(a[i], std::min(glm::value_ptr(lo)[i], glm::value_ptr(hi)[i]) - slack) << i;
        EXPECT_LE(a[i], std::max(glm::value_ptr(lo)[i], glm::value_ptr(hi)[i]) + slack) << i;
    }
}
template <typename Value>
auto fixed(Value v) {
    return [v](double) { return v; };
}

// Angle times unit axis of a rotation matrix.
glm::vec3 rotationVector(const glm::mat4& m) {
    const glm::vec3 v(m[1][2] - m[2][1], m[2][0] - m[0][2], m[0][1] - m[1][0]);
    const float sine = glm::length(v) / 2.0f;
    const float angle = std::atan2(sine, (m[0][0] + m[1][1] + m[2][2] - 1.0f) / 2.0f);
    return sine < 1e-6f ? v / 2.0f : v * (angle / (2.0f * sine));
}

GLint bound(GLenum what) {
    GLint value = 0;
    glGetIntegerv(what, &value);
    return value;
}

double single(double x) {
    return double(float(x));
}
const float kAspect = 1920.0f / 1080.0f;
const glm::vec3 kUp(0.0f, 1.0f, 0.0f);

struct OpeningScene : GlTest {};
struct CreditsScene : GlTest {};
struct GreetingsScene : GlTest {};
struct ClosingLogoScene : GlTest {};

}  // namespace

TEST_F(OpeningScene, each_stretch_draws_its_pieces_in_order) {
    const SceneResources& res = rig().res;
    using Draws = std::vector<std::pair<std::string, unsigned>>;
    const std::pair<std::string, unsigned> donut{"glDrawElements", res.model13Shader.id},
        quad{"glDrawElements", res.point15Shader.id}, sky{"glDrawArrays", res.titleSkyShader.id};
    const struct {
        float demoTime;
        Draws drawn;
        GLint vao, unit;
    } cases[] = {{-4.0f, {quad}, GLint(res.geometry.texturedQuadVAO), GL_TEXTURE2},
                 {1.5f, {quad}, GLint(res.geometry.texturedQuadVAO), GL_TEXTURE2},
                 {3.0f, {donut, quad}, GLint(res.geometry.texturedQuadVAO), GL_TEXTURE2},
                 {6.0f, {donut}, 0, GL_TEXTURE0},
                 {10.0f, {donut, sky}, 0, GL_TEXTURE0}};
    for (const auto& c : cases) {
        const Frame f = run(drawOpening, c.demoTime);
        Draws drawn;
        for (const GlCall& call : f.calls)
            if (call.name.rfind("glDraw", 0) == 0)
                drawn.emplace_back(call.name, call.program);
        EXPECT_EQ(drawn, c.drawn) << c.demoTime;
        EXPECT_EQ(bound(GL_VERTEX_ARRAY_BINDING), c.vao) << c.demoTime;
        EXPECT_EQ(bound(GL_ACTIVE_TEXTURE), c.unit) << c.demoTime;
        EXPECT_EQ(bound(GL_DEPTH_FUNC), GL_LESS);
    }
    // The quad reads its picture from unit 2 through an identity projection.
    const Frame f = run(drawOpening, 3.0f);
    EXPECT_EQ(bound(GL_TEXTURE_BINDING_2D), GLint(res.molvanianTexture));
    expectOverClock(f, clipOf(f, res.point15Shader) * glm::vec4(0.5f, -0.5f, 0.0f, 1.0f),
                    fixed(glm::vec4(0.775f, -0.575f, 0.9f, 1.0f)));
    EXPECT_EQ(setsOn(f, res.point15Shader, "u_time").at(0).floats, std::vector<float>{3.0f});
}

TEST_F(OpeningScene, donut_gets_model_without_and_transform2_with_the_spin) {
    const ShaderProgram& program = rig().res.model13Shader;
    const auto donut = [](double tau) {
        glm::mat4 m = glm::translate(glm::mat4(1.0f),
                                     glm::vec3(float(std::sin(tau) / single(3.14)), 0.1f, 0.3f));
        m = glm::rotate(m, float(std::fabs(std::cos(tau) * single(3.14)) * single(1.2)),
                        glm::vec3(0.314f, 0.3f, -0.1f));
        return glm::scale(m, glm::vec3(0.3f));
    };
    for (float demoTime : {1.6f, 12.0f}) {
        const Frame f = run(drawOpening, demoTime);
        expectOverClock(f, matrixOn(f, program, "model"), donut);
        expectOverClock(f, matrixOn(f, program, "transform2"), [&](double tau) {
            return glm::rotate(donut(tau), float(tau), glm::vec3(0.0f, 0.0f, -1.0f));
        });
    }
}

TEST_F(CreditsScene, sky_turn_jumps_at_33_through_rest) {
    const ShaderProgram& sky = rig().res.wellSkyShader;
    const Frame atBound = run(drawCredits, 33.0f);
    expectOverClock(atBound, matrixOn(atBound, sky, "transform4"), fixed(glm::mat4(1.0f)));
    const auto wander = [](double tau) { return float(std::sin(tau) * single(16.5)); };
    const auto bob = [](double tau) { return float(std::cos(tau) * single(0.55)); };
    const Frame before = run(drawCredits, 32.9f);
    expectOverClock(before, rotationVector(matrixOn(before, sky, "transform4")), [&](double tau) {
        return glm::radians(65.0f) * glm::normalize(glm::vec3(wander(tau) + bob(tau),
                                                              float(std::cos(tau) * -12.0), 40.0f));
    });
    const Frame after = run(drawCredits, 33.1f);
    expectOverClock(after, rotationVector(matrixOn(after, sky, "transform4")), [&](double tau) {
        return glm::radians(45.0f) * glm::normalize(glm::vec3(float(std::cos(tau) * 12.0 - 10.0),
                                                              wander(tau) * 5.0f + 65.0f, 30.0f));
    });
}

TEST_F(CreditsScene, leaves_the_near_0_01_perspective_for_the_city_windows) {
    const Frame f = run(drawCredits, 25.0f);
    const glm::mat4 projection = glm::perspective(glm::radians(45.0f), kAspect, 0.01f, 100.0f);
    glm::mat4 turnOnly = glm::lookAt(glm::vec3(0, 0, 40), glm::vec3(12, 7, 0), kUp);
    turnOnly[3] = glm::vec4(0.0f, 0.0f, 0.0f, 1.0f);
    expectOverClock(f, rig().loop.projection, fixed(projection));
    expectOverClock(f, matrixOn(f, rig().res.planetShader, "projection"), fixed(projection));
    expectOverClock(f, rig().loop.view, fixed(turnOnly));
    expectOverClock(f, matrixOn(f, rig().res.wellSkyShader, "view"), fixed(turnOnly));
    EXPECT_EQ(callsNamed(f.calls, "glBindTexture").back().ints,
              (std::vector<long long>{GL_TEXTURE_CUBE_MAP, rig().res.creditsCubemap}));
}

TEST_F(GreetingsScene, logos_follow_the_schedule_and_gaps_keep_the_last_one) {
    const SceneResources& r = rig().res;
    const unsigned logos[] = {r.greetLogo1, r.greetLogo2,  r.greetLogo3,  r.greetLogo4,
                              r.greetLogo5, r.greetLogo6,  r.greetLogo7,  r.greetLogo8,
                              r.greetLogo9, r.greetLogo10, r.greetLogo11, r.greetLogo12};
    // instant, logo on unit 0 after it (1..12), whether this frame bound it itself.
    const struct {
        float demoTime;
        int logo;
        bool binds;
    } cases[] = {{165.0f, 1, true},  {170.0f, 1, false}, {172.5f, 1, false},  {175.0f, 1, false},
                 {178.0f, 2, true},  {181.0f, 2, false}, {184.0f, 3, true},   {190.0f, 4, true},
                 {196.0f, 5, true},  {203.9f, 6, true},  {204.0f, 6, false},  {204.1f, 7, true},
                 {210.9f, 7, true},  {214.0f, 8, true},  {220.0f, 9, true},   {226.0f, 10, true},
                 {232.0f, 11, true}, {238.0f, 12, true}, {241.0f, 12, false}, {246.5f, 12, false}};
    for (const auto& c : cases) {
        const Frame f = run(drawGreetings, c.demoTime);
        size_t binds2D = 0;
        for (const GlCall& call : callsNamed(f.calls, "glBindTexture"))
            binds2D += call.ints[0] == GL_TEXTURE_2D;
        EXPECT_EQ(binds2D, c.binds ? 1u : 0u) << c.demoTime;
        EXPECT_EQ(bound(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
        EXPECT_EQ(bound(GL_TEXTURE_BINDING_2D), GLint(logos[c.logo - 1])) << c.demoTime;
    }
}

TEST_F(GreetingsScene, quads_change_camera_at_205_and_stop_at_246) {
    const ShaderProgram& quads = rig().res.instancingShader;
    // instant, quad camera's vertical field of view (0: no quads drawn).
    const struct {
        float demoTime, degrees;
    } cases[] = {{190.0f, 130.0f}, {204.9f, 130.0f}, {205.0f, 0.0f}, {205.1f, 145.0f},
                 {245.9f, 145.0f}, {246.0f, 0.0f},   {246.9f, 0.0f}};
    for (const auto& c : cases) {
        const Frame f = run(drawGreetings, c.demoTime);
        SCOPED_TRACE(c.demoTime);
        const auto drawn = callsNamed(f.calls, "glDrawElementsInstanced");
        EXPECT_EQ(callsNamed(f.calls, "glDrawArrays").size(), 1u);
        ASSERT_EQ(drawn.size(), c.degrees == 0.0f ? 0u : 1u);
        if (drawn.empty())
            continue;
        EXPECT_EQ(drawn[0].ints, (std::vector<long long>{GL_TRIANGLES, 6, GL_UNSIGNED_INT, 0, 36}));
        expectOverClock(f, matrixOn(f, quads, "projection"),
                        fixed(glm::perspective(glm::radians(c.degrees), kAspect, 0.001f, 200.0f)));
    }
}

TEST_F(GreetingsScene, frame_resets_matrices_feeds_sampler_offsets_and_sky) {
    const SceneResources& res = rig().res;
    const Frame f = run(drawGreetings, 190.0f);
    std::vector<std::string> order;
    for (const GlCall& c : f.calls)
        if (c.name != "glGetUniformLocation")
            order.push_back(c.name.rfind("glUniform", 0) == 0 && c.uniform.rfind("offsets", 0) != 0
                                ? c.uniform
                                : c.name);
    std::vector<std::string> expected = {
        "glUseProgram",  "texture1",     "texture1", "glActiveTexture",
        "glBindTexture", "glUseProgram", "texture1", "texture1",
        "projection",    "view",         "model"};
    expected.insert(expected.end(), 36, "glUniform2fv");
    expected.insert(
        expected.end(),
        {"glBindVertexArray", "timer", "glDrawElementsInstanced", "glDepthFunc", "glUseProgram",
         "transform3", "time", "projection", "view", "glBindVertexArray", "glActiveTexture",
         "glBindTexture", "glDrawArrays", "glBindVertexArray", "glDepthFunc"});
    EXPECT_EQ(order, expected);
    for (const GlCall& set : setsOn(f, res.instancingShader, "texture1"))
        EXPECT_EQ(set.ints[1], 0);
    for (int k = 0; k < 36; ++k) {  // grid row k / 6, column k % 6
        const float x = float(-8 + 3 * (k % 6)), y = float(-13 + 3 * (k / 6));
        EXPECT_EQ(
            setsOn(f, res.instancingShader, "offsets[" + std::to_string(k) + "]").at(0).floats,
            (std::vector<float>{x / 2.2f + 1.2f, y / 2.2f + 1.2f}));
    }
    EXPECT_EQ(setsOn(f, res.tampereSkyShader, "time").at(0).floats, std::vector<float>{190.0f});
    const auto skyView = [](double tau) {
        const float s = sinf(float(tau - 150.0));
        glm::mat4 v = glm::lookAt(glm::vec3(15 * s, 6 * s, s), glm::vec3(15.1f, 15.0f, 5.1f), kUp);
        v[3] = glm::vec4(0.0f, 0.0f, 0.0f, 1.0f);
        return v;
    };
    expectOverClock(f, rig().loop.view, skyView);
    EXPECT_EQ(rig().loop.model, glm::mat4(1.0f));
    EXPECT_EQ(rig().loop.projection, glm::mat4(1.0f));
}

TEST_F(ClosingLogoScene, logo_13_covers_the_middle_half_with_fixed_resolution_and_demo_time) {
    const SceneResources& res = rig().res;
    const Frame f = run(drawClosingLogo, 250.5f);
    const auto resolution = setsOn(f, res.pointLastShader, "u_resolution");
    const auto time = setsOn(f, res.pointLastShader, "u_time");
    ASSERT_EQ(resolution.size(), 1u);
    ASSERT_EQ(time.size(), 1u);
    EXPECT_EQ(resolution[0].name + " " + time[0].name, "glUniform2f glUniform1f");
    EXPECT_EQ(resolution[0].floats, (std::vector<float>{1920.0f, 1080.0f}));
    EXPECT_EQ(time[0].floats, std::vector<float>{250.5f});
    expectOverClock(f, clipOf(f, res.pointLastShader) * glm::vec4(-0.5f, 0.5f, 0.0f, 1.0f),
                    fixed(glm::vec4(-0.5f, 0.5f, 0.9f, 1.0f)));
    EXPECT_EQ(callsNamed(f.calls, "glDrawElements").back().ints,
              (std::vector<long long>{GL_TRIANGLES, 6, GL_UNSIGNED_INT, 0}));
    EXPECT_EQ(bound(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_EQ(bound(GL_TEXTURE_BINDING_2D), GLint(res.greetLogo13));
    EXPECT_EQ(bound(GL_VERTEX_ARRAY_BINDING), GLint(res.geometry.texturedQuadVAO));
}
