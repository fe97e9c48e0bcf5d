// Windows 3 to 5 (Helsinki, two-shed city, duck city) on a real context: each frame is
// recorded, and its uniforms and draws are compared with values worked out here.
#include "gl_context.h"
#include "gl_recorder.h"
#include <cmath>
#include <filesystem>
#include <utility>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include "app/resources.h"
#include "scenes/scenes.h"

namespace {

// Stand-ins for the demo's shader files, declaring and using every uniform the three
// scenes feed so the driver keeps them; and a one-triangle model so each draw shows.
const char* const kShaderFiles[] = {
    "pointTest3-texture.vs", "pointTest2.vs", "10.3.planet.vs", "6.FragCoordTest.skybox.vs",
    "1.reflect.model_loading.vs", "well.skybox.vs", "6.5.skybox.vs", "1.3.model_loading.vs",
    "1.refract.model_loading.vs", "DuckCity.VertexS.vs", "1.model_loading.vs",
    "6.Tampere.skybox.vs", "instancing2.vs", "pointTestLast.fs", "pointTest12.fs",
    "pointTest15-texture.fs", "10.3.planet.fs", "6.Alt.FragCoordTest.skybox2.fs",
    "1.reflect.model_loading.fs", "6.2.skybox.fs", "1.model_loading.fs",
    "6.Refr.FragCoordTest.Forest.skybox.fs", "1.refract.model_loading.fs",
    "6.Tampere.skybox.fs", "instancing3.fs", "2.stencil_single_color.fs",
};
const char* const kVertexShader = R"(#version 330 core
layout (location = 0) in vec3 aPos;
uniform mat4 model, view, projection, transform3;
void main() { gl_Position = projection * view * model * transform3 * vec4(aPos, 1.0); }
)";
const char* const kFragmentShader = R"(#version 330 core
out vec4 color;
uniform float time, end, mixItUp, u_time;
uniform vec2 u_resolution;
void main() { color = vec4(time + end, mixItUp + u_time, u_resolution); }
)";
const char* const kModelFiles[] = {"donut4.obj", "ForestShip.obj", "DuckPart2.4.textured.obj",
                                   "ship4.obj", "ship2.obj"};
const char* const kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n";

constexpr float kQuarter = 0.7853982f;  // 45 degrees
constexpr float kTurn190 = 3.3161256f;  // 190 degrees
const glm::mat4 kIdentity(1.0f);
const glm::vec3 kUp(0.0f, 1.0f, 0.0f);

struct Frame {
    std::vector<GlCall> calls;
    double begin, end;  // the clock around the frame: every reading inside lies between
};
using Draw = std::pair<unsigned, std::string>;  // program, draw call

struct ScenesB : GlTest {
    static SceneResources res;
    static LoopValues loop;

    // Every suite below shares one build of the resources.
    static void SetUpTestSuite() {
        static bool built = false;
        if (built) return;
        built = true;
        testWindow();
        TempDir dir;
        std::filesystem::create_directory(dir.file("shdrs"));
        std::filesystem::create_directory(dir.file("imgs"));
        for (const char* name : kShaderFiles) {
            const std::string file(name);
            const bool vertex = file.substr(file.size() - 3) == ".vs";
            writeTextFile(dir.file("shdrs/" + file), vertex ? kVertexShader : kFragmentShader);
        }
        for (const char* name : kModelFiles) writeTextFile(dir.file(std::string("imgs/") + name), kTriangle);
        const auto home = std::filesystem::current_path();
        std::filesystem::current_path(dir.path);
        StdoutCapture quiet;  // the images are missing on purpose
        quiet.begin();
        buildSceneResources(res, loop);
        quiet.end();
        std::filesystem::current_path(home);
        // As the credits window leaves it for windows 3 to 5.
        loop.projection = glm::perspective(kQuarter, 1.7777778f, 0.01f, 100.0f);
        // The driver builds its code for a program at its first draws; a frame of each
        // stretch first keeps that out of the timed frames below.
        for (float t : {41.0f, 50.0f, 110.0f, 118.0f, 125.0f, 140.0f}) {
            if (t < 95.0f) drawHelsinki(t, res, loop);
            else if (t < 130.0f) drawTwoShedCity(t, res, loop);
            else drawDuckCity(t, res, loop);
        }
        EXPECT_EQ(takeGlError(), GLenum(GL_NO_ERROR));
    }

