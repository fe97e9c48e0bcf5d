// The built-in vertex tables (instanced quad, textured cube, sky cube, textured quad,
// screen quad), the instance offsets, and the vertex arrays they are uploaded into.
#pragma once
#include <array>
#include <glm/glm.hpp>

constexpr int kQuadOffsetCount = 36;

extern const float kInstancedQuadVertices[32];
extern const unsigned kQuadIndices[6];
extern const float kCubeVertices[180];
extern const float kSkyboxVertices[108];
extern const float kTexturedQuadVertices[32];
extern const float kScreenQuadVertices[12];

struct Geometry {
    std::array<glm::vec2, kQuadOffsetCount> quadOffsets{};

    unsigned quadOffsetsVBO = 0;
    unsigned instancedQuadVAO = 0, instancedQuadVBO = 0, instancedQuadEBO = 0;
    unsigned cubeVAO = 0, cubeVBO = 0;
    unsigned skyboxVAO = 0, skyboxVBO = 0;
    unsigned texturedQuadVAO = 0, texturedQuadVBO = 0, texturedQuadEBO = 0;
    unsigned screenQuadVAO = 0, screenQuadVBO = 0, screenQuadEBO = 0;
};

// The 6 x 6 grid of offsets: rows y = -13, -10, ..., 2, columns x = -8, -5, ..., 7,
// each mapped to (v / 2.2 + 1.2).
std::array<glm::vec2, kQuadOffsetCount> makeQuadOffsets();

// Set-up steps, run in this order by the resource set-up.
void setupQuadOffsets(Geometry& geometry);
void setupInstancedQuad(Geometry& geometry);
void setupCube(Geometry& geometry);
void setupSkybox(Geometry& geometry);
void setupTexturedQuad(Geometry& geometry);
void setupScreenQuad(Geometry& geometry);
