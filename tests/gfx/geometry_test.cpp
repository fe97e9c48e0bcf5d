// The built-in geometry: the instance offset grid, the vertex array layouts the
// shaders rely on, and what the arrays actually feed a draw.
#include "gfx/geometry.h"

#include "gl_context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------
// Expected layouts

struct AttributeLayout {
    GLuint index;
    GLint components;
    GLint stride;       // bytes
    std::uintptr_t offset;  // bytes
    GLint divisor;
    unsigned Geometry::*buffer;
};

struct ArrayLayout {
    const char* name;
    unsigned Geometry::*vao;
    unsigned Geometry::*vbo;
    GLint vertexBytes;
    unsigned Geometry::*ebo;  // nullptr: the array draws without indices
    std::vector<AttributeLayout> attributes;
};

const std::vector<ArrayLayout> kLayouts = {
    {"instanced quad", &Geometry::instancedQuadVAO, &Geometry::instancedQuadVBO, 128,
     &Geometry::instancedQuadEBO,
     {//  index  components  stride  offset  divisor  buffer
      {0, 3, 32, 0, 0, &Geometry::instancedQuadVBO},
      {1, 2, 32, 12, 0, &Geometry::instancedQuadVBO},
      {2, 2, 8, 0, 2, &Geometry::quadOffsetsVBO}}},
    {"cube", &Geometry::cubeVAO, &Geometry::cubeVBO, 720, nullptr,
     {{0, 3, 20, 0, 0, &Geometry::cubeVBO},
      {1, 2, 20, 12, 0, &Geometry::cubeVBO}}},
    {"sky cube", &Geometry::skyboxVAO, &Geometry::skyboxVBO, 432, nullptr,
     {{0, 3, 12, 0, 0, &Geometry::skyboxVBO}}},
    {"textured quad", &Geometry::texturedQuadVAO, &Geometry::texturedQuadVBO, 128,
     &Geometry::texturedQuadEBO,
     {{0, 3, 32, 0, 0, &Geometry::texturedQuadVBO},
      {1, 3, 32, 12, 0, &Geometry::texturedQuadVBO},
      {2, 2, 32, 24, 0, &Geometry::texturedQuadVBO}}},
    {"screen quad", &Geometry::screenQuadVAO, &Geometry::screenQuadVBO, 48,
     &Geometry::screenQuadEBO,
     {{0, 3, 12, 0, 0, &Geometry::screenQuadVBO}}},
};

GLint attribute(GLuint index, GLenum name) {
    GLint value = -1;
    glGetVertexAttribiv(index, name, &value);
    return value;
}

GLint integer(GLenum name) {
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

std::vector<float> bufferFloats(GLuint buffer, size_t count) {
    std::vector<float> data(count, 0.0f);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(float)),
                       data.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return data;
}

// All five pieces, set up in the start-up order.
struct builtInGeometry : GlTest {
    Geometry geometry;

    void SetUp() override {
        GlTest::SetUp();
        setupQuadOffsets(geometry);
        setupInstancedQuad(geometry);
        setupCube(geometry);
        setupSkybox(geometry);
        setupTexturedQuad(geometry);
        setupScreenQuad(geometry);
    }

    void TearDown() override {
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        for (const ArrayLayout& layout : kLayouts) {
            glDeleteVertexArrays(1, &(geometry.*layout.vao));
            glDeleteBuffers(1, &(geometry.*layout.vbo));
            if (layout.ebo)
                glDeleteBuffers(1, &(geometry.*layout.ebo));
        }
        glDeleteBuffers(1, &geometry.quadOffsetsVBO);
        GlTest::TearDown();
    }
};