    static Frame run(void (*scene)(float, SceneResources&, LoopValues&), float demoTime) {
        glfwSetTime(double(demoTime) + 13.0);
        const double begin = glfwGetTime();
        startRecording();
        scene(demoTime, res, loop);
        std::vector<GlCall> calls = stopRecording();
        const double end = glfwGetTime();
        GLint vao = -1, unit = -1, depth = -1;
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
        glGetIntegerv(GL_DEPTH_FUNC, &depth);
        EXPECT_EQ(vao, 0) << "at " << demoTime;
        EXPECT_EQ(unit, GL_TEXTURE0) << "at " << demoTime;
        EXPECT_EQ(depth, GL_LESS) << "at " << demoTime;
        return {std::move(calls), begin, end};
    }
};
SceneResources ScenesB::res;
LoopValues ScenesB::loop;

std::vector<GlCall> sets(const Frame& f, const ShaderProgram& p, const char* name) {
    std::vector<GlCall> found;
    for (const GlCall& c : uniformSets(f.calls, name))
        if (c.program == p.id) found.push_back(c);
    return found;
}
std::vector<glm::mat4> mats(const Frame& f, const ShaderProgram& p, const char* name) {
    std::vector<glm::mat4> found;
    for (const GlCall& c : sets(f, p, name)) found.push_back(glm::make_mat4(c.floats.data()));
    return found;
}
std::vector<float> floats(const Frame& f, const ShaderProgram& p, const char* name) {
    std::vector<float> found;
    for (const GlCall& c : sets(f, p, name)) found.push_back(c.floats.at(0));
    return found;
}
std::vector<Draw> draws(const Frame& f) {
    std::vector<Draw> found;
    for (const GlCall& c : f.calls)
        if (c.name.rfind("glDraw", 0) == 0) found.emplace_back(c.program, c.name);
    return found;
}

// The clock as the expected values see it: it hands out a frame's readings in order,
// the first `early` of them at the frame's first instant and the rest at its last.
// The scene's readings rise through the frame, so for formulas that are smooth over
// it these step sequences bound every value the scene can have computed.
struct StepClock {
    double begin, end;
    int early, count = 0;
    double operator()() { return count++ < early ? begin : end; }
};

::testing::AssertionResult within(const std::vector<glm::mat4>& actual,
                                  const std::vector<std::vector<glm::mat4>>& samples) {
    for (const auto& sample : samples)
        if (sample.size() != actual.size())
            return ::testing::AssertionFailure() << actual.size() << " matrices, expected "
                                                 << sample.size();
    for (size_t k = 0; k < actual.size(); ++k)
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double lo = samples[0][k][i][j], hi = lo;
                for (const auto& sample : samples) {
                    lo = std::min(lo, double(sample[k][i][j]));
                    hi = std::max(hi, double(sample[k][i][j]));
                }
                const double a = actual[k][i][j];
                const double rounding = 1e-5 * (1.0 + std::abs(lo));
                if (!(a >= lo - rounding && a <= hi + rounding))
                    return ::testing::AssertionFailure() << "matrix " << k << " [" << i << "]["
                                                         << j << "] is " << a << ", expected "
                                                         << lo << " to " << hi;
            }
    return ::testing::AssertionSuccess();
}
::testing::AssertionResult near(const std::vector<glm::mat4>& actual,
                                const std::vector<glm::mat4>& expected) {
    return within(actual, {expected});
}
// expectedAt(clock) works the matrices out, reading the clock where the formulas do.
template <typename ExpectedAt>
::testing::AssertionResult near(const std::vector<glm::mat4>& actual, ExpectedAt expectedAt,
                                const Frame& f) {
    StepClock probe{f.begin, f.end, 0};
    expectedAt(probe);
    std::vector<std::vector<glm::mat4>> samples;
    for (int early = 0; early <= probe.count; ++early) {
        StepClock clock{f.begin, f.end, early};
        samples.push_back(expectedAt(clock));
    }
    return within(actual, samples);
}

