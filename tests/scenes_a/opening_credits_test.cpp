// The opening and credits windows: what each stretch draws and in which order, the
// matrices fed against their formulas in the clock, and the state they leave.
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>
#include "scene_rig.h"
#include "scenes/scenes.h"

namespace {

struct OpeningScene : GlTest {};
struct CreditsScene : GlTest {};

using Draw = std::pair<std::string, unsigned>;

const float kAspect = 1920.0f / 1080.0f;
const glm::vec3 kUp(0.0f, 1.0f, 0.0f);
const glm::mat4 kOpeningView = glm::lookAt(glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(0.0f), kUp);
const glm::mat4 kOpeningProjection = glm::perspective(glm::radians(45.0f), kAspect, 0.1f, 100.0f);
const std::vector<std::string> kMeshDraw = {"glBindVertexArray", "glDrawElements",
                                            "glBindVertexArray", "glActiveTexture"};

double single(double x) { return double(float(x)); }

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

float wander(double tau) { return float(std::sin(tau) * single(16.5)); }
float bob(double tau) { return float(std::cos(tau) * single(0.55)); }
glm::vec3 earlySkyAxis(double tau) {
    return glm::vec3(wander(tau) + bob(tau), float(std::cos(tau) * -12.0), 40.0f);
}
glm::vec3 lateSkyAxis(double tau) {
    return glm::vec3(float(std::cos(tau) * 12.0 - 10.0), wander(tau) * 5.0f + 65.0f, 30.0f);
}

void expectSkyLeftGlClean(const Frame& frame, unsigned cubemap) {
    EXPECT_EQ(callsNamed(frame.calls, "glBindTexture").back().ints,
              (std::vector<long long>{GL_TEXTURE_CUBE_MAP, cubemap}));
    EXPECT_EQ(callsNamed(frame.calls, "glDrawArrays").back().ints,
              (std::vector<long long>{GL_TRIANGLES, 0, 36}));
    EXPECT_EQ(boundInteger(GL_VERTEX_ARRAY_BINDING), 0);
    EXPECT_EQ(boundInteger(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_EQ(boundInteger(GL_DEPTH_FUNC), GL_LESS);
}

}  // namespace

TEST_F(OpeningScene, each_stretch_draws_its_own_pieces) {
    const SceneResources& res = rig().res;
    const Draw donut{"glDrawElements", res.model13Shader.id};
    const Draw quad{"glDrawElements", res.point15Shader.id};
    const Draw sky{"glDrawArrays", res.titleSkyShader.id};
    const struct { float demoTime; std::vector<Draw> drawn; } cases[] = {
        {-4.0f, {quad}},        {1.5f, {quad}},  {1.6f, {donut, quad}}, {5.9f, {donut, quad}},
        {6.0f, {donut}},        {6.1f, {donut, sky}}, {19.9f, {donut, sky}}};
    for (const auto& c : cases) {
        EXPECT_EQ(draws(runScene(drawOpening, c.demoTime)), c.drawn) << c.demoTime;
    }
}

TEST_F(OpeningScene, calls_follow_the_drawing_order) {
    const auto donutPart = joined({{"glUseProgram", "u_resolution", "u_time", "glUseProgram",
                                    "view", "projection", "transform2", "model"}, kMeshDraw});
    EXPECT_EQ(labels(runScene(drawOpening, 3.0f)),
              joined({donutPart, {"glUseProgram", "glBindVertexArray", "view", "projection",
                                  "model", "glActiveTexture", "glBindTexture", "glDrawElements"}}));
    EXPECT_EQ(labels(runScene(drawOpening, 10.0f)),
              joined({donutPart, skyLabels({"transform3", "projection", "view"})}));
}

TEST_F(OpeningScene, donut_gets_model_without_and_transform2_with_the_spin) {
    const SceneResources& res = rig().res;
    const auto donut = [](double tau) {
        glm::mat4 m = glm::translate(glm::mat4(1.0f),
                                     glm::vec3(float(std::sin(tau) / single(3.14)), 0.1f, 0.3f));
        m = glm::rotate(m, float(std::fabs(std::cos(tau) * single(3.14)) * single(1.2)),
                        glm::vec3(0.314f, 0.3f, -0.1f));
        return glm::scale(m, glm::vec3(0.3f));
    };
    for (float demoTime : {3.0f, 12.0f}) {
        const Frame frame = runScene(drawOpening, demoTime);
        expectMatrix(frame, res.model13Shader, "model", donut);
        expectMatrix(frame, res.model13Shader, "transform2", [&](double tau) {
            return glm::rotate(donut(tau), float(tau), glm::vec3(0.0f, 0.0f, -1.0f));
        });
        expectMatrix(frame, res.model13Shader, "view", fixed(kOpeningView));
        expectMatrix(frame, res.model13Shader, "projection", fixed(kOpeningProjection));
        expectOverClock(frame, glm::value_ptr(rig().loop.model), donut);
    }
}

TEST_F(OpeningScene, picture_quad_lands_at_depth_0_9_from_unit_2) {
    const SceneResources& res = rig().res;
    const Frame frame = runScene(drawOpening, 3.0f);
    const auto resolution = setsOn(frame, res.point15Shader, "u_resolution");
    ASSERT_EQ(resolution.size(), 1u);
    EXPECT_EQ(resolution[0].name, "glUniform2fv");
    EXPECT_EQ(resolution[0].floats, (std::vector<float>{1920.0f, 1080.0f}));
    EXPECT_EQ(setsOn(frame, res.point15Shader, "u_time").at(0).floats, std::vector<float>{3.0f});
    expectMatrix(frame, res.point15Shader, "projection", fixed(glm::mat4(1.0f)));
    expectQuadReaches(frame, res.point15Shader, glm::vec2(0.775f, 0.575f));

    EXPECT_EQ(callsNamed(frame.calls, "glBindTexture").back().ints,
              (std::vector<long long>{GL_TEXTURE_2D, res.molvanianTexture}));
    EXPECT_EQ(callsNamed(frame.calls, "glDrawElements").back().ints,
              (std::vector<long long>{GL_TRIANGLES, 6, GL_UNSIGNED_INT, 0}));
    EXPECT_EQ(boundInteger(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
    EXPECT_EQ(boundInteger(GL_TEXTURE_BINDING_2D), GLint(res.molvanianTexture));
    EXPECT_EQ(boundInteger(GL_VERTEX_ARRAY_BINDING), GLint(res.geometry.texturedQuadVAO));
}

TEST_F(OpeningScene, title_sky_rocks_about_the_diagonal_with_the_clock) {
    const SceneResources& res = rig().res;
    const Frame frame = runScene(drawOpening, 10.0f);
    const auto rock = setsOn(frame, res.titleSkyShader, "transform3");
    ASSERT_EQ(rock.size(), 1u);
    const glm::vec3 turn = rotationVector(matrixOf(rock[0]));
    expectOverClock(frame, glm::value_ptr(turn), [](double tau) {
        return float(std::sin(tau) * single(0.5)) * glm::normalize(glm::vec3(1.0f));
    });
    expectMatrix(frame, res.titleSkyShader, "projection", fixed(kOpeningProjection));
    // This sky keeps the view's translation.
    expectMatrix(frame, res.titleSkyShader, "view", fixed(kOpeningView));
    expectSkyLeftGlClean(frame, res.titleCubemap);
}

TEST_F(CreditsScene, sky_turn_jumps_at_33_through_rest) {
    const SceneResources& res = rig().res;
    expectMatrix(runScene(drawCredits, 33.0f), res.wellSkyShader, "transform4",
                 fixed(glm::mat4(1.0f)));
    const struct { float demoTime, degrees; glm::vec3 (*axis)(double); } cases[] = {
        {32.9f, 65.0f, earlySkyAxis}, {33.1f, 45.0f, lateSkyAxis}};
    for (const auto& c : cases) {
        const Frame frame = runScene(drawCredits, c.demoTime);
        const auto turn = setsOn(frame, res.wellSkyShader, "transform4");
        ASSERT_EQ(turn.size(), 1u);
        const glm::vec3 vector = rotationVector(matrixOf(turn[0]));
        SCOPED_TRACE(c.demoTime);
        expectOverClock(frame, glm::value_ptr(vector), [&](double tau) {
            return glm::radians(c.degrees) * glm::normalize(c.axis(tau));
        });
    }
}

TEST_F(CreditsScene, leaves_the_near_0_01_perspective_for_the_city_windows) {
    const SceneResources& res = rig().res;
    const LoopValues& loop = rig().loop;
    const Frame frame = runScene(drawCredits, 25.0f);
    const glm::mat4 projection = glm::perspective(glm::radians(45.0f), kAspect, 0.01f, 100.0f);
    const glm::mat4 view = glm::lookAt(glm::vec3(0, 0, 40), glm::vec3(12, 7, 0), kUp);
    glm::mat4 turnOnly = view;
    turnOnly[3] = glm::vec4(0.0f, 0.0f, 0.0f, 1.0f);
    const auto donut = [](double tau) {
        const glm::mat4 m = glm::translate(
            glm::mat4(1.0f), glm::vec3(float(std::fabs(std::sin(tau))), bob(tau), bob(tau)));
        return glm::rotate(m, float(std::sin(tau - 19.0)) * 3.14f, glm::vec3(1.1f, 1.34f, 3.14f));
    };

    EXPECT_EQ(labels(frame), joined({{"glUseProgram", "view", "projection", "model"}, kMeshDraw,
                                     skyLabels({"transform4", "projection", "view"})}));
    expectMatrix(frame, res.planetShader, "view", fixed(view));
    expectMatrix(frame, res.planetShader, "projection", fixed(projection));
    expectMatrix(frame, res.planetShader, "model", donut);
    expectMatrix(frame, res.wellSkyShader, "projection", fixed(projection));
    expectMatrix(frame, res.wellSkyShader, "view", fixed(turnOnly));
    expectOverClock(frame, glm::value_ptr(loop.projection), fixed(projection));
    expectOverClock(frame, glm::value_ptr(loop.view), fixed(turnOnly));
    expectOverClock(frame, glm::value_ptr(loop.model), donut);
    expectSkyLeftGlClean(frame, res.creditsCubemap);
}
