// The built-in vertex tables and the vertex arrays the scenes draw them through:
// instanced quad, textured cube, sky cube, textured quad and screen quad.
#include "gfx/geometry.h"
#include "gfx/gl.h"

#include <cstdint>

namespace {

// Every vertex of a table sits on a corner: its first `axes` components are all
// +-half. A table with rows missing is zero-filled to the declared size and fails this.
constexpr bool onCorners(const float* table, int vertexCount, int floatsPerVertex, int axes,
                         float half) {
    for (int v = 0; v < vertexCount; ++v)
        for (int a = 0; a < axes; ++a) {
            float c = table[v * floatsPerVertex + a];
            if (c != half && c != -half)
                return false;
        }
    return true;
}

const void* byteOffset(std::uintptr_t bytes) {
    return reinterpret_cast<const void*>(bytes);
}

constexpr GLsizei kFloat = sizeof(float);

}  // namespace

// ---------------------------------------------------------------------------------
// Instanced quad: the greeting tiles. The colours ride along in the buffer but no
// attribute reads them.
constexpr int kInstancedQuadVertexCount = 4;
constexpr int kInstancedQuadFloatsPerVertex = 8;
constexpr float kInstancedQuadVertices[32] = {
//   position             texcoord     colour
     0.5f,  0.5f, 0.0f,   1.0f, 1.0f,  1.0f, 0.0f, 0.0f,
     0.5f, -0.5f, 0.0f,   1.0f, 0.0f,  0.0f, 1.0f, 0.0f,
    -0.5f, -0.5f, 0.0f,   0.0f, 0.0f,  0.0f, 0.0f, 1.0f,
    -0.5f,  0.5f, 0.0f,   0.0f, 1.0f,  1.0f, 1.0f, 0.0f,
};
static_assert(sizeof(kInstancedQuadVertices) ==
                  kInstancedQuadVertexCount * kInstancedQuadFloatsPerVertex * sizeof(float),
              "instanced quad: 4 vertices of 8 floats");
static_assert(onCorners(kInstancedQuadVertices, kInstancedQuadVertexCount,
                        kInstancedQuadFloatsPerVertex, 2, 0.5f),
              "instanced quad: a row is missing");

// Two triangles over the corners above; shared by all three quads.
constexpr unsigned kQuadIndices[6] = {
    0, 1, 3,   // first triangle
    1, 2, 3,   // second triangle
};
static_assert(sizeof(kQuadIndices) == 6 * sizeof(unsigned), "two triangles");