glm::mat4 noTranslation(const glm::mat4& m) { return glm::mat4(glm::mat3(m)); }

// ---- Helsinki -----------------------------------------------------------------------

struct HelsinkiScene : ScenesB {};

const glm::mat4 kHelsinkiView =
    glm::lookAt(glm::vec3(1.0f, 0.0f, -30.0f), glm::vec3(0.0f, 5.0f, 0.0f), kUp);

// The three readings every frame opens with.
struct Opening {
    float s, c, m;
    Opening(StepClock& tau, float t)
        : s(float(std::sin(tau()) * 10.0)), c(float(std::cos(tau()) * 10.0)),
          m(float(std::sin(tau()) * 5.0 * t)) {}
};
// The swing of the later ship stretches: one of its scales is the carried value.
glm::mat4 swing(glm::mat4 n, const Opening& o, double tau, const glm::vec3& squeeze) {
    n = glm::translate(n, glm::vec3(o.s, 0.0f, o.c * 1.3f));
    n = glm::rotate(n, kQuarter, glm::vec3(o.c, o.m, float(std::sin(tau * 20.0))));
    return glm::scale(n, squeeze);
}
glm::mat4 groupC(glm::mat4 n, const Opening& o, float t) {
    n = glm::translate(n, glm::vec3(-o.s, tanf(-t), kQuarter));
    n = glm::rotate(n, kTurn190, glm::vec3(tanf(t), tanf(-t / 3.0f) * 3.333f, tanf(t - 0.01f)));
    return glm::scale(n, glm::vec3(0.4f));
}
glm::mat4 groupD(float t) {
    glm::mat4 n = glm::translate(kIdentity, glm::vec3(-0.3f, 3.0f, tanf(-t / (0.1f - t))));
    n = glm::rotate(n, kTurn190,
                    glm::vec3(tanf(-t), -cosf(t / 3.333f) * 3.333f, -atanf(t - 0.333f)));
    return glm::scale(n, glm::vec3(0.4f));
}
glm::mat4 skyTurn(float t, StepClock& tau) {
    glm::mat4 s = glm::scale(kIdentity, glm::vec3(0.2f / cosf(t), cosf(t), cosf(t)));
    const double tau0 = tau(), tau1 = tau(), tau2 = tau();
    return glm::rotate(s, kTurn190, glm::vec3(float(std::tan(tau1) - std::tan(tau2)), 4.0f,
                                              float(std::sin(tau0) - double(0.333f))));
}

TEST_F(HelsinkiScene, shader_picture_before_43_and_nothing_on_43) {
    const Frame f = run(drawHelsinki, 41.0f);
    const ShaderProgram& p = res.point12Shader;
    EXPECT_EQ(draws(f), (std::vector<Draw>{{p.id, "glDrawElements"}}));
    ASSERT_EQ(sets(f, p, "u_resolution").size(), 1u);
    EXPECT_EQ(sets(f, p, "u_resolution")[0].floats, (std::vector<float>{1920.0f, 1080.0f}));
    EXPECT_EQ(floats(f, p, "u_time"), std::vector<float>{41.0f});
    EXPECT_TRUE(near(mats(f, p, "view"), {glm::lookAt(glm::vec3(0, 0, 1), glm::vec3(0), kUp)}));
    EXPECT_TRUE(near(mats(f, p, "projection"), {kIdentity}));
    const glm::mat4 quad = glm::scale(glm::translate(kIdentity, glm::vec3(0, 0, 1.9f)),
                                      glm::vec3(10.3f));
    EXPECT_TRUE(near(mats(f, p, "model"), {quad}));

    EXPECT_TRUE(run(drawHelsinki, 43.0f).calls.empty());
}

