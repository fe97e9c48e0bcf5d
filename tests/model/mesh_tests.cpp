// Mesh: the vertex layout the shaders read back from the driver, and the sampler
// numbering, unit binding and state a draw leaves behind.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gl_context.h"
#include "gl_recorder.h"
#include "gfx/shader_program.h"
#include "model/mesh.h"
#include "model_fixtures.h"

namespace {

struct meshSetup : GlTest {};

struct meshDraw : SamplerProgramTest {};

Vertex vertexAt(float x, float y, float u, float v) {
    Vertex vertex{};
    vertex.position = glm::vec3(x, y, 0.0f);
    vertex.texCoords = glm::vec2(u, v);
    return vertex;
}

// Two triangles covering the whole clip square, u running left to right.
std::vector<Vertex> clipSquare() {
    return {vertexAt(-1, -1, 0, 0), vertexAt(1, -1, 1, 0), vertexAt(1, 1, 1, 1),
            vertexAt(-1, 1, 0, 1)};
}

// A 1 x 1 texture of one colour, so that binds are of real 2D textures.
unsigned solidTexture(Rgba colour) {
    unsigned id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &colour);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    return id;
}

MeshTexture textureOf(const char* type, const char* path) {
    MeshTexture texture;
    texture.id = solidTexture({255, 255, 255, 255});
    texture.type = type;
    texture.path = path;
    return texture;
}

int boundTexture(int unit) {
    int active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GL_TEXTURE0 + unit);
    int bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glActiveTexture(active);
    return bound;
}

// The uniform names looked up and the units set, in the order the draw set them.
std::vector<std::pair<std::string, long long>> samplerSets(const std::vector<GlCall>& calls) {
    std::vector<std::pair<std::string, long long>> sets;
    for (const GlCall& call : callsNamed(calls, "glUniform1i"))
        sets.emplace_back(call.uniform, call.ints.at(1));
    return sets;
}

}  // namespace

TEST_F(meshSetup, vertex_attributes_match_the_88_byte_layout) {
    Mesh mesh(clipSquare(), {0, 1, 2}, {});
    //  location  size  type      integer  offset
    const struct { unsigned location; int size; int type; int integer; std::size_t offset; } expected[] = {
        {0,       3,    GL_FLOAT, 0,       0},
        {1,       3,    GL_FLOAT, 0,       12},
        {2,       2,    GL_FLOAT, 0,       24},
        {3,       3,    GL_FLOAT, 0,       32},
        {4,       3,    GL_FLOAT, 0,       44},
        {5,       4,    GL_INT,   1,       56},
        {6,       4,    GL_FLOAT, 0,       72},
    };
    glBindVertexArray(mesh.vao);
    for (const auto& row : expected) {
        SCOPED_TRACE("attribute " + std::to_string(row.location));
        int value = -1;
        glGetVertexAttribiv(row.location, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &value);
        EXPECT_EQ(value, 1);
        glGetVertexAttribiv(row.location, GL_VERTEX_ATTRIB_ARRAY_SIZE, &value);
        EXPECT_EQ(value, row.size);
        glGetVertexAttribiv(row.location, GL_VERTEX_ATTRIB_ARRAY_TYPE, &value);
        EXPECT_EQ(value, row.type);
        glGetVertexAttribiv(row.location, GL_VERTEX_ATTRIB_ARRAY_INTEGER, &value);
        EXPECT_EQ(value, row.integer);
        glGetVertexAttribiv(row.location, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, &value);
        EXPECT_EQ(value, 0);
        glGetVertexAttribiv(row.location, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &value);
        EXPECT_EQ(value, 88);
        glGetVertexAttribiv(row.location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &value);
        EXPECT_EQ(static_cast<unsigned>(value), mesh.vbo);
        void* offset = nullptr;
        glGetVertexAttribPointerv(row.location, GL_VERTEX_ATTRIB_ARRAY_POINTER, &offset);
        EXPECT_EQ(reinterpret_cast<std::size_t>(offset), row.offset);
    }
    int value = -1;
    glGetVertexAttribiv(7, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &value);
    EXPECT_EQ(value, 0) << "the shaders read seven attributes only";
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &value);
    EXPECT_EQ(static_cast<unsigned>(value), mesh.ebo) << "the index buffer belongs to the vertex array";
    glBindVertexArray(0);
}