GLuint compileShader(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

GLint linked(GLuint program) {
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    return status;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Instance offsets

TEST(quadOffsets, grid_starts_bottom_left_and_ends_top_right) {
    std::array<glm::vec2, kQuadOffsetCount> offsets = makeQuadOffsets();
    EXPECT_NEAR(offsets[0].x, -2.436363f, 2e-6f);
    EXPECT_NEAR(offsets[0].y, -4.709091f, 2e-6f);
    EXPECT_NEAR(offsets[6].x, -2.436363f, 2e-6f);
    EXPECT_NEAR(offsets[6].y, -3.345454f, 2e-6f);
    EXPECT_NEAR(offsets[35].x, 4.381818f, 2e-6f);
    EXPECT_NEAR(offsets[35].y, 2.109091f, 2e-6f);
}

TEST(quadOffsets, entry_of_row_r_column_c_sits_at_index_6r_plus_c) {
    const float xs[6] = {-2.436363f, -1.072727f, 0.290909f, 1.654546f, 3.018182f, 4.381818f};
    const float ys[6] = {-4.709091f, -3.345454f, -1.981818f, -0.618182f, 0.745455f, 2.109091f};
    std::array<glm::vec2, kQuadOffsetCount> offsets = makeQuadOffsets();
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            EXPECT_NEAR(offsets[static_cast<size_t>(6 * r + c)].x, xs[c], 2e-6f) << r << "," << c;
            EXPECT_NEAR(offsets[static_cast<size_t>(6 * r + c)].y, ys[r], 2e-6f) << r << "," << c;
        }
}

TEST_F(builtInGeometry, offsets_are_kept_and_uploaded_unchanged) {
    std::array<glm::vec2, kQuadOffsetCount> expected = makeQuadOffsets();
    std::vector<float> uploaded = bufferFloats(geometry.quadOffsetsVBO, 2 * kQuadOffsetCount);
    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, geometry.quadOffsetsVBO);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(size, 288);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(geometry.quadOffsets[i], expected[i]) << i;
        EXPECT_EQ(uploaded[2 * i], expected[i].x) << i;
        EXPECT_EQ(uploaded[2 * i + 1], expected[i].y) << i;
    }
}

// ---------------------------------------------------------------------------------
// Vertex array layouts

TEST_F(builtInGeometry, every_array_has_the_layout_its_shaders_expect) {
    for (const ArrayLayout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        ASSERT_NE(geometry.*layout.vao, 0u);
        glBindVertexArray(geometry.*layout.vao);
        for (GLuint index = 0; index < 4; ++index) {
            SCOPED_TRACE("attribute " + std::to_string(index));
            const AttributeLayout* expected = nullptr;
            for (const AttributeLayout& a : layout.attributes)
                if (a.index == index)
                    expected = &a;
            if (!expected) {
                EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_ENABLED), GL_FALSE);
                continue;
            }
            EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_ENABLED), GL_TRUE);
            EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_SIZE), expected->components);
            EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_STRIDE), expected->stride);
            EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_TYPE), GL_FLOAT);
            EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED), GL_FALSE);
            EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_INTEGER), GL_FALSE);
            EXPECT_EQ(attribute(index, GL_VERTEX_ATTRIB_ARRAY_DIVISOR), expected->divisor);
            EXPECT_EQ(static_cast<GLuint>(attribute(index, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING)),
                      geometry.*expected->buffer);
            void* pointer = reinterpret_cast<void*>(std::uintptr_t{99});
            glGetVertexAttribPointerv(index, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pointer), expected->offset);
        }
    }
}

TEST_F(builtInGeometry, each_array_records_only_its_own_element_buffer) {
    for (const ArrayLayout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        glBindVertexArray(geometry.*layout.vao);
        GLuint expected = layout.ebo ? geometry.*layout.ebo : 0u;
        EXPECT_EQ(static_cast<GLuint>(integer(GL_ELEMENT_ARRAY_BUFFER_BINDING)), expected);
    }
}

TEST_F(builtInGeometry, buffers_hold_whole_tables_for_static_drawing) {
    for (const ArrayLayout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        GLint size = 0, usage = 0;
        glBindBuffer(GL_ARRAY_BUFFER, geometry.*layout.vbo);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_USAGE, &usage);
        EXPECT_EQ(size, layout.vertexBytes);
        EXPECT_EQ(usage, GL_STATIC_DRAW);
        if (!layout.ebo)
            continue;
        // Read through the array buffer target: an element buffer is only a buffer.
        glBindBuffer(GL_ARRAY_BUFFER, geometry.*layout.ebo);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
        unsigned indices[6] = {};
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(indices), indices);
        EXPECT_EQ(size, 24);
        EXPECT_EQ(std::vector<unsigned>(indices, indices + 6),
                  (std::vector<unsigned>{0, 1, 3, 1, 2, 3}));
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

TEST_F(builtInGeometry, set_up_leaves_no_array_or_vertex_buffer_bound) {
    EXPECT_EQ(integer(GL_VERTEX_ARRAY_BINDING), 0);
    EXPECT_EQ(integer(GL_ARRAY_BUFFER_BINDING), 0);
}

// ---------------------------------------------------------------------------------
// Table contents, as the shaders see them