TEST_F(HelsinkiScene, sky_alone_until_45_then_ship_before_it) {
    const Frame sky = run(drawHelsinki, 45.0f);
    EXPECT_EQ(draws(sky), (std::vector<Draw>{{res.fragCoordSkyShader.id, "glDrawArrays"}}));

    const Frame f = run(drawHelsinki, 45.5f);
    EXPECT_EQ(draws(f), (std::vector<Draw>{{res.reflectShader.id, "glDrawElements"},
                                           {res.fragCoordSkyShader.id, "glDrawArrays"}}));
    EXPECT_TRUE(near(mats(f, res.reflectShader, "view"), {kHelsinkiView}));
    EXPECT_TRUE(near(mats(f, res.reflectShader, "projection"), {loop.projection}));
    EXPECT_TRUE(near(mats(f, res.fragCoordSkyShader, "view"), {noTranslation(kHelsinkiView)}));
    EXPECT_TRUE(near(mats(f, res.fragCoordSkyShader, "projection"), {loop.projection}));
    ASSERT_FALSE(callsNamed(f.calls, "glBindTexture").empty());
    EXPECT_EQ(callsNamed(f.calls, "glBindTexture").back().ints,
              (std::vector<long long>{GL_TEXTURE_CUBE_MAP, res.helsinkiCubemap}));
}

TEST_F(HelsinkiScene, ship_groups_follow_the_stretches) {
    const float k = 0.75f;
    const glm::vec3 kY(0.4f, k, 0.4f), kZ(0.4f, 0.4f, k);
    const float instants[] = {50.0f, 61.0f, 74.0f, 77.0f, 81.0f, 88.0f};
    for (float t : instants) {
        loop.mixItUpValue = k;
        const Frame f = run(drawHelsinki, t);
        const auto expected = [&](StepClock& tau) -> std::vector<glm::mat4> {
            const Opening o(tau, t);
            if (t == 61.0f) return {groupC(kIdentity, o, t)};
            if (t == 74.0f) return {groupC(swing(kIdentity, o, tau(), kZ), o, t)};
            if (t == 77.0f) return {swing(kIdentity, o, tau(), kZ)};
            if (t >= 81.0f) {
                const glm::mat4 a = swing(kIdentity, o, tau(), kY);
                return {swing(a, o, tau(), kZ)};
            }
            return {groupD(t)};
        };
        EXPECT_TRUE(near(mats(f, res.reflectShader, "model"), expected, f)) << "at " << t;
    }
}

TEST_F(HelsinkiScene, ship_stretches_by_the_previous_frames_value) {
    run(drawHelsinki, 75.0f);
    const Frame f = run(drawHelsinki, 76.0f);
    const auto expected = [](StepClock& tau) {
        const Opening o(tau, 76.0f);
        return std::vector<glm::mat4>{swing(kIdentity, o, tau(), {0.4f, 0.4f, -tanf(75.0f)})};
    };
    EXPECT_TRUE(near(mats(f, res.reflectShader, "model"), expected, f));
    EXPECT_EQ(floats(f, res.fragCoordSkyShader, "mixItUp"), std::vector<float>{-tanf(76.0f)});
    EXPECT_EQ(loop.mixItUpValue, -tanf(76.0f));
}

TEST_F(HelsinkiScene, sky_scales_and_turns_from_49_with_a_tilt_inside_65_to_77) {
    const ShaderProgram& p = res.fragCoordSkyShader;
    EXPECT_TRUE(near(mats(run(drawHelsinki, 49.0f), p, "transform3"), {kIdentity}));
    for (float t : {50.0f, 65.0f, 77.0f}) {
        const Frame f = run(drawHelsinki, t);
        const auto turned = [t](StepClock& tau) { return std::vector<glm::mat4>{skyTurn(t, tau)}; };
        EXPECT_TRUE(near(mats(f, p, "transform3"), turned, f)) << "at " << t;
        EXPECT_EQ(floats(f, p, "time"), std::vector<float>{t});
    }
    const Frame f = run(drawHelsinki, 70.0f);
    const auto tilted = [](StepClock& tau) {
        const glm::mat4 turned = skyTurn(70.0f, tau);
        return std::vector<glm::mat4>{
            glm::rotate(turned, kQuarter, glm::vec3(float(std::sin(tau())), -5.0f, -6.5f))};
    };
    EXPECT_TRUE(near(mats(f, p, "transform3"), tilted, f));
}

