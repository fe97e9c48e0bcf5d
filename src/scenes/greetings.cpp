// Greetings: 160 < demoTime < 247. Thirty-six instanced quads carry one greeting
// logo at a time through a swaying wide-angle camera (until 246), before the Tampere sky.
#include "scenes/scenes.h"

#include <cmath>
#include <string>
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include "app/resources.h"
#include "scenes/sky.h"

namespace {

constexpr float kAspect = 1.7777778f;         // 16:9
constexpr float kSkyFov = 0.61086524f;        // 35 degrees
constexpr float kEarlyQuadFov = 2.268928f;    // 130 degrees, until 205
constexpr float kLateQuadFov = 2.5307274f;    // 145 degrees, from 205 to 246
constexpr float kEarlyQuadTilt = 0.2617994f;  // 15 degrees
constexpr float kDegree = 0.017453292f;       // one degree in radians
constexpr float kSkyTurn = 0.7853982f;        // 45 degrees

struct LogoSlot {
    float after, before;  // strict bounds on demoTime
    unsigned SceneResources::*logo;
};

// Outside every slot nothing is bound, so unit 0 keeps the previous logo: logo 1
// through 170..175, the outgoing logo on each exact boundary, logo 12 after 241.
// The first slot's lower bound is the window's own.
//  after    before   logo
constexpr LogoSlot kLogoSchedule[] = {
    {160.0f, 170.0f, &SceneResources::greetLogo1},
    {175.0f, 181.0f, &SceneResources::greetLogo2},
    {181.0f, 187.0f, &SceneResources::greetLogo3},
    {187.0f, 193.0f, &SceneResources::greetLogo4},
    {193.0f, 199.0f, &SceneResources::greetLogo5},
    {199.0f, 204.0f, &SceneResources::greetLogo6},   // 5 s
    {204.0f, 211.0f, &SceneResources::greetLogo7},   // 7 s
    {211.0f, 217.0f, &SceneResources::greetLogo8},
    {217.0f, 223.0f, &SceneResources::greetLogo9},
    {223.0f, 229.0f, &SceneResources::greetLogo10},
    {229.0f, 235.0f, &SceneResources::greetLogo11},
    {235.0f, 241.0f, &SceneResources::greetLogo12},
};
static_assert(sizeof(kLogoSchedule) / sizeof(kLogoSchedule[0]) == 12,
              "logos 1 to 12 greet here; 13 closes the demo");

// "texture1" names unit 0 since start-up; it is set again anyway, through both paths.
void pointLogoSamplerAtUnit0(const ShaderProgram& program) {
    program.setInt("texture1", 0);
    glUniform1i(glGetUniformLocation(program.id, "texture1"), 0);
}

void drawLogoQuads(const SceneResources& res, const glm::mat4& projection,
                   const glm::mat4& view, const glm::mat4& model, float timer) {
    const ShaderProgram& program = res.instancingShader;
    program.setMat4("projection", projection);
    program.setMat4("view", view);
    program.setMat4("model", model);
    // The offsets also travel as an instance attribute; the shader may use either.
    for (int k = 0; k < kQuadOffsetCount; ++k) {
        program.setVec2("offsets[" + std::to_string(k) + "]", res.geometry.quadOffsets[k]);
    }
    glBindVertexArray(res.geometry.instancedQuadVAO);
    program.setFloat("timer", timer);
    glDrawElementsInstanced(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr, kQuadOffsetCount);
}

}  // namespace

void drawGreetings(float demoTime, SceneResources& res, LoopValues& loop) {
    loop.model = glm::mat4(1.0f);
    loop.view = glm::mat4(1.0f);
    loop.projection = glm::mat4(1.0f);
    // One clock reading drives the whole frame, about demoTime - 137.
    const float a = float(glfwGetTime() - 150.0);
    const float sinA = sinf(a);
    const float cosA = cosf(a);

    const glm::mat4 skyProjection = glm::perspective(kSkyFov, kAspect, 0.001f, 5000.0f);
    loop.view = glm::lookAt(glm::vec3(15.0f * sinA, 6.0f * sinA, sinA),
                            glm::vec3(15.1f, 15.0f, 5.1f), glm::vec3(0.0f, 1.0f, 0.0f));

    res.instancingShader.use();
    pointLogoSamplerAtUnit0(res.instancingShader);
    for (const LogoSlot& slot : kLogoSchedule) {
        if (slot.after < demoTime && demoTime < slot.before) {
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, res.*slot.logo);
        }
    }
    res.instancingShader.use();
    pointLogoSamplerAtUnit0(res.instancingShader);

    // Unbounded near a = pi/2 + k pi; the swing is left unclamped on purpose.
    const float timer = tanf(a) + sinA * (2.0f * cosA);
    glm::mat4 quadProjection(1.0f), quadView(1.0f), quadModel(1.0f);

    if (demoTime < 205.0f) {
        quadProjection = glm::perspective(kEarlyQuadFov, kAspect, 0.001f, 200.0f);
        quadView = glm::lookAt(glm::vec3(-1.5f * sinA, -sinA - 2.0f, cosA),
                               glm::vec3(2.0f, -2.0f, timer - 2.2f), glm::vec3(0.0f, 1.0f, 0.0f));
        quadModel = glm::rotate(loop.model, kEarlyQuadTilt,
                                glm::vec3(5.0f * sinA, 2.0f * sinA, 25.0f));
        drawLogoQuads(res, quadProjection, quadView, quadModel, timer);
    }
    // The camera moves at 205, a second after the logo changes at 204.
    if (205.0f < demoTime && demoTime < 246.0f) {
        quadProjection = glm::perspective(kLateQuadFov, kAspect, 0.001f, 200.0f);
        quadView = glm::lookAt(glm::vec3(-1.5f * sinA, -sinA - 2.0f, cosA - timer),
                               glm::vec3(15.0f * sinA, -2.0f, 15.0f * sinA),
                               glm::vec3(0.0f, 1.0f, 0.0f));
        // A swing of up to 5 degrees either way.
        quadModel = glm::rotate(loop.model, 5.0f * cosA * kDegree,
                                glm::vec3(5.0f * sinA, -5.0f * sinA, 25.0f));
        drawLogoQuads(res, quadProjection, quadView, quadModel, timer);
    }

    drawSky(res.geometry.skyboxVAO, res.tampereCubemap, [&] {
        res.tampereSkyShader.use();
        const glm::mat4 skyTurn = glm::rotate(
            glm::mat4(1.0f), kSkyTurn, glm::vec3(9.52f * sinA, 12.1f * sinA, -15.1f * cosA));
        glUniformMatrix4fv(glGetUniformLocation(res.tampereSkyShader.id, "transform3"), 1,
                           GL_FALSE, glm::value_ptr(skyTurn));
        glUniform1f(glGetUniformLocation(res.tampereSkyShader.id, "time"), demoTime);
        // The shared view keeps the translation-free sky camera after the frame.
        loop.view = glm::mat4(glm::mat3(loop.view));
        res.tampereSkyShader.setMat4("projection", skyProjection);
        res.tampereSkyShader.setMat4("view", loop.view);
    });
}
