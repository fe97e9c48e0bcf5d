// Two-shed city: 95 < demoTime < 130. From 105 a refracting ship tumbles in front of a
// far-off camera, each ship preceded by a cube of the city map; from 114 a second one.
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>
#include "app/resources.h"
#include "scenes/scenes.h"
#include "scenes/sky.h"

namespace {

constexpr float kQuarterTurn = 0.7853982f;  // 45 degrees, every turn of this scene

// The cube takes whatever "model" refractShader still holds: the matrix of the ship
// drawn before it (the previous frame's last ship for the first cube). It is never set
// for the cube, so the first cube of a run gets a fresh program's all-zero matrix.
void drawCityCube(const SceneResources& res) {
    glBindVertexArray(res.geometry.cubeVAO);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, res.twoShedCubemap);
    glDrawArrays(GL_TRIANGLES, 0, 36);
    glBindVertexArray(0);
}

void beginShip(const SceneResources& res, const glm::mat4& view, const LoopValues& loop) {
    res.refractShader.use();
    res.refractShader.setMat4("view", view);
    res.refractShader.setMat4("projection", loop.projection);
}

}  // namespace

// Every glfwGetTime() is a fresh reading; the braced vectors read theirs left to right.
void drawTwoShedCity(float demoTime, SceneResources& res, LoopValues& loop) {
    glm::mat4 view(1.0f);
    glm::mat4 ship(1.0f);
    view = glm::lookAt(glm::vec3(1.0f, 0.0f, -90.0f), glm::vec3(0.0f, 1.0f, 0.0f),
                       glm::vec3(0.0f, 1.0f, 0.0f));
    loop.mixItUpValue = demoTime / 0.1f;

    // At exactly 105 the pose is worked out and its camera set, but nothing is drawn.
    if (demoTime >= 105.0f && demoTime <= 116.0f) {
        beginShip(res, view, loop);
        ship = glm::mat4(1.0f);
        ship = glm::translate(ship, glm::vec3{float(std::abs(std::atan(glfwGetTime()) * 13.0) + 10.0),
                                              float(std::cos(glfwGetTime() * 3.0)),
                                              float(std::sin(glfwGetTime()) * 5.0)});
        ship = glm::rotate(ship, kQuarterTurn,
                           glm::vec3{float(std::abs(std::sin(glfwGetTime()) * 11.0)),
                                     sinf(-demoTime) * 2.0f, cosf(demoTime) * 10.0f});
        ship = glm::scale(ship, glm::vec3(0.9f));
    }
    if (demoTime > 116.0f) {
        beginShip(res, view, loop);
        ship = glm::mat4(1.0f);
        ship = glm::translate(ship, glm::vec3{float(std::abs(std::cos(glfwGetTime()) * 10.0)),
                                              float(std::abs(std::sin(-glfwGetTime()) * 4.0)),
                                              sinf(demoTime) * 2.0f});
        ship = glm::rotate(ship, kQuarterTurn,
                           glm::vec3{float(std::abs(2.0 * std::tan(glfwGetTime()))),
                                     float(std::abs(std::atan(glfwGetTime()) * 5.0)),
                                     -cosf(demoTime) * 6.0f});
        ship = glm::scale(ship, glm::vec3(0.7f, sinf(demoTime) + 0.5f, sinf(demoTime) * 0.5f));
    }
    if (demoTime > 105.0f) {
        drawCityCube(res);
        res.refractShader.setMat4("model", ship);
        res.forestShipModel.draw(res.refractShader);
    }

    if (demoTime > 114.0f) {
        beginShip(res, view, loop);
        ship = glm::mat4(1.0f);
        if (demoTime <= 120.0f) {
            ship = glm::translate(ship, glm::vec3{float(std::abs(std::sin(glfwGetTime()) * 15.0)),
                                                  float(std::abs(std::sin(glfwGetTime()) + 10.0)),
                                                  float(std::abs(std::cos(glfwGetTime()) * 10.0))});
            ship = glm::rotate(ship, kQuarterTurn,
                               glm::vec3(atanf(sinf(demoTime)) * tanf(demoTime),
                                         atanf(sinf(demoTime)), -tanf(demoTime)));
            ship = glm::scale(ship, glm::vec3(0.6f, 0.4f, 0.7f));
        } else {
            ship = glm::translate(ship, glm::vec3{float(std::abs(std::tan(glfwGetTime()) * 11.0)),
                                                  sinf(-demoTime),
                                                  float(std::abs(std::tan(glfwGetTime()) * 7.0))});
            ship = glm::rotate(ship, kQuarterTurn,
                               glm::vec3(tanf(-demoTime), sinf(demoTime), sinf(demoTime) * 0.7f));
            ship = glm::scale(ship, glm::vec3(0.7f));
        }
        drawCityCube(res);
        res.refractShader.setMat4("model", ship);
        res.forestShipModel.draw(res.refractShader);
    }

    drawSky(res.geometry.skyboxVAO, res.twoShedCubemap, [&] {
        res.forestSkyShader.use();
        res.forestSkyShader.setMat4("transform3", glm::mat4(1.0f));
        res.forestSkyShader.setFloat("time", demoTime);
        // The sky changes its look once past 106; exactly on 106 it keeps the last one.
        if (demoTime < 106.0f) loop.endValue = 1.0f;
        if (demoTime > 106.0f) loop.endValue = 0.0f;
        res.forestSkyShader.setFloat("end", loop.endValue);
        res.forestSkyShader.setFloat("mixItUp", demoTime / 0.1f);
        view = glm::mat4(glm::mat3(view));
        res.forestSkyShader.setMat4("projection", loop.projection);
        res.forestSkyShader.setMat4("view", view);
    });
}
