// The greetings and closing-logo windows: the logo schedule with its gaps, the two quad
// cameras, the offsets and sampler sets, the Tampere sky, and the closing quad.
#include <cmath>
#include <string>
#include <glm/gtc/matrix_transform.hpp>
#include "scene_rig.h"
#include "scenes/scenes.h"

namespace {

struct GreetingsScene : GlTest {};
struct ClosingLogoScene : GlTest {};

const float kAspect = 1920.0f / 1080.0f;
const glm::vec3 kUp(0.0f, 1.0f, 0.0f);

unsigned logo(int n) {
    const SceneResources& r = rig().res;
    const unsigned logos[] = {r.greetLogo1, r.greetLogo2,  r.greetLogo3,  r.greetLogo4,
                              r.greetLogo5, r.greetLogo6,  r.greetLogo7,  r.greetLogo8,
                              r.greetLogo9, r.greetLogo10, r.greetLogo11, r.greetLogo12,
                              r.greetLogo13};
    return logos[n - 1];
}

std::vector<std::vector<long long>> binds2D(const Frame& frame) {
    std::vector<std::vector<long long>> found;
    for (size_t i = 0; i < frame.calls.size(); ++i) {
        const GlCall& call = frame.calls[i];
        if (call.name != "glBindTexture" || call.ints[0] != GL_TEXTURE_2D) continue;
        found.push_back(call.ints);
        EXPECT_EQ(frame.calls.at(i - 1).ints, std::vector<long long>{GL_TEXTURE0});
    }
    return found;
}

// The frame's one clock reading and what follows from it.
float angle(double tau) { return float(tau - 150.0); }
float timer(double tau) {
    const float a = angle(tau);
    return std::tan(a) + std::sin(a) * (2.0f * std::cos(a));
}

void expectTurn(const Frame& frame, const ShaderProgram& program, const char* uniform,
                glm::vec3 (*turn)(double)) {
    const auto sets = setsOn(frame, program, uniform);
    ASSERT_EQ(sets.size(), 1u) << uniform;
    EXPECT_EQ(sets[0].name, "glUniformMatrix4fv");
    const glm::vec3 vector = rotationVector(matrixOf(sets[0]));
    expectOverClock(frame, glm::value_ptr(vector), turn);
}

}  // namespace

TEST_F(GreetingsScene, binds_the_twelve_logos_in_order_on_unit_0) {
    // instant, logo: one inside each slot, then either side of the 5 s and 7 s slots.
    const struct { float demoTime; int logo; } cases[] = {
        {165.0f, 1},  {178.0f, 2},  {184.0f, 3},  {190.0f, 4},  {196.0f, 5},  {201.5f, 6},
        {207.5f, 7},  {214.0f, 8},  {220.0f, 9},  {226.0f, 10}, {232.0f, 11}, {238.0f, 12},
        {203.99f, 6}, {204.01f, 7}, {210.99f, 7}};
    for (const auto& c : cases) {
        EXPECT_EQ(binds2D(runScene(drawGreetings, c.demoTime)),
                  (std::vector<std::vector<long long>>{{GL_TEXTURE_2D, logo(c.logo)}}))
            << c.demoTime;
    }
}

TEST_F(GreetingsScene, gaps_and_exact_bounds_keep_the_previous_logo) {
    // An instant that binds the logo, then one in the gap or on the bound after it.
    const struct { float binds; int logo; float gap; } cases[] = {
        {168.0f, 1, 170.0f}, {168.0f, 1, 172.5f}, {168.0f, 1, 175.0f}, {180.0f, 2, 181.0f},
        {203.0f, 6, 204.0f}, {234.0f, 11, 235.0f}, {240.0f, 12, 241.0f}, {240.0f, 12, 245.5f}};
    for (const auto& c : cases) {
        runScene(drawGreetings, c.binds);
        EXPECT_TRUE(binds2D(runScene(drawGreetings, c.gap)).empty()) << c.gap;
        glActiveTexture(GL_TEXTURE0);
        EXPECT_EQ(boundInteger(GL_TEXTURE_BINDING_2D), GLint(logo(c.logo))) << c.gap;
    }
}

