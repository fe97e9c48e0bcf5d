// Windows 3 to 5 (Helsinki, two-shed city, duck city) on a real context: each frame is
// recorded, and its uniforms and draws are compared with values worked out here.
#include "gl_context.h"
#include "gl_recorder.h"
#include <cmath>
#include <filesystem>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include "app/resources.h"
#include "scenes/scenes.h"

namespace {

// Stand-ins for the programs and models the three windows draw with: every fed uniform
// is declared and used, so the driver keeps it, and each model draw shows as a draw.
const char* const kVertexShader = "#version 330 core\nlayout (location = 0) in vec3 aPos;\n"
    "uniform mat4 model, view, projection, transform3;\n"
    "void main() { gl_Position = projection * view * model * transform3 * vec4(aPos, 1.0); }\n";
const char* const kFragmentShader = "#version 330 core\nout vec4 color;\n"
    "uniform float time, end, mixItUp, u_time; uniform vec2 u_resolution;\n"
    "void main() { color = vec4(time + end, mixItUp + u_time, u_resolution); }\n";

constexpr float kQuarter = 0.7853982f, kTurn190 = 3.3161256f;  // 45 and 190 degrees
const glm::mat4 kI(1.0f);
const glm::vec3 kUp(0.0f, 1.0f, 0.0f);

glm::mat4 trs(const glm::mat4& m, glm::vec3 offset, float angle, glm::vec3 axis, glm::vec3 size) {
    return glm::scale(glm::rotate(glm::translate(m, offset), angle, axis), size);
}

struct Frame {
    std::vector<GlCall> calls;
    double begin, end;  // the clock around the frame: every reading inside lies between
};
using Draw = std::pair<unsigned, std::string>;  // program, draw call
using Scene = void (*)(float, SceneResources&, LoopValues&);

struct ScenesB : GlTest {
    static inline SceneResources res;
    static inline LoopValues loop;