// ---------------------------------------------------------------------------------
// Textured cube: the cube of the two-shed city.
constexpr int kCubeVertexCount = 36;
constexpr int kCubeFloatsPerVertex = 5;
constexpr float kCubeVertices[180] = {
//   position              texcoord
    // back, z = -0.5
    -0.5f, -0.5f, -0.5f,   0.0f, 0.0f,
     0.5f, -0.5f, -0.5f,   1.0f, 0.0f,
     0.5f,  0.5f, -0.5f,   1.0f, 1.0f,
     0.5f,  0.5f, -0.5f,   1.0f, 1.0f,
    -0.5f,  0.5f, -0.5f,   0.0f, 1.0f,
    -0.5f, -0.5f, -0.5f,   0.0f, 0.0f,
    // front, z = 0.5
    -0.5f, -0.5f,  0.5f,   0.0f, 0.0f,
     0.5f, -0.5f,  0.5f,   1.0f, 0.0f,
     0.5f,  0.5f,  0.5f,   1.0f, 1.0f,
     0.5f,  0.5f,  0.5f,   1.0f, 1.0f,
    -0.5f,  0.5f,  0.5f,   0.0f, 1.0f,
    -0.5f, -0.5f,  0.5f,   0.0f, 0.0f,
    // left, x = -0.5
    -0.5f,  0.5f,  0.5f,   1.0f, 0.0f,
    -0.5f,  0.5f, -0.5f,   1.0f, 1.0f,
    -0.5f, -0.5f, -0.5f,   0.0f, 1.0f,
    -0.5f, -0.5f, -0.5f,   0.0f, 1.0f,
    -0.5f, -0.5f,  0.5f,   0.0f, 0.0f,
    -0.5f,  0.5f,  0.5f,   1.0f, 0.0f,
    // right, x = 0.5
     0.5f,  0.5f,  0.5f,   1.0f, 0.0f,
     0.5f,  0.5f, -0.5f,   1.0f, 1.0f,
     0.5f, -0.5f, -0.5f,   0.0f, 1.0f,
     0.5f, -0.5f, -0.5f,   0.0f, 1.0f,
     0.5f, -0.5f,  0.5f,   0.0f, 0.0f,
     0.5f,  0.5f,  0.5f,   1.0f, 0.0f,
    // bottom, y = -0.5
    -0.5f, -0.5f, -0.5f,   0.0f, 1.0f,
     0.5f, -0.5f, -0.5f,   1.0f, 1.0f,
     0.5f, -0.5f,  0.5f,   1.0f, 0.0f,
     0.5f, -0.5f,  0.5f,   1.0f, 0.0f,
    -0.5f, -0.5f,  0.5f,   0.0f, 0.0f,
    -0.5f, -0.5f, -0.5f,   0.0f, 1.0f,
    // top, y = 0.5
    -0.5f,  0.5f, -0.5f,   0.0f, 1.0f,
     0.5f,  0.5f, -0.5f,   1.0f, 1.0f,
     0.5f,  0.5f,  0.5f,   1.0f, 0.0f,
     0.5f,  0.5f,  0.5f,   1.0f, 0.0f,
    -0.5f,  0.5f,  0.5f,   0.0f, 0.0f,
    -0.5f,  0.5f, -0.5f,   0.0f, 1.0f,
};
static_assert(sizeof(kCubeVertices) ==
                  kCubeVertexCount * kCubeFloatsPerVertex * sizeof(float),
              "cube: 36 vertices of 5 floats");
static_assert(onCorners(kCubeVertices, kCubeVertexCount, kCubeFloatsPerVertex, 3, 0.5f),
              "cube: a row is missing");

// ---------------------------------------------------------------------------------
// Sky cube: side 2 around the eye. Culling stays off, so the winding does not hide
// it from inside.
constexpr int kSkyboxVertexCount = 36;
constexpr int kSkyboxFloatsPerVertex = 3;
constexpr float kSkyboxVertices[108] = {
//   position
    // z = -1
    -1.0f,  1.0f, -1.0f,
    -1.0f, -1.0f, -1.0f,
     1.0f, -1.0f, -1.0f,
     1.0f, -1.0f, -1.0f,
     1.0f,  1.0f, -1.0f,
    -1.0f,  1.0f, -1.0f,
    // x = -1
    -1.0f, -1.0f,  1.0f,
    -1.0f, -1.0f, -1.0f,
    -1.0f,  1.0f, -1.0f,
    -1.0f,  1.0f, -1.0f,
    -1.0f,  1.0f,  1.0f,
    -1.0f, -1.0f,  1.0f,
    // x = 1
     1.0f, -1.0f, -1.0f,
     1.0f, -1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,
     1.0f,  1.0f, -1.0f,
     1.0f, -1.0f, -1.0f,
    // z = 1
    -1.0f, -1.0f,  1.0f,
    -1.0f,  1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,
     1.0f, -1.0f,  1.0f,
    -1.0f, -1.0f,  1.0f,
    // y = 1
    -1.0f,  1.0f, -1.0f,
     1.0f,  1.0f, -1.0f,
     1.0f,  1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,
    -1.0f,  1.0f,  1.0f,
    -1.0f,  1.0f, -1.0f,
    // y = -1
    -1.0f, -1.0f, -1.0f,
    -1.0f, -1.0f,  1.0f,
     1.0f, -1.0f, -1.0f,
     1.0f, -1.0f, -1.0f,
    -1.0f, -1.0f,  1.0f,
     1.0f, -1.0f,  1.0f,
};
static_assert(sizeof(kSkyboxVertices) ==
                  kSkyboxVertexCount * kSkyboxFloatsPerVertex * sizeof(float),
              "sky cube: 36 positions");