TEST_F(GreetingsScene, quads_change_camera_at_205_and_stop_at_246) {
    const ShaderProgram& quads = rig().res.instancingShader;
    // instant, vertical field of view of the quad camera (0: no quads).
    const struct { float demoTime, degrees; } cases[] = {
        {190.0f, 130.0f}, {204.9f, 130.0f}, {205.0f, 0.0f},   {205.1f, 145.0f},
        {245.9f, 145.0f}, {246.0f, 0.0f},   {246.5f, 0.0f}};
    for (const auto& c : cases) {
        const Frame frame = runScene(drawGreetings, c.demoTime);
        SCOPED_TRACE(c.demoTime);
        const auto drawn = callsNamed(frame.calls, "glDrawElementsInstanced");
        EXPECT_EQ(callsNamed(frame.calls, "glDrawArrays").size(), 1u);
        if (c.degrees == 0.0f) {
            EXPECT_TRUE(drawn.empty());
            continue;
        }
        ASSERT_EQ(drawn.size(), 1u);
        EXPECT_EQ(drawn[0].ints, (std::vector<long long>{GL_TRIANGLES, 6, GL_UNSIGNED_INT, 0, 36}));
        expectMatrix(frame, quads, "projection",
                     fixed(glm::perspective(glm::radians(c.degrees), kAspect, 0.001f, 200.0f)));
    }
}

TEST_F(GreetingsScene, quad_camera_and_timer_sway_with_the_clock) {
    const ShaderProgram& quads = rig().res.instancingShader;
    const Frame early = runScene(drawGreetings, 190.0f);
    expectMatrix(early, quads, "view", [](double tau) {
        const float a = angle(tau);
        return glm::lookAt(glm::vec3(-1.5f * std::sin(a), -std::sin(a) - 2.0f, std::cos(a)),
                           glm::vec3(2.0f, -2.0f, timer(tau) - 2.2f), kUp);
    });
    expectTurn(early, quads, "model", [](double tau) {
        const float a = angle(tau);
        return glm::radians(15.0f) * glm::normalize(glm::vec3(5.0f * std::sin(a), 2.0f * std::sin(a), 25.0f));
    });
    expectOverClock(early, setsOn(early, quads, "timer").at(0).floats.data(),
                    [](double tau) { return glm::vec1(timer(tau)); });

    const Frame late = runScene(drawGreetings, 220.0f);
    expectMatrix(late, quads, "view", [](double tau) {
        const float a = angle(tau);
        return glm::lookAt(glm::vec3(-1.5f * std::sin(a), -std::sin(a) - 2.0f, std::cos(a) - timer(tau)),
                           glm::vec3(15.0f * std::sin(a), -2.0f, 15.0f * std::sin(a)), kUp);
    });
    expectTurn(late, quads, "model", [](double tau) {
        const float a = angle(tau);
        return glm::radians(5.0f * std::cos(a)) *
               glm::normalize(glm::vec3(5.0f * std::sin(a), -5.0f * std::sin(a), 25.0f));
    });
}

TEST_F(GreetingsScene, frame_feeds_sampler_offsets_and_draws_in_order) {
    const ShaderProgram& quads = rig().res.instancingShader;
    const Frame frame = runScene(drawGreetings, 190.0f);
    std::vector<std::string> expected = {"glUseProgram", "texture1", "texture1", "glActiveTexture",
                                         "glBindTexture", "glUseProgram", "texture1", "texture1",
                                         "projection", "view", "model"};
    for (int k = 0; k < 36; ++k) expected.push_back("offsets[" + std::to_string(k) + "]");
    for (const std::string& label : {"glBindVertexArray", "timer", "glDrawElementsInstanced"})
        expected.push_back(label);
    for (const std::string& label : skyLabels({"transform3", "time", "projection", "view"}))
        expected.push_back(label);
    EXPECT_EQ(labels(frame), expected);

    const auto sampler = setsOn(frame, quads, "texture1");
    ASSERT_EQ(sampler.size(), 4u);
    for (const GlCall& set : sampler) EXPECT_EQ(set.ints[1], 0);
    // Row r, column c of the 6 x 6 grid is offset 6r + c.
    for (int k = 0; k < 36; ++k) {
        const auto set = setsOn(frame, quads, "offsets[" + std::to_string(k) + "]");
        ASSERT_EQ(set.size(), 1u);
        const float x = float(-8 + 3 * (k % 6)), y = float(-13 + 3 * (k / 6));
        EXPECT_EQ(set[0].floats, (std::vector<float>{x / 2.2f + 1.2f, y / 2.2f + 1.2f})) << k;
    }
}