TEST_F(meshSetup, uploads_vertices_and_indices_byte_for_byte) {
    std::vector<Vertex> vertices = clipSquare();
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        Vertex& vertex = vertices[i];
        vertex.normal = glm::vec3(0.0f, 0.0f, 1.0f);
        vertex.tangent = glm::vec3(1.0f, 0.0f, 0.0f);
        vertex.bitangent = glm::vec3(0.0f, 1.0f, 0.0f);
        for (int b = 0; b < 4; ++b) {
            vertex.boneIds[b] = static_cast<int>(i * 4) + b - 3;
            vertex.boneWeights[b] = 0.25f * static_cast<float>(b);
        }
    }
    const std::vector<unsigned> indices = {0, 1, 2, 2, 3, 0, 70000};
    Mesh mesh(vertices, indices, {});

    int bound = -1;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
    EXPECT_EQ(bound, 0) << "setup leaves no vertex array bound";

    glBindBuffer(GL_ARRAY_BUFFER, mesh.vbo);
    int size = 0, usage = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_USAGE, &usage);
    ASSERT_EQ(size, 4 * 88);
    EXPECT_EQ(usage, GL_STATIC_DRAW);
    std::vector<unsigned char> uploaded(static_cast<std::size_t>(size));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, size, uploaded.data());
    EXPECT_EQ(std::memcmp(uploaded.data(), vertices.data(), uploaded.size()), 0);

    glBindVertexArray(mesh.vao);
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    ASSERT_EQ(size, static_cast<int>(indices.size() * 4));
    std::vector<unsigned> uploadedIndices(indices.size());
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, size, uploadedIndices.data());
    EXPECT_EQ(uploadedIndices, indices);
    glBindVertexArray(0);

    EXPECT_EQ(mesh.vertices.size(), vertices.size()) << "the arrays are kept after upload";
    EXPECT_EQ(mesh.indices, indices);
}

TEST_F(meshDraw, numbers_samplers_per_family_on_consecutive_units) {
    std::vector<MeshTexture> textures = {
        textureOf("texture_diffuse", "a.png"),
        textureOf("texture_diffuse", "b.png"),
        textureOf("texture_specular", "c.png"),
        textureOf("texture_normal", "d.png"),
    };
    Mesh mesh(clipSquare(), {0, 1, 2}, textures);
    // Start every sampler away from its expected unit so a missed set shows.
    for (const char* name : {"texture_diffuse1", "texture_diffuse2", "texture_specular1",
                             "texture_normal1"})
        glUniform1i(glGetUniformLocation(program.id, name), 9);

    startRecording();
    mesh.draw(program);
    std::vector<GlCall> calls = stopRecording();

    const std::vector<std::pair<std::string, long long>> expected = {
        {"texture_diffuse1", 0}, {"texture_diffuse2", 1}, {"texture_specular1", 2},
        {"texture_normal1", 3}};
    EXPECT_EQ(samplerSets(calls), expected);
    for (const auto& set : expected)
        EXPECT_EQ(samplerUnit(program.id, set.first.c_str()), set.second) << set.first;

    std::vector<GlCall> units = callsNamed(calls, "glActiveTexture");
    ASSERT_EQ(units.size(), 5u);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(units[k].ints.at(0), GL_TEXTURE0 + k);
    EXPECT_EQ(units[4].ints.at(0), GL_TEXTURE0) << "unit 0 is active again after the draw";
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(static_cast<unsigned>(boundTexture(k)), textures[k].id) << "unit " << k;

    std::vector<GlCall> draws = callsNamed(calls, "glDrawElements");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].ints.at(0), GL_TRIANGLES);
    EXPECT_EQ(draws[0].ints.at(1), 3);
    int active = 0, vertexArray = -1;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    EXPECT_EQ(active, GL_TEXTURE0);
    EXPECT_EQ(vertexArray, 0);
}

TEST_F(meshDraw, every_draw_restarts_the_numbering_at_one) {
    Mesh first(clipSquare(), {0, 1, 2},
               {textureOf("texture_diffuse", "a.png"), textureOf("texture_specular", "b.png")});
    Mesh second(clipSquare(), {0, 1, 2}, {textureOf("texture_diffuse", "c.png")});
    startRecording();
    first.draw(program);
    second.draw(program);
    first.draw(program);
    std::vector<GlCall> calls = stopRecording();
    const std::vector<std::pair<std::string, long long>> expected = {
        {"texture_diffuse1", 0}, {"texture_specular1", 1},
        {"texture_diffuse1", 0},
        {"texture_diffuse1", 0}, {"texture_specular1", 1}};
    EXPECT_EQ(samplerSets(calls), expected);
}

