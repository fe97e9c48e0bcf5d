// Opening: demoTime < 20. A small donut that wobbles and spins (from 1.5 on), the
// Molvanian picture quad (until 6) and, from 6 on, the rocking title-logo sky.
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
constexpr double kPi = double(3.14f);       // the demo's own, single-precision pi
constexpr double kTumble = double(1.2f);    // tumble speed-up of the donut
constexpr double kRock = double(0.5f);      // half-width of the sky's rocking, radians

}  // namespace

void drawOpening(float demoTime, SceneResources& res, LoopValues& loop) {
    // Every clock reading is its own: the donut's sway, tumble and spin drift apart
    // by the microseconds between them, just as the sky's rocking does.
    const float skyRock = float(std::sin(glfwGetTime()) * kRock);
    // A projection of the scene's own; the shared one is for the later windows.
    const glm::mat4 projection = glm::perspective(kFov, kAspect, 0.1f, 100.0f);
    loop.view = glm::lookAt(glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(0.0f, 0.0f, 0.0f),
                            glm::vec3(0.0f, 1.0f, 0.0f));

    // The picture's clock is fed every frame, drawn or not.
    res.point15Shader.use();
    res.point15Shader.setVec2("u_resolution", glm::vec2(1920.0f, 1080.0f));
    res.point15Shader.setFloat("u_time", demoTime);

    if (demoTime > 1.5f) {
        res.model13Shader.use();
        res.model13Shader.setMat4("view", loop.view);
        res.model13Shader.setMat4("projection", projection);

        const float sway = float(std::sin(glfwGetTime()) / kPi);
        loop.model = glm::translate(glm::mat4(1.0f), glm::vec3(sway, 0.1f, 0.3f));
        const float tumble = float(std::abs(std::cos(glfwGetTime()) * kPi) * kTumble);
        loop.model = glm::rotate(loop.model, tumble, glm::vec3(0.314f, 0.3f, -0.1f));
        loop.model = glm::scale(loop.model, glm::vec3(0.3f, 0.3f, 0.3f));

        // The shader gets the donut both with its spin about the view axis and
        // without it ("model"), and mixes the two itself.
        const float spin = float(glfwGetTime());
        const glm::mat4 spun = glm::rotate(loop.model, spin, glm::vec3(0.0f, 0.0f, -1.0f));
        res.model13Shader.setMat4("transform2", spun);
        res.model13Shader.setMat4("model", loop.model);
        res.donutModel.draw(res.model13Shader);
    }

    if (demoTime < 6.0f) {
        res.point15Shader.use();
        glBindVertexArray(res.geometry.texturedQuadVAO);
        glm::mat4 quad = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, 1.9f));
        quad = glm::scale(quad, glm::vec3(1.55f, 1.15f, 1.0f));
        // An identity projection: the quad sits behind the eye yet lands at depth
        // 0.9, filling most of the screen.
        res.point15Shader.setMat4("view", loop.view);
        res.point15Shader.setMat4("projection", glm::mat4(1.0f));
        res.point15Shader.setMat4("model", quad);
        // "texture15" was pointed at unit 2 at start-up.
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_2D, res.molvanianTexture);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
    }

    if (demoTime > 6.0f) {
        drawSky(res.geometry.skyboxVAO, res.titleCubemap, [&] {
            res.titleSkyShader.use();
            const glm::mat4 rocking =
                glm::rotate(glm::mat4(1.0f), skyRock, glm::vec3(1.5f, 1.5f, 1.5f));
            res.titleSkyShader.setMat4("transform3", rocking);
            res.titleSkyShader.setMat4("projection", projection);
            // The full lookAt, translation included: this sky sits one unit off-centre.
            res.titleSkyShader.setMat4("view", loop.view);
        });
    }
}