TEST_F(HelsinkiScene, end_latches_to_one_once_past_55) {
    const ShaderProgram& p = res.fragCoordSkyShader;
    loop.endValue = 0.0f;
    EXPECT_EQ(floats(run(drawHelsinki, 55.0f), p, "end"), std::vector<float>{0.0f});
    EXPECT_EQ(floats(run(drawHelsinki, 56.0f), p, "end"), std::vector<float>{1.0f});
    EXPECT_EQ(floats(run(drawHelsinki, 50.0f), p, "end"), std::vector<float>{1.0f});
    EXPECT_EQ(loop.endValue, 1.0f);
}

// ---- Two-shed city ------------------------------------------------------------------

struct TwoShedCityScene : ScenesB {};

const glm::mat4 kCityView =
    glm::lookAt(glm::vec3(1.0f, 0.0f, -90.0f), glm::vec3(0.0f, 1.0f, 0.0f), kUp);

// Braced lists read the clock left to right; the turn is worked out after the offset.
glm::mat4 pose(const glm::vec3& offset, StepClock& tau,
               glm::vec3 (*axisAt)(StepClock&, float), float t, const glm::vec3& squeeze) {
    const glm::mat4 moved = glm::translate(kIdentity, offset);
    return glm::scale(glm::rotate(moved, kQuarter, axisAt(tau, t)), squeeze);
}
glm::mat4 motionA(StepClock& tau, float t) {
    const glm::vec3 offset{float(std::abs(std::atan(tau()) * 13.0) + 10.0),
                           float(std::cos(tau() * 3.0)), float(std::sin(tau()) * 5.0)};
    return pose(offset, tau, [](StepClock& c, float t) {
        return glm::vec3{float(std::abs(std::sin(c()) * 11.0)), sinf(-t) * 2.0f, cosf(t) * 10.0f};
    }, t, glm::vec3(0.9f));
}
glm::mat4 motionB(StepClock& tau, float t) {
    const glm::vec3 offset{float(std::abs(std::cos(tau()) * 10.0)),
                           float(std::abs(std::sin(-tau()) * 4.0)), sinf(t) * 2.0f};
    return pose(offset, tau, [](StepClock& c, float t) {
        return glm::vec3{float(std::abs(2.0 * std::tan(c()))),
                         float(std::abs(std::atan(c()) * 5.0)), -cosf(t) * 6.0f};
    }, t, {0.7f, sinf(t) + 0.5f, sinf(t) * 0.5f});
}
glm::mat4 motionC(StepClock& tau, float t) {
    const glm::vec3 offset{float(std::abs(std::sin(tau()) * 15.0)),
                           float(std::abs(std::sin(tau()) + 10.0)),
                           float(std::abs(std::cos(tau()) * 10.0))};
    return pose(offset, tau, [](StepClock&, float t) {
        return glm::vec3{atanf(sinf(t)) * tanf(t), atanf(sinf(t)), -tanf(t)};
    }, t, {0.6f, 0.4f, 0.7f});
}
glm::mat4 motionD(StepClock& tau, float t) {
    const glm::vec3 offset{float(std::abs(std::tan(tau()) * 11.0)), sinf(-t),
                           float(std::abs(std::tan(tau()) * 7.0))};
    return pose(offset, tau, [](StepClock&, float t) {
        return glm::vec3{tanf(-t), sinf(t), sinf(t) * 0.7f};
    }, t, glm::vec3(0.7f));
}

TEST_F(TwoShedCityScene, sky_alone_before_105_and_on_it) {
    const ShaderProgram& sky = res.forestSkyShader;
    const Frame f = run(drawTwoShedCity, 100.0f);
    EXPECT_EQ(draws(f), (std::vector<Draw>{{sky.id, "glDrawArrays"}}));
    EXPECT_TRUE(near(mats(f, sky, "transform3"), {kIdentity}));
    EXPECT_EQ(floats(f, sky, "time"), std::vector<float>{100.0f});
    EXPECT_EQ(floats(f, sky, "mixItUp"), std::vector<float>{100.0f / 0.1f});
    EXPECT_EQ(loop.mixItUpValue, 100.0f / 0.1f);
    EXPECT_TRUE(near(mats(f, sky, "view"), {noTranslation(kCityView)}));
    EXPECT_TRUE(near(mats(f, sky, "projection"), {loop.projection}));

    // On 105 the first pose's camera is set, yet neither cube nor ship is drawn.
    const Frame on = run(drawTwoShedCity, 105.0f);
    EXPECT_EQ(draws(on), (std::vector<Draw>{{sky.id, "glDrawArrays"}}));
    EXPECT_TRUE(near(mats(on, res.refractShader, "view"), {kCityView}));
    EXPECT_TRUE(near(mats(on, res.refractShader, "projection"), {loop.projection}));
    EXPECT_TRUE(sets(on, res.refractShader, "model").empty());
}

