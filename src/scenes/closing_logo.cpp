// Closing logo: 247 < demoTime < 265. Greeting logo 13, flat and centred on the
// textured quad; any motion in it is the shader's, fed the resolution and the clock.
#include "scenes/scenes.h"

#include "gfx/gl.h"
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include "app/resources.h"

void drawClosingLogo(float demoTime, SceneResources& res, LoopValues& loop) {
    // One unit back from the quad; with the identity projection below the quad covers
    // the middle half of the screen each way, at depth 0.9.
    loop.view = glm::lookAt(glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(0.0f, 0.0f, 0.0f),
                            glm::vec3(0.0f, 1.0f, 0.0f));
    res.pointLastShader.use();
    // The size the window asks for, fixed: a resized framebuffer does not change it.
    glUniform2f(glGetUniformLocation(res.pointLastShader.id, "u_resolution"), 1920.0f, 1080.0f);
    // The demo's own clock, not the time since this window opened.
    glUniform1f(glGetUniformLocation(res.pointLastShader.id, "u_time"), demoTime);
    glBindVertexArray(res.geometry.texturedQuadVAO);

    glm::mat4 quad = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, 1.9f));
    quad = glm::scale(quad, glm::vec3(1.0f, 1.0f, 1.0f));
    res.pointLastShader.setMat4("view", loop.view);
    res.pointLastShader.setMat4("projection", glm::mat4(1.0f));
    res.pointLastShader.setMat4("model", quad);

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, res.greetLogo13);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
}