static_assert(onCorners(kSkyboxVertices, kSkyboxVertexCount, kSkyboxFloatsPerVertex, 3, 1.0f),
              "sky cube: a row is missing");

// ---------------------------------------------------------------------------------
// Textured quad: the picture and logo quads. Same corners as the instanced quad,
// colour before texture coordinate.
constexpr int kTexturedQuadVertexCount = 4;
constexpr int kTexturedQuadFloatsPerVertex = 8;
constexpr float kTexturedQuadVertices[32] = {
//   position             colour             texcoord
     0.5f,  0.5f, 0.0f,   1.0f, 0.0f, 0.0f,  1.0f, 1.0f,
     0.5f, -0.5f, 0.0f,   0.0f, 1.0f, 0.0f,  1.0f, 0.0f,
    -0.5f, -0.5f, 0.0f,   0.0f, 0.0f, 1.0f,  0.0f, 0.0f,
    -0.5f,  0.5f, 0.0f,   1.0f, 1.0f, 0.0f,  0.0f, 1.0f,
};
static_assert(sizeof(kTexturedQuadVertices) ==
                  kTexturedQuadVertexCount * kTexturedQuadFloatsPerVertex * sizeof(float),
              "textured quad: 4 vertices of 8 floats");
static_assert(onCorners(kTexturedQuadVertices, kTexturedQuadVertexCount,
                        kTexturedQuadFloatsPerVertex, 2, 0.5f),
              "textured quad: a row is missing");

// ---------------------------------------------------------------------------------
// Screen quad: covers clip space for the full-screen shader picture.
constexpr int kScreenQuadVertexCount = 4;
constexpr int kScreenQuadFloatsPerVertex = 3;
constexpr float kScreenQuadVertices[12] = {
//   position
     1.0f,  1.0f, 0.0f,
     1.0f, -1.0f, 0.0f,
    -1.0f, -1.0f, 0.0f,
    -1.0f,  1.0f, 0.0f,
};
static_assert(sizeof(kScreenQuadVertices) ==
                  kScreenQuadVertexCount * kScreenQuadFloatsPerVertex * sizeof(float),
              "screen quad: 4 positions");
static_assert(onCorners(kScreenQuadVertices, kScreenQuadVertexCount,
                        kScreenQuadFloatsPerVertex, 2, 1.0f),
              "screen quad: a row is missing");

// ---------------------------------------------------------------------------------
// Instance offsets: a 6 x 6 grid, row by row from the bottom.
std::array<glm::vec2, kQuadOffsetCount> makeQuadOffsets() {
    std::array<glm::vec2, kQuadOffsetCount> offsets{};
    int index = 0;
    for (int y = -13; y < 5; y += 3)
        for (int x = -8; x < 10; x += 3)
            offsets[index++] = glm::vec2(static_cast<float>(x) / 2.2f + 1.2f,
                                         static_cast<float>(y) / 2.2f + 1.2f);
    return offsets;
}