TEST_F(meshDraw, type_outside_the_families_names_its_sampler_without_a_number) {
    Mesh mesh(clipSquare(), {0, 1, 2},
              {textureOf("texture_diffuse", "a.png"), textureOf("shadowMap", "s.png")});
    glUniform1i(glGetUniformLocation(program.id, "shadowMap"), 9);
    startRecording();
    mesh.draw(program);
    std::vector<GlCall> calls = stopRecording();
    const std::vector<std::pair<std::string, long long>> expected = {
        {"texture_diffuse1", 0}, {"shadowMap", 1}};
    EXPECT_EQ(samplerSets(calls), expected);
    EXPECT_EQ(samplerUnit(program.id, "shadowMap"), 1);
}

TEST_F(meshDraw, sampler_the_program_lacks_still_gets_its_texture_bound) {
    std::vector<MeshTexture> textures = {textureOf("texture_diffuse", "a.png"),
                                         textureOf("texture_diffuse", "b.png"),
                                         textureOf("texture_diffuse", "c.png")};
    Mesh mesh(clipSquare(), {0, 1, 2}, textures);
    ASSERT_EQ(glGetUniformLocation(program.id, "texture_diffuse3"), -1);
    startRecording();
    mesh.draw(program);
    std::vector<GlCall> calls = stopRecording();
    std::vector<GlCall> sets = callsNamed(calls, "glUniform1i");
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[2].uniform, "texture_diffuse3");
    EXPECT_EQ(sets[2].ints.at(0), -1);
    EXPECT_EQ(static_cast<unsigned>(boundTexture(2)), textures[2].id);
    EXPECT_EQ(callsNamed(calls, "glDrawElements").size(), 1u) << "the draw goes on";
}

TEST_F(meshDraw, mesh_without_textures_keeps_earlier_binds_and_ends_on_unit_0) {
    unsigned earlier = solidTexture({255, 0, 0, 255});
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, earlier);
    glActiveTexture(GL_TEXTURE3);
    Mesh mesh(clipSquare(), {0, 1, 2}, {});
    startRecording();
    mesh.draw(program);
    std::vector<GlCall> calls = stopRecording();
    EXPECT_TRUE(callsNamed(calls, "glUniform1i").empty());
    EXPECT_TRUE(callsNamed(calls, "glBindTexture").empty());
    int active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
    EXPECT_EQ(static_cast<unsigned>(boundTexture(0)), earlier);
    glDeleteTextures(1, &earlier);
}

TEST_F(meshDraw, draws_only_the_indexed_triangles) {
    // Of the two triangles the square's vertices could make, index only the lower right.
    Mesh mesh(clipSquare(), {0, 1, 2}, {textureOf("texture_diffuse", "white.png")});
    glUniform1f(glGetUniformLocation(program.id, "diffuseWeight"), 1.0f);
    glUniform1f(glGetUniformLocation(program.id, "otherWeight"), 0.0f);
    ColourTarget target(8, 8);
    mesh.draw(program);
    Rgba lowerRight = target.pixel(6, 1);
    Rgba upperLeft = target.pixel(1, 6);
    EXPECT_EQ(lowerRight.r, 255);
    EXPECT_EQ(lowerRight.a, 255);
    EXPECT_EQ(upperLeft.r, 0);
    EXPECT_EQ(upperLeft.a, 0);
}

TEST_F(meshDraw, empty_index_array_draws_nothing) {
    Mesh mesh(clipSquare(), {}, {textureOf("texture_diffuse", "white.png")});
    glUniform1f(glGetUniformLocation(program.id, "diffuseWeight"), 1.0f);
    ColourTarget target(8, 8);
    startRecording();
    mesh.draw(program);
    std::vector<GlCall> calls = stopRecording();
    for (const GlCall& draw : callsNamed(calls, "glDrawElements")) EXPECT_EQ(draw.ints.at(1), 0);
    EXPECT_EQ(target.pixel(4, 4).a, 0);
}
