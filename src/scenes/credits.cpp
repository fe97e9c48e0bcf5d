// Credits: 20 < demoTime < 40. A planet-shaded donut sways before the credits sky,
// which turns about a wandering axis, by 65 degrees until 33 and by 45 after it.
#include "scenes/scenes.h"

#include <cmath>
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include "app/resources.h"
#include "scenes/sky.h"

namespace {

constexpr float kFov = 0.7853982f;          // 45 degrees
constexpr float kAspect = 1.7777778f;       // 1920 / 1080
constexpr float kEarlySkyTurn = 1.134464f;  // 65 degrees, until 33
constexpr float kLateSkyTurn = 0.7853982f;  // 45 degrees, after 33
constexpr double kBob = double(0.55f);      // donut's y and z swing
constexpr double kWander = double(16.5f);   // reach of the sky axis' wandering

}  // namespace

void drawCredits(float demoTime, SceneResources& res, LoopValues& loop) {
    // The near plane of 0.01 stays in the shared projection: windows 3 to 5 draw with it.
    loop.projection = glm::perspective(kFov, kAspect, 0.01f, 100.0f);
    const float bob = float(std::cos(glfwGetTime()) * kBob);
    const float wander = float(std::sin(glfwGetTime()) * kWander);
    loop.view = glm::lookAt(glm::vec3(0.0f, 0.0f, 40.0f), glm::vec3(12.0f, 7.0f, 0.0f),
                            glm::vec3(0.0f, 1.0f, 0.0f));

    res.planetShader.use();
    const float lag = float(std::sin(glfwGetTime() - 19.0));
    const float drift = float(std::abs(std::sin(glfwGetTime())));
    loop.model = glm::translate(glm::mat4(1.0f), glm::vec3(drift, bob, bob));
    loop.model = glm::rotate(loop.model, lag * 3.14f, glm::vec3(1.1f, 1.34f, 3.14f));
    res.planetShader.setMat4("view", loop.view);
    res.planetShader.setMat4("projection", loop.projection);
    res.planetShader.setMat4("model", loop.model);
    res.donutModel2.draw(res.planetShader);

    drawSky(res.geometry.skyboxVAO, res.creditsCubemap, [&] {
        res.wellSkyShader.use();
        // Neither turn applies at exactly 33, so the sky jumps through its rest pose.
        glm::mat4 skyTurn(1.0f);
        if (demoTime > 33.0f) {
            const float axisX = float(std::cos(glfwGetTime()) * 12.0 - 10.0);
            skyTurn = glm::rotate(skyTurn, kLateSkyTurn,
                                  glm::vec3(axisX, wander * 5.0f + 65.0f, 30.0f));
        }
        if (demoTime < 33.0f) {
            const float axisY = float(std::cos(glfwGetTime()) * -12.0);
            skyTurn = glm::rotate(skyTurn, kEarlySkyTurn,
                                  glm::vec3(wander + bob, axisY, 40.0f));
        }
        res.wellSkyShader.setMat4("transform4", skyTurn);
        // The sky follows the camera's turn but not its place; the shared view keeps
        // the stripped matrix.
        loop.view = glm::mat4(glm::mat3(loop.view));
        res.wellSkyShader.setMat4("projection", loop.projection);
        res.wellSkyShader.setMat4("view", loop.view);
    });
}
