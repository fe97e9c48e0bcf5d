// Helsinki: 40 < demoTime < 95. Three seconds of a full-screen shader picture, then a
// reflecting ship through four differently animated stretches before the Helsinki sky.
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>
#include "app/resources.h"
#include "scenes/scenes.h"
#include "scenes/sky.h"

namespace {

constexpr float kQuarterTurn = 0.7853982f;  // 45 degrees
constexpr float kShipTurn = 3.3161256f;     // 190 degrees
const glm::vec3 kUp{0.0f, 1.0f, 0.0f};

}  // namespace

// Every glfwGetTime() below is a reading of its own: the ship and the sky follow the
// clock as it runs on during the frame, not the frame's demoTime.
void drawHelsinki(float demoTime, SceneResources& res, LoopValues& loop) {
    const float s = float(std::sin(glfwGetTime()) * 10.0);
    const float c = float(std::cos(glfwGetTime()) * 10.0);
    const float m = float(std::sin(glfwGetTime()) * 5.0 * double(demoTime));
    glm::mat4 view(1.0f);

    if (demoTime < 43.0f) {
        view = glm::lookAt(glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(0.0f), kUp);
        res.point12Shader.use();
        res.point12Shader.setVec2("u_resolution", glm::vec2(1920.0f, 1080.0f));
        res.point12Shader.setFloat("u_time", demoTime);
        glBindVertexArray(res.geometry.screenQuadVAO);
        glm::mat4 quad = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, 1.9f));
        quad = glm::scale(quad, glm::vec3(10.3f));
        // No projection: scaled by 10.3 the quad covers the viewport at depth 0.9.
        res.point12Shader.setMat4("view", view);
        res.point12Shader.setMat4("projection", glm::mat4(1.0f));
        res.point12Shader.setMat4("model", quad);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
        glBindVertexArray(0);
    }
    if (demoTime <= 43.0f) return;

    view = glm::lookAt(glm::vec3(1.0f, 0.0f, -30.0f), glm::vec3(0.0f, 5.0f, 0.0f), kUp);

    if (demoTime > 45.0f) {
        res.reflectShader.use();
        glm::mat4 ship(1.0f);
        res.reflectShader.setMat4("view", view);
        res.reflectShader.setMat4("projection", loop.projection);
        // The sky below has not stored this frame's value yet: the ship stretches by
        // the previous frame's.
        const float k = loop.mixItUpValue;
        if (demoTime >= 81.0f) {
            ship = glm::translate(ship, glm::vec3(s, 0.0f, c * 1.3f));
            ship = glm::rotate(ship, kQuarterTurn,
                               glm::vec3(c, m, float(std::sin(glfwGetTime() * 20.0))));
            ship = glm::scale(ship, glm::vec3(0.4f, k, 0.4f));
        }
        if (demoTime >= 74.0f) {
            ship = glm::translate(ship, glm::vec3(s, 0.0f, c * 1.3f));
            ship = glm::rotate(ship, kQuarterTurn,
                               glm::vec3(c, m, float(std::sin(glfwGetTime() * 20.0))));
            ship = glm::scale(ship, glm::vec3(0.4f, 0.4f, k));
        }
        if (demoTime >= 61.0f && demoTime <= 74.0f) {
            // atanf(t / -t) is -pi/4 for any t here, so the ship sits 0.785 deep.
            ship = glm::translate(ship, glm::vec3(-s, tanf(-demoTime),
                                                  -atanf(demoTime / -demoTime)));
            ship = glm::rotate(ship, kShipTurn,
                               glm::vec3(tanf(demoTime), tanf(-demoTime / 3.0f) * 3.333f,
                                         tanf(demoTime - 0.01f)));
            ship = glm::scale(ship, glm::vec3(0.4f));
        }
        if (demoTime < 61.0f) {
            ship = glm::translate(ship, glm::vec3(-0.3f, 3.0f,
                                                  tanf(-demoTime / (0.1f - demoTime))));
            ship = glm::rotate(ship, kShipTurn,
                               glm::vec3(tanf(-demoTime), -cosf(demoTime / 3.333f) * 3.333f,
                                         -atanf(demoTime - 0.333f)));
            ship = glm::scale(ship, glm::vec3(0.4f));
        }
        res.reflectShader.setMat4("model", ship);
        // No cube map of its own: unit 0 still holds the Helsinki sky of the last frame.
        res.ship4Model.draw(res.reflectShader);
    }

    drawSky(res.geometry.skyboxVAO, res.helsinkiCubemap, [&] {
        res.fragCoordSkyShader.use();
        glm::mat4 sky(1.0f);
        loop.mixItUpValue = -tanf(demoTime);
        if (demoTime > 49.0f) {
            sky = glm::scale(sky, glm::vec3(0.2f / cosf(demoTime), cosf(demoTime),
                                            cosf(demoTime)));
            // Three readings, the sine's first: the axis leans on how far the clock
            // moved between the two tangents.
            const double tau0 = glfwGetTime();
            const double tau1 = glfwGetTime();
            const double tau2 = glfwGetTime();
            sky = glm::rotate(sky, kShipTurn,
                              glm::vec3(float(std::tan(tau1) - std::tan(tau2)), 4.0f,
                                        float(std::sin(tau0) - double(0.333f))));
        }
        if (demoTime > 65.0f && demoTime < 77.0f) {
            sky = glm::rotate(sky, kQuarterTurn,
                              glm::vec3(float(std::sin(glfwGetTime())), -5.0f, -6.5f));
        }
        res.fragCoordSkyShader.setMat4("transform3", sky);
        res.fragCoordSkyShader.setFloat("time", demoTime);
        // Once past 55 the sky stays in its second look until the next scene resets it.
        if (demoTime > 55.0f) loop.endValue = 1.0f;
        res.fragCoordSkyShader.setFloat("end", loop.endValue);
        res.fragCoordSkyShader.setFloat("mixItUp", loop.mixItUpValue);
        view = glm::mat4(glm::mat3(view));
        res.fragCoordSkyShader.setMat4("projection", loop.projection);
        res.fragCoordSkyShader.setMat4("view", view);
    });
}
