// The sky every scene draws last: a cube around the viewer at the far plane.
#pragma once
#include "gfx/gl.h"

// setUniforms runs between the depth-function change and the draw, so each scene
// feeds its own sky program in its own order.
template <typename SetUniforms>
void drawSky(unsigned skyboxVAO, unsigned cubemap, SetUniforms setUniforms) {
    // The sky's depth is 1.0 everywhere; GL_LESS would reject it against the cleared depth.
    glDepthFunc(GL_LEQUAL);
    setUniforms();
    glBindVertexArray(skyboxVAO);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubemap);
    glDrawArrays(GL_TRIANGLES, 0, 36);
    glBindVertexArray(0);
    glDepthFunc(GL_LESS);
}