TEST_F(builtInGeometry, quad_texture_coordinates_follow_their_corners) {
    // Each corner (x, y) of the unit quad maps to (x + 0.5, y + 0.5); the two quads
    // keep the coordinate at different columns.
    struct Quad { unsigned Geometry::*vbo; int texcoordAt; };
    for (Quad quad : {Quad{&Geometry::instancedQuadVBO, 3}, Quad{&Geometry::texturedQuadVBO, 6}}) {
        std::vector<float> v = bufferFloats(geometry.*quad.vbo, 32);
        for (int vertex = 0; vertex < 4; ++vertex) {
            const float* row = &v[static_cast<size_t>(vertex * 8)];
            EXPECT_EQ(row[2], 0.0f) << vertex;
            EXPECT_EQ(row[quad.texcoordAt], row[0] + 0.5f) << vertex;
            EXPECT_EQ(row[quad.texcoordAt + 1], row[1] + 0.5f) << vertex;
        }
    }
}

TEST_F(builtInGeometry, cube_faces_lie_in_their_planes) {
    struct Face { int axis; float value; };
    // back, front, left, right, bottom, top
    const Face cubeFaces[6] = {{2, -0.5f}, {2, 0.5f}, {0, -0.5f}, {0, 0.5f}, {1, -0.5f}, {1, 0.5f}};
    std::vector<float> cube = bufferFloats(geometry.cubeVBO, 180);
    for (int face = 0; face < 6; ++face)
        for (int vertex = 0; vertex < 6; ++vertex) {
            const float* row = &cube[static_cast<size_t>((face * 6 + vertex) * 5)];
            EXPECT_EQ(row[cubeFaces[face].axis], cubeFaces[face].value) << face << "/" << vertex;
            EXPECT_TRUE(row[3] == 0.0f || row[3] == 1.0f) << face << "/" << vertex;
            EXPECT_TRUE(row[4] == 0.0f || row[4] == 1.0f) << face << "/" << vertex;
        }

    const Face skyFaces[6] = {{2, -1.0f}, {0, -1.0f}, {0, 1.0f}, {2, 1.0f}, {1, 1.0f}, {1, -1.0f}};
    std::vector<float> sky = bufferFloats(geometry.skyboxVBO, 108);
    for (int face = 0; face < 6; ++face)
        for (int vertex = 0; vertex < 6; ++vertex)
            EXPECT_EQ(sky[static_cast<size_t>((face * 6 + vertex) * 3 + skyFaces[face].axis)],
                      skyFaces[face].value)
                << face << "/" << vertex;
}

// ---------------------------------------------------------------------------------
// Drawing

TEST_F(builtInGeometry, instance_pairs_share_one_offset) {
    const char* capture = R"(#version 330 core
layout (location = 2) in vec2 aOffset;
out vec2 captured;
void main() { captured = aOffset; gl_Position = vec4(0.0); }
)";
    GLuint program = glCreateProgram();
    GLuint shader = compileShader(GL_VERTEX_SHADER, capture);
    glAttachShader(program, shader);
    const char* varyings[] = {"captured"};
    glTransformFeedbackVaryings(program, 1, varyings, GL_INTERLEAVED_ATTRIBS);
    glLinkProgram(program);
    ASSERT_EQ(linked(program), GL_TRUE);

    GLuint captureBuffer = 0;
    glGenBuffers(1, &captureBuffer);
    glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, captureBuffer);
    glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, 36 * 2 * sizeof(float), nullptr, GL_STATIC_READ);
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, captureBuffer);

    glUseProgram(program);
    glBindVertexArray(geometry.instancedQuadVAO);
    glEnable(GL_RASTERIZER_DISCARD);
    glBeginTransformFeedback(GL_POINTS);
    glDrawArraysInstanced(GL_POINTS, 0, 1, 36);
    glEndTransformFeedback();
    glDisable(GL_RASTERIZER_DISCARD);

    float captured[72] = {};
    glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0, sizeof(captured), captured);
    for (int instance = 0; instance < 36; ++instance) {
        const glm::vec2& offset = geometry.quadOffsets[static_cast<size_t>(instance / 2)];
        EXPECT_EQ(captured[2 * instance], offset.x) << instance;
        EXPECT_EQ(captured[2 * instance + 1], offset.y) << instance;
    }

    glUseProgram(0);
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, 0);
    glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, 0);
    glDeleteBuffers(1, &captureBuffer);
    glDeleteShader(shader);
    glDeleteProgram(program);
}
