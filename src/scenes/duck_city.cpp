// Duck city: 130 < demoTime < 160. Four ducks, each moved, turned and squeezed by its
// own function of time, before the duck-city sky; the camera jumps at 137 and 147.
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>
#include "app/resources.h"
#include "scenes/scenes.h"
#include "scenes/sky.h"

namespace {

constexpr float kDegree = 0.017453292f;       // one degree in radians
constexpr float kQuarterTurn = 0.7853982f;    // 45 degrees
constexpr float kDuck2Turn = -0.34906584f;    // -20 degrees
constexpr double kSwingStart = 134.0;         // clock second the ducks swing about

void drawDuck(SceneResources& res, const glm::mat4& view, const glm::mat4& projection,
              const glm::vec3& offset, float angle, const glm::vec3& axis,
              const glm::vec3& squeeze) {
    res.modelShader.use();
    glm::mat4 model(1.0f);
    res.modelShader.setMat4("view", view);
    res.modelShader.setMat4("projection", projection);
    model = glm::translate(model, offset);
    model = glm::rotate(model, angle, axis);
    model = glm::scale(model, squeeze);
    res.modelShader.setMat4("model", model);
    res.duckModel.draw(res.modelShader);
}

}  // namespace

void drawDuckCity(float demoTime, SceneResources& res, LoopValues& loop) {
    const float t = demoTime;
    const float A = float(10.0 * std::sin(glfwGetTime() - kSwingStart));
    const float X = float(10.0 * std::cos(glfwGetTime() - kSwingStart));
    const float a = t - 134.0f;
    const float S = float(std::sin(glfwGetTime() - kSwingStart) * 3.0 * double(a));
    glm::mat4 view(1.0f);

    // On 137 and 147 exactly no placement holds and the frame is seen through identity.
    const glm::vec3 up(0.0f, 1.0f, 0.0f);
    if (t > 147.0f) {
        const glm::vec3 n = glm::normalize(glm::vec3(1.0f, A, 1.0f) -
                                           glm::vec3(-0.51f, -0.51f, 10.5f));
        view = glm::lookAt(glm::vec3(n.y, 0.0f, X), glm::vec3(A, S, -5.0f), up);
    }
    if (t > 137.0f && t < 147.0f) {
        view = glm::lookAt(glm::vec3(X, 0.0f, X), glm::vec3(0.0f, X, A), up);
    }
    if (t < 137.0f) {
        view = glm::lookAt(glm::vec3(-A, 0.0f, -20.0f),
                           glm::vec3(0.0f, -A, float(-10.0 * std::sin(glfwGetTime()))), up);
    }

    // sin a / a has no value at a = 0 (demoTime 134); its limit 1 keeps the NaN out of
    // the matrix, which would otherwise blank the duck for that frame.
    const float sinc = a == 0.0f ? 1.0f : sinf(a) / a;
    const glm::vec3 squeeze(0.3f);

    drawDuck(res, view, loop.projection, glm::vec3(0.1f * sinf(a), X, S),
             sinf(a) * -20.0f * kDegree, glm::vec3(A / t, S, -a * S), squeeze);
    drawDuck(res, view, loop.projection, glm::vec3(A * cosf(a), X / 3.141f, cosf(a)),
             kDuck2Turn, glm::vec3(X / -0.2f, 0.5f * cosf(A), X / -1.1f), squeeze);
    drawDuck(res, view, loop.projection, glm::vec3(-S, 5.0f * sinf(a), sinc), kQuarterTurn,
             glm::vec3(X, S, float(std::sin(40.0 * (glfwGetTime() - kSwingStart)))),
             glm::vec3(0.5f, 1.1f, 0.7f));
    drawDuck(res, view, loop.projection, glm::vec3(0.2f * sinf(a), A, A),
             sinf(a) * 45.0f * kDegree, glm::vec3(A, S, X), squeeze);

    drawSky(res.geometry.skyboxVAO, res.duckCityCubemap, [&] {
        res.duckCitySkyShader.use();
        view = glm::mat4(glm::mat3(view));
        res.duckCitySkyShader.setMat4("projection", loop.projection);
        res.duckCitySkyShader.setMat4("view", view);
    });
}