TEST_F(TwoShedCityScene, end_is_one_before_106_zero_after_and_kept_on_it) {
    const ShaderProgram& sky = res.forestSkyShader;
    loop.endValue = 0.0f;
    EXPECT_EQ(floats(run(drawTwoShedCity, 100.0f), sky, "end"), std::vector<float>{1.0f});
    EXPECT_EQ(floats(run(drawTwoShedCity, 106.0f), sky, "end"), std::vector<float>{1.0f});
    loop.endValue = 0.0f;
    EXPECT_EQ(floats(run(drawTwoShedCity, 106.0f), sky, "end"), std::vector<float>{0.0f});
    loop.endValue = 1.0f;
    EXPECT_EQ(floats(run(drawTwoShedCity, 107.0f), sky, "end"), std::vector<float>{0.0f});
    EXPECT_EQ(loop.endValue, 0.0f);
}

TEST_F(TwoShedCityScene, ship_motions_follow_the_stretches) {
    const unsigned ship = res.refractShader.id;
    const std::vector<Draw> one{{ship, "glDrawArrays"}, {ship, "glDrawElements"},
                                {res.forestSkyShader.id, "glDrawArrays"}};
    std::vector<Draw> two = one;
    two.insert(two.begin(), one.begin(), one.begin() + 2);
    const float instants[] = {110.0f, 114.0f, 116.0f, 118.0f, 120.0f, 125.0f};
    for (float t : instants) {
        const Frame f = run(drawTwoShedCity, t);
        const auto expected = [t](StepClock& tau) {
            std::vector<glm::mat4> n{t <= 116.0f ? motionA(tau, t) : motionB(tau, t)};
            if (t > 114.0f) n.push_back(t <= 120.0f ? motionC(tau, t) : motionD(tau, t));
            return n;
        };
        EXPECT_TRUE(near(mats(f, res.refractShader, "model"), expected, f)) << "at " << t;
        EXPECT_EQ(draws(f), t > 114.0f ? two : one) << "at " << t;
    }
}

TEST_F(TwoShedCityScene, each_cube_shows_the_ship_drawn_before_it) {
    const Frame before = run(drawTwoShedCity, 118.0f);
    // What the program holds after the frame is what the next frame's first cube shows.
    GLfloat held[16];
    glGetUniformfv(res.refractShader.id,
                   glGetUniformLocation(res.refractShader.id, "model"), held);
    const std::vector<glm::mat4> ships = mats(before, res.refractShader, "model");
    ASSERT_EQ(ships.size(), 2u);
    EXPECT_TRUE(near({glm::make_mat4(held)}, {ships.back()}));

    const Frame f = run(drawTwoShedCity, 118.5f);
    std::vector<std::string> order;
    for (const GlCall& c : f.calls) {
        if (c.program != res.refractShader.id) continue;
        if (c.name == "glDrawArrays") order.push_back("cube");
        if (c.name == "glUniformMatrix4fv" && c.uniform == "model") order.push_back("model");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"cube", "model", "cube", "model"}));
}

// ---- Duck city ----------------------------------------------------------------------

struct DuckCityScene : ScenesB {};

// The frame's three opening readings, a little over a quarter turn per second.
struct Swing {
    float A, X, a, S;
    Swing(StepClock& tau, float t)
        : A(float(10.0 * std::sin(tau() - 134.0))), X(float(10.0 * std::cos(tau() - 134.0))),
          a(t - 134.0f), S(float(std::sin(tau() - 134.0) * 3.0 * a)) {}
};