// ---------------------------------------------------------------------------------
// Set-up. Each step binds its own vertex array before it binds an element buffer, so
// no array records another's indices even though some steps leave theirs bound.
void setupQuadOffsets(Geometry& geometry) {
    geometry.quadOffsets = makeQuadOffsets();
    glGenBuffers(1, &geometry.quadOffsetsVBO);
    glBindBuffer(GL_ARRAY_BUFFER, geometry.quadOffsetsVBO);
    glBufferData(GL_ARRAY_BUFFER, sizeof(glm::vec2) * kQuadOffsetCount,
                 geometry.quadOffsets.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void setupInstancedQuad(Geometry& geometry) {
    constexpr GLsizei stride = kInstancedQuadFloatsPerVertex * kFloat;
    glGenVertexArrays(1, &geometry.instancedQuadVAO);
    glGenBuffers(1, &geometry.instancedQuadVBO);
    glGenBuffers(1, &geometry.instancedQuadEBO);
    glBindVertexArray(geometry.instancedQuadVAO);
    glBindBuffer(GL_ARRAY_BUFFER, geometry.instancedQuadVBO);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kInstancedQuadVertices), kInstancedQuadVertices,
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, geometry.instancedQuadEBO);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(kQuadIndices), kQuadIndices, GL_STATIC_DRAW);

    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, byteOffset(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, byteOffset(3 * kFloat));

    glEnableVertexAttribArray(2);
    glBindBuffer(GL_ARRAY_BUFFER, geometry.quadOffsetsVBO);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 2 * kFloat, byteOffset(0));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    // Two consecutive instances share one offset: 36 instances read offsets 0..17.
    glVertexAttribDivisor(2, 2);
}

void setupCube(Geometry& geometry) {
    constexpr GLsizei stride = kCubeFloatsPerVertex * kFloat;
    glGenVertexArrays(1, &geometry.cubeVAO);
    glGenBuffers(1, &geometry.cubeVBO);
    glBindVertexArray(geometry.cubeVAO);
    glBindBuffer(GL_ARRAY_BUFFER, geometry.cubeVBO);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kCubeVertices), kCubeVertices, GL_STATIC_DRAW);

    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, byteOffset(0));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, byteOffset(3 * kFloat));
    glEnableVertexAttribArray(1);
}

void setupSkybox(Geometry& geometry) {
    constexpr GLsizei stride = kSkyboxFloatsPerVertex * kFloat;
    glGenVertexArrays(1, &geometry.skyboxVAO);
    glGenBuffers(1, &geometry.skyboxVBO);
    glBindVertexArray(geometry.skyboxVAO);
    glBindBuffer(GL_ARRAY_BUFFER, geometry.skyboxVBO);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kSkyboxVertices), kSkyboxVertices, GL_STATIC_DRAW);

    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, byteOffset(0));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
}

void setupTexturedQuad(Geometry& geometry) {
    constexpr GLsizei stride = kTexturedQuadFloatsPerVertex * kFloat;
    glBindVertexArray(0);
    glGenVertexArrays(1, &geometry.texturedQuadVAO);
    glGenBuffers(1, &geometry.texturedQuadVBO);
    glGenBuffers(1, &geometry.texturedQuadEBO);
    glBindVertexArray(geometry.texturedQuadVAO);
    glBindBuffer(GL_ARRAY_BUFFER, geometry.texturedQuadVBO);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kTexturedQuadVertices), kTexturedQuadVertices,
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, geometry.texturedQuadEBO);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(kQuadIndices), kQuadIndices, GL_STATIC_DRAW);

    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, byteOffset(0));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, byteOffset(3 * kFloat));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, byteOffset(6 * kFloat));
    glEnableVertexAttribArray(2);
}

void setupScreenQuad(Geometry& geometry) {
    constexpr GLsizei stride = kScreenQuadFloatsPerVertex * kFloat;
    glGenVertexArrays(1, &geometry.screenQuadVAO);
    glGenBuffers(1, &geometry.screenQuadVBO);
    glGenBuffers(1, &geometry.screenQuadEBO);
    glBindVertexArray(geometry.screenQuadVAO);
    glBindBuffer(GL_ARRAY_BUFFER, geometry.screenQuadVBO);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kScreenQuadVertices), kScreenQuadVertices,
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, geometry.screenQuadEBO);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(kQuadIndices), kQuadIndices, GL_STATIC_DRAW);

    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, byteOffset(0));
    glEnableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
}