TEST_F(GreetingsScene, sky_turns_about_a_wandering_axis_and_leaves_identity_matrices) {
    const SceneResources& res = rig().res;
    const LoopValues& loop = rig().loop;
    const Frame frame = runScene(drawGreetings, 230.0f);
    expectTurn(frame, res.tampereSkyShader, "transform3", [](double tau) {
        const float a = angle(tau);
        return glm::radians(45.0f) * glm::normalize(glm::vec3(
                                         9.52f * std::sin(a), 12.1f * std::sin(a), -15.1f * std::cos(a)));
    });
    const auto time = setsOn(frame, res.tampereSkyShader, "time");
    ASSERT_EQ(time.size(), 1u);
    EXPECT_EQ(time[0].name, "glUniform1f");
    EXPECT_EQ(time[0].floats, std::vector<float>{230.0f});
    expectMatrix(frame, res.tampereSkyShader, "projection",
                 fixed(glm::perspective(glm::radians(35.0f), kAspect, 0.001f, 5000.0f)));
    const auto skyView = [](double tau) {
        const float s = std::sin(angle(tau));
        glm::mat4 view = glm::lookAt(glm::vec3(15.0f * s, 6.0f * s, s), glm::vec3(15.1f, 15.0f, 5.1f), kUp);
        view[3] = glm::vec4(0.0f, 0.0f, 0.0f, 1.0f);
        return view;
    };
    expectMatrix(frame, res.tampereSkyShader, "view", skyView);
    expectOverClock(frame, glm::value_ptr(loop.view), skyView);
    EXPECT_EQ(loop.model, glm::mat4(1.0f));
    EXPECT_EQ(loop.projection, glm::mat4(1.0f));
    EXPECT_EQ(callsNamed(frame.calls, "glBindTexture").back().ints,
              (std::vector<long long>{GL_TEXTURE_CUBE_MAP, res.tampereCubemap}));
    EXPECT_EQ(boundInteger(GL_VERTEX_ARRAY_BINDING), 0);
    EXPECT_EQ(boundInteger(GL_DEPTH_FUNC), GL_LESS);
}

TEST_F(ClosingLogoScene, logo_13_covers_the_middle_half_of_the_screen) {
    const SceneResources& res = rig().res;
    const Frame frame = runScene(drawClosingLogo, 250.5f);
    EXPECT_EQ(labels(frame), (std::vector<std::string>{
                                 "glUseProgram", "u_resolution", "u_time", "glBindVertexArray",
                                 "view", "projection", "model", "glActiveTexture",
                                 "glBindTexture", "glDrawElements"}));
    const auto resolution = setsOn(frame, res.pointLastShader, "u_resolution");
    const auto time = setsOn(frame, res.pointLastShader, "u_time");
    ASSERT_EQ(resolution.size(), 1u);
    ASSERT_EQ(time.size(), 1u);
    EXPECT_EQ(resolution[0].name, "glUniform2f");
    EXPECT_EQ(resolution[0].floats, (std::vector<float>{1920.0f, 1080.0f}));
    EXPECT_EQ(time[0].name, "glUniform1f");
    EXPECT_EQ(time[0].floats, std::vector<float>{250.5f});
    expectMatrix(frame, res.pointLastShader, "projection", fixed(glm::mat4(1.0f)));
    expectQuadReaches(frame, res.pointLastShader, glm::vec2(0.5f, 0.5f));
    EXPECT_EQ(rig().loop.view, glm::lookAt(glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(0.0f), kUp));

    EXPECT_EQ(binds2D(frame), (std::vector<std::vector<long long>>{{GL_TEXTURE_2D, logo(13)}}));
    EXPECT_EQ(callsNamed(frame.calls, "glDrawElements").back().ints,
              (std::vector<long long>{GL_TRIANGLES, 6, GL_UNSIGNED_INT, 0}));
    EXPECT_EQ(boundInteger(GL_VERTEX_ARRAY_BINDING), GLint(res.geometry.texturedQuadVAO));
    EXPECT_EQ(boundInteger(GL_DEPTH_FUNC), GL_LESS);
}