TEST_F(DuckCityScene, camera_jumps_at_137_and_147_with_identity_on_them) {
    for (float t : {135.0f, 137.0f, 140.0f, 147.0f, 150.0f}) {
        const Frame f = run(drawDuckCity, t);
        const auto viewAt = [t](StepClock& tau) {
            const Swing w(tau, t);
            if (t == 135.0f)
                return glm::lookAt(glm::vec3(-w.A, 0, -20),
                                   glm::vec3(0, -w.A, float(-10.0 * std::sin(tau()))), kUp);
            if (t == 140.0f) return glm::lookAt(glm::vec3(w.X, 0, w.X), glm::vec3(0, w.X, w.A), kUp);
            if (t == 150.0f) {
                const glm::vec3 n = glm::normalize(glm::vec3(1, w.A, 1) -
                                                   glm::vec3(-0.51f, -0.51f, 10.5f));
                return glm::lookAt(glm::vec3(n.y, 0, w.X), glm::vec3(w.A, w.S, -5), kUp);
            }
            return kIdentity;
        };
        const auto ducks = [&](StepClock& tau) { return std::vector<glm::mat4>(4, viewAt(tau)); };
        const auto sky = [&](StepClock& tau) {
            return std::vector<glm::mat4>{noTranslation(viewAt(tau))};
        };
        EXPECT_TRUE(near(mats(f, res.modelShader, "view"), ducks, f)) << "at " << t;
        EXPECT_TRUE(near(mats(f, res.modelShader, "projection"),
                         std::vector<glm::mat4>(4, loop.projection)));
        EXPECT_TRUE(near(mats(f, res.duckCitySkyShader, "view"), sky, f)) << "at " << t;
        EXPECT_TRUE(near(mats(f, res.duckCitySkyShader, "projection"), {loop.projection}));
    }
}

TEST_F(DuckCityScene, four_ducks_move_turn_and_squeeze_by_their_own_functions) {
    const float t = 140.0f;
    const Frame f = run(drawDuckCity, t);
    const auto expected = [t](StepClock& tau) {
        const Swing w(tau, t);
        const float a = w.a, A = w.A, X = w.X, S = w.S;
        const auto duck = [](glm::vec3 offset, float angle, glm::vec3 axis, glm::vec3 squeeze) {
            return glm::scale(glm::rotate(glm::translate(kIdentity, offset), angle, axis), squeeze);
        };
        const glm::vec3 small(0.3f);
        std::vector<glm::mat4> n;
        n.push_back(duck({0.1f * sinf(a), X, S}, sinf(a) * -20.0f * 0.017453292f,
                         {A / t, S, -a * S}, small));
        n.push_back(duck({A * cosf(a), X / 3.141f, cosf(a)}, -0.34906584f,
                         {X / -0.2f, 0.5f * cosf(A), X / -1.1f}, small));
        n.push_back(duck({-S, 5.0f * sinf(a), sinf(a) / a}, kQuarter,
                         {X, S, float(std::sin(40.0 * (tau() - 134.0)))}, {0.5f, 1.1f, 0.7f}));
        n.push_back(duck({0.2f * sinf(a), A, A}, sinf(a) * 45.0f * 0.017453292f, {A, S, X}, small));
        return n;
    };
    EXPECT_TRUE(near(mats(f, res.modelShader, "model"), expected, f));
    const unsigned duckProgram = res.modelShader.id;
    EXPECT_EQ(draws(f), (std::vector<Draw>{{duckProgram, "glDrawElements"},
                                           {duckProgram, "glDrawElements"},
                                           {duckProgram, "glDrawElements"},
                                           {duckProgram, "glDrawElements"},
                                           {res.duckCitySkyShader.id, "glDrawArrays"}}));
}

TEST_F(DuckCityScene, third_duck_stays_finite_on_134) {
    const Frame f = run(drawDuckCity, 134.0f);
    for (const GlCall& c : f.calls)
        for (float v : c.floats) EXPECT_TRUE(std::isfinite(v)) << c.name << " " << c.uniform;
    const std::vector<glm::mat4> models = mats(f, res.modelShader, "model");
    ASSERT_EQ(models.size(), 4u);
    // a = 0 makes S = 0 and sin a = 0: the third duck sits at (0, 0, 1), the sinc's limit.
    EXPECT_EQ(models[2][3], glm::vec4(0.0f, 0.0f, 1.0f, 1.0f));
}

}  // namespace