    static void SetUpTestSuite() {
        static bool built = false;
        if (std::exchange(built, true)) return;
        testWindow();
        TempDir dir;  // holds no data files: the loaders report them missing and go on
        const auto home = std::filesystem::current_path();
        std::filesystem::current_path(dir.path);
        StdoutCapture quiet;
        quiet.begin();
        buildSceneResources(res, loop);
        quiet.end();
        std::filesystem::current_path(home);
        writeTextFile(dir.file("t.vs"), kVertexShader);
        writeTextFile(dir.file("t.fs"), kFragmentShader);
        writeTextFile(dir.file("t.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
        for (ShaderProgram* p : {&res.point12Shader, &res.reflectShader, &res.fragCoordSkyShader,
                                 &res.refractShader, &res.forestSkyShader, &res.modelShader,
                                 &res.duckCitySkyShader})
            *p = ShaderProgram(dir.file("t.vs").c_str(), dir.file("t.fs").c_str());
        for (Model* m : {&res.ship4Model, &res.forestShipModel, &res.duckModel})
            *m = Model(dir.file("t.obj"));
        // As window 2 leaves it.
        loop.projection = glm::perspective(kQuarter, 1.7777778f, 0.01f, 100.0f);
        // The driver builds its code for a program at its first draws; doing that here
        // keeps the timed frames short, and with them the spread of their clock readings.
        for (float t : {41.0f, 50.0f}) drawHelsinki(t, res, loop);
        for (float t : {110.0f, 118.0f, 125.0f}) drawTwoShedCity(t, res, loop);
        drawDuckCity(140.0f, res, loop);
    }

    static Frame run(Scene scene, float demoTime) {
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
        EXPECT_EQ(std::vector<GLint>({vao, unit, depth}),
                  std::vector<GLint>({0, GL_TEXTURE0, GL_LESS})) << "left behind at " << demoTime;
        return {std::move(calls), begin, end};
    }
};

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

// The clock as the expected values see it: a frame's readings in order, the first
// `early` at the frame's first instant, the rest at its last. The scene's readings
// rise through the frame, so for formulas smooth over it these step sequences bound
// every value the scene can have computed.
struct StepClock {
    double begin, end;
    int early, count = 0;
    double operator()() { return count++ < early ? begin : end; }
};
using Mats = std::vector<glm::mat4>;

::testing::AssertionResult within(const Mats& actual, const std::vector<Mats>& samples) {
    for (const Mats& sample : samples)
        if (sample.size() != actual.size())
            return ::testing::AssertionFailure() << actual.size() << " matrices, not " << sample.size();
    for (size_t k = 0; k < actual.size(); ++k)
        for (int i = 0; i < 16; ++i) {
            double lo = INFINITY, hi = -INFINITY;
            for (const Mats& sample : samples) {
                lo = std::min(lo, double(glm::value_ptr(sample[k])[i]));
                hi = std::max(hi, double(glm::value_ptr(sample[k])[i]));
            }
            const double a = glm::value_ptr(actual[k])[i], rounding = 1e-5 * (1.0 + std::abs(lo));
            if (!(a >= lo - rounding && a <= hi + rounding))
                return ::testing::AssertionFailure() << "matrix " << k << " entry " << i << " is "
                                                     << a << ", expected " << lo << " to " << hi;
        }
    return ::testing::AssertionSuccess();
}
::testing::AssertionResult near(const Mats& actual, const Mats& expected) {
    return within(actual, {expected});
}
// expectedAt(clock) works the matrices out, reading the clock where the formulas do.
template <typename ExpectedAt>
::testing::AssertionResult near(const Mats& actual, ExpectedAt expectedAt, const Frame& f) {
    StepClock probe{f.begin, f.end, 0};
    expectedAt(probe);
    std::vector<Mats> samples;
    for (int early = 0; early <= probe.count; ++early) {
        StepClock clock{f.begin, f.end, early};
        samples.push_back(expectedAt(clock));
    }
    return within(actual, samples);
}

glm::mat4 noTranslation(const glm::mat4& m) { return glm::mat4(glm::mat3(m)); }

// The three suites share one build of the resources.
struct HelsinkiScene : ScenesB {};
struct TwoShedCityScene : ScenesB {};
struct DuckCityScene : ScenesB {};

// ---- Helsinki -----------------------------------------------------------------------

const glm::mat4 kHelsinkiView = glm::lookAt(glm::vec3(1, 0, -30), glm::vec3(0, 5, 0), kUp);

TEST_F(HelsinkiScene, picture_before_43_nothing_on_it_sky_alone_to_45) {
    const Frame f = run(drawHelsinki, 41.0f);
    const ShaderProgram& p = res.point12Shader;
    EXPECT_EQ(draws(f), (std::vector<Draw>{{p.id, "glDrawElements"}}));
    EXPECT_EQ(sets(f, p, "u_resolution").at(0).floats, (std::vector<float>{1920.0f, 1080.0f}));
    EXPECT_EQ(floats(f, p, "u_time"), std::vector<float>{41.0f});
    EXPECT_TRUE(near(mats(f, p, "view"), {glm::lookAt(glm::vec3(0, 0, 1), glm::vec3(0), kUp)}));
    EXPECT_TRUE(near(mats(f, p, "projection"), {kI}));
    const glm::mat4 quad = glm::scale(glm::translate(kI, {0, 0, 1.9f}), glm::vec3(10.3f));
    EXPECT_TRUE(near(mats(f, p, "model"), {quad}));

    EXPECT_TRUE(run(drawHelsinki, 43.0f).calls.empty());
    const Frame sky = run(drawHelsinki, 45.0f);
    EXPECT_EQ(draws(sky), (std::vector<Draw>{{res.fragCoordSkyShader.id, "glDrawArrays"}}));
    EXPECT_TRUE(near(mats(sky, res.fragCoordSkyShader, "view"), {noTranslation(kHelsinkiView)}));
    EXPECT_TRUE(near(mats(sky, res.fragCoordSkyShader, "projection"), {loop.projection}));
    EXPECT_EQ(callsNamed(sky.calls, "glBindTexture").at(0).ints,
              (std::vector<long long>{GL_TEXTURE_CUBE_MAP, res.helsinkiCubemap}));
}

// The ship's groups: D below 61, C to 74, B and C on 74, B, then A and B from 81. The
// later ones stretch by `k`, the value the previous frame's sky stored.
TEST_F(HelsinkiScene, ship_groups_follow_the_stretches) {
    for (float t : {50.0f, 61.0f, 74.0f, 77.0f, 81.0f, 88.0f, 88.5f}) {
        const float k = t == 88.5f ? -tanf(88.0f) : 0.75f;  // 88.5 follows the frame at 88
        if (t != 88.5f) loop.mixItUpValue = k;
        const Frame f = run(drawHelsinki, t);
        const auto expected = [t, k](StepClock& tau) -> Mats {
            const float s = float(std::sin(tau()) * 10.0), c = float(std::cos(tau()) * 10.0);
            const float m = float(std::sin(tau()) * 5.0 * t);
            const auto swing = [&](const glm::mat4& n, glm::vec3 size) {
                return trs(n, {s, 0, c * 1.3f}, kQuarter, {c, m, float(std::sin(tau() * 20.0))}, size);
            };
            const auto groupC = [&](const glm::mat4& n) {
                return trs(n, {-s, tanf(-t), kQuarter}, kTurn190,
                           {tanf(t), tanf(-t / 3.0f) * 3.333f, tanf(t - 0.01f)}, glm::vec3(0.4f));
            };
            if (t < 61.0f)
                return {trs(kI, {-0.3f, 3.0f, tanf(-t / (0.1f - t))}, kTurn190,
                            {tanf(-t), -cosf(t / 3.333f) * 3.333f, -atanf(t - 0.333f)},
                            glm::vec3(0.4f))};
            if (t < 74.0f) return {groupC(kI)};
            if (t == 74.0f) return {groupC(swing(kI, {0.4f, 0.4f, k}))};
            if (t < 81.0f) return {swing(kI, {0.4f, 0.4f, k})};
            const glm::mat4 a = swing(kI, {0.4f, k, 0.4f});
            return {swing(a, {0.4f, 0.4f, k})};
        };
        EXPECT_TRUE(near(mats(f, res.reflectShader, "model"), expected, f)) << "at " << t;
        EXPECT_TRUE(near(mats(f, res.reflectShader, "view"), {kHelsinkiView}));
        EXPECT_TRUE(near(mats(f, res.reflectShader, "projection"), {loop.projection}));
        EXPECT_EQ(floats(f, res.fragCoordSkyShader, "mixItUp"), std::vector<float>{-tanf(t)});
        EXPECT_EQ(loop.mixItUpValue, -tanf(t));
    }
}

TEST_F(HelsinkiScene, sky_turns_from_49_tilts_inside_65_to_77_and_latches_end_past_55) {
    loop.endValue = 0.0f;
    bool latched = false;
    for (float t : {49.0f, 50.0f, 55.0f, 56.0f, 65.0f, 70.0f, 77.0f, 52.0f}) {
        latched = latched || t > 55.0f;
        const Frame f = run(drawHelsinki, t);
        const auto expected = [t](StepClock& tau) -> Mats {
            if (t == 49.0f) return {kI};
            const glm::mat4 s = glm::scale(kI, glm::vec3(0.2f / cosf(t), cosf(t), cosf(t)));
            const double tau0 = tau(), tau1 = tau(), tau2 = tau();
            const glm::vec3 axis(float(std::tan(tau1) - std::tan(tau2)), 4.0f,
                                 float(std::sin(tau0) - double(0.333f)));
            const glm::mat4 turned = glm::rotate(s, kTurn190, axis);
            if (t != 70.0f) return {turned};
            return {glm::rotate(turned, kQuarter, glm::vec3(float(std::sin(tau())), -5.0f, -6.5f))};
        };
        const ShaderProgram& p = res.fragCoordSkyShader;
        EXPECT_TRUE(near(mats(f, p, "transform3"), expected, f)) << "at " << t;
        EXPECT_EQ(floats(f, p, "time"), std::vector<float>{t});
        EXPECT_EQ(floats(f, p, "end"), std::vector<float>{latched ? 1.0f : 0.0f}) << "at " << t;
    }
}

// ---- Two-shed city ------------------------------------------------------------------

const glm::mat4 kCityView = glm::lookAt(glm::vec3(1, 0, -90), glm::vec3(0, 1, 0), kUp);

// The four motions, each reading the clock where its formulas do: offset, then turn.
glm::mat4 motion(StepClock& tau, float t, char which) {
    if (which == 'A') {
        const double r0 = tau(), r1 = tau(), r2 = tau(), r3 = tau();
        return trs(kI, {float(std::abs(std::atan(r0) * 13.0) + 10.0), float(std::cos(r1 * 3.0)),
                        float(std::sin(r2) * 5.0)},
                   kQuarter, {float(std::abs(std::sin(r3) * 11.0)), sinf(-t) * 2.0f, cosf(t) * 10.0f},
                   glm::vec3(0.9f));
    }
    if (which == 'B') {
        const double r0 = tau(), r1 = tau(), r2 = tau(), r3 = tau();
        return trs(kI, {float(std::abs(std::cos(r0) * 10.0)), float(std::abs(std::sin(-r1) * 4.0)),
                        sinf(t) * 2.0f},
                   kQuarter, {float(std::abs(2.0 * std::tan(r2))), float(std::abs(std::atan(r3) * 5.0)),
                              -cosf(t) * 6.0f},
                   {0.7f, sinf(t) + 0.5f, sinf(t) * 0.5f});
    }
    if (which == 'C') {
        const double r0 = tau(), r1 = tau(), r2 = tau();
        return trs(kI, {float(std::abs(std::sin(r0) * 15.0)), float(std::abs(std::sin(r1) + 10.0)),
                        float(std::abs(std::cos(r2) * 10.0))},
                   kQuarter, {atanf(sinf(t)) * tanf(t), atanf(sinf(t)), -tanf(t)}, {0.6f, 0.4f, 0.7f});
    }
    const double r0 = tau(), r1 = tau();
    return trs(kI, {float(std::abs(std::tan(r0) * 11.0)), sinf(-t),
                    float(std::abs(std::tan(r1) * 7.0))},
               kQuarter, {tanf(-t), sinf(t), sinf(t) * 0.7f}, glm::vec3(0.7f));
}

TEST_F(TwoShedCityScene, motions_and_draws_follow_the_stretches) {
    const unsigned ship = res.refractShader.id, sky = res.forestSkyShader.id;
    const std::vector<Draw> none{{sky, "glDrawArrays"}};
    const std::vector<Draw> one{{ship, "glDrawArrays"}, {ship, "glDrawElements"}, none[0]};
    const std::vector<Draw> two{one[0], one[1], one[0], one[1], none[0]};
    for (float t : {100.0f, 105.0f, 110.0f, 114.0f, 116.0f, 118.0f, 120.0f, 125.0f}) {
        const Frame f = run(drawTwoShedCity, t);
        EXPECT_EQ(draws(f), t <= 105.0f ? none : t <= 114.0f ? one : two) << "at " << t;
        const auto expected = [t](StepClock& tau) {
            Mats n;
            if (t > 105.0f) n.push_back(motion(tau, t, t <= 116.0f ? 'A' : 'B'));
            if (t > 114.0f) n.push_back(motion(tau, t, t <= 120.0f ? 'C' : 'D'));
            return n;
        };
        EXPECT_TRUE(near(mats(f, res.refractShader, "model"), expected, f)) << "at " << t;
        // On 105 the first pose's camera is set, though nothing is drawn with it.
        const Mats views(t > 114.0f ? 2 : t >= 105.0f ? 1 : 0, kCityView);
        EXPECT_TRUE(near(mats(f, res.refractShader, "view"), views)) << "at " << t;
        EXPECT_TRUE(near(mats(f, res.forestSkyShader, "view"), {noTranslation(kCityView)}));
        EXPECT_TRUE(near(mats(f, res.forestSkyShader, "transform3"), {kI}));
        EXPECT_EQ(floats(f, res.forestSkyShader, "mixItUp"), std::vector<float>{t / 0.1f});
        EXPECT_EQ(loop.mixItUpValue, t / 0.1f);
    }
}

TEST_F(TwoShedCityScene, end_is_one_before_106_zero_after_and_kept_on_it) {
    const std::pair<float, float> storedAndSent[][2] = {
        {{0.0f, 100.0f}, {1.0f, 1.0f}}, {{1.0f, 106.0f}, {1.0f, 1.0f}},
        {{0.0f, 106.0f}, {0.0f, 0.0f}}, {{1.0f, 107.0f}, {0.0f, 0.0f}}};
    for (const auto& [before, after] : storedAndSent) {
        loop.endValue = before.first;
        const Frame f = run(drawTwoShedCity, before.second);
        EXPECT_EQ(floats(f, res.forestSkyShader, "end"), std::vector<float>{after.first})
            << "at " << before.second;
        EXPECT_EQ(loop.endValue, after.second);
    }
}

TEST_F(TwoShedCityScene, cube_shows_the_ship_drawn_before_it) {
    const Mats ships = mats(run(drawTwoShedCity, 118.0f), res.refractShader, "model");
    GLfloat held[16];  // what the next frame's first cube is drawn with
    glGetUniformfv(res.refractShader.id, glGetUniformLocation(res.refractShader.id, "model"), held);
    ASSERT_EQ(ships.size(), 2u);
    EXPECT_TRUE(near({glm::make_mat4(held)}, {ships[1]}));

    std::vector<std::string> order;
    for (const GlCall& c : run(drawTwoShedCity, 118.5f).calls) {
        if (c.program != res.refractShader.id) continue;
        if (c.name == "glDrawArrays") order.push_back("cube");
        if (c.name == "glUniformMatrix4fv" && c.uniform == "model") order.push_back("model");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"cube", "model", "cube", "model"}));
}

// ---- Duck city ----------------------------------------------------------------------

// Each frame opens with three readings: A, X and S swing about clock second 134.
Mats ducksAt(StepClock& tau, float t) {
    const float A = float(10.0 * std::sin(tau() - 134.0)), X = float(10.0 * std::cos(tau() - 134.0));
    const float a = t - 134.0f, S = float(std::sin(tau() - 134.0) * 3.0 * a);
    glm::mat4 view = kI;
    if (t < 137.0f)
        view = glm::lookAt(glm::vec3(-A, 0, -20), glm::vec3(0, -A, float(-10.0 * std::sin(tau()))), kUp);
    if (t > 137.0f && t < 147.0f) view = glm::lookAt(glm::vec3(X, 0, X), glm::vec3(0, X, A), kUp);
    if (t > 147.0f) {
        const glm::vec3 n = glm::normalize(glm::vec3(1, A, 1) - glm::vec3(-0.51f, -0.51f, 10.5f));
        view = glm::lookAt(glm::vec3(n.y, 0, X), glm::vec3(A, S, -5), kUp);
    }
    const glm::vec3 small(0.3f);
    return {view,
            trs(kI, {0.1f * sinf(a), X, S}, sinf(a) * -20.0f * 0.017453292f, {A / t, S, -a * S}, small),
            trs(kI, {A * cosf(a), X / 3.141f, cosf(a)}, -0.34906584f,
                {X / -0.2f, 0.5f * cosf(A), X / -1.1f}, small),
            trs(kI, {-S, 5.0f * sinf(a), a == 0.0f ? 1.0f : sinf(a) / a}, kQuarter,
                {X, S, float(std::sin(40.0 * (tau() - 134.0)))}, {0.5f, 1.1f, 0.7f}),
            trs(kI, {0.2f * sinf(a), A, A}, sinf(a) * 45.0f * 0.017453292f, {A, S, X}, small)};
}

TEST_F(DuckCityScene, camera_jumps_at_137_and_147_and_four_ducks_keep_their_functions) {
    for (float t : {134.0f, 135.0f, 137.0f, 140.0f, 147.0f, 150.0f}) {
        const Frame f = run(drawDuckCity, t);
        const auto view = [t](StepClock& tau) { return Mats(4, ducksAt(tau, t)[0]); };
        const auto ducks = [t](StepClock& tau) {
            const Mats m = ducksAt(tau, t);
            return Mats(m.begin() + 1, m.end());
        };
        const auto sky = [t](StepClock& tau) { return Mats{noTranslation(ducksAt(tau, t)[0])}; };
        EXPECT_TRUE(near(mats(f, res.modelShader, "view"), view, f)) << "at " << t;
        EXPECT_TRUE(near(mats(f, res.modelShader, "model"), ducks, f)) << "at " << t;
        EXPECT_TRUE(near(mats(f, res.modelShader, "projection"), Mats(4, loop.projection)));
        EXPECT_TRUE(near(mats(f, res.duckCitySkyShader, "view"), sky, f)) << "at " << t;
        EXPECT_EQ(draws(f).size(), 5u);
        for (const GlCall& c : f.calls)
            for (float v : c.floats) EXPECT_TRUE(std::isfinite(v)) << c.uniform << " at " << t;
    }
}

}  // namespace
