// Mesh upload and drawing: the fixed 88-byte vertex layout the model shaders read,
// and the numbered sampler names ("texture_diffuse1", ...) bound to units 0, 1, ...
#include "model/mesh.h"

#include <string>
#include <utility>

#include "gfx/gl.h"
#include "gfx/shader_program.h"

namespace {

// One row per vertex attribute, in location order.
struct AttributeLayout {
    unsigned location;
    int components;
    bool integer;
    std::size_t offset;
};

//  location  components  integer  offset
const AttributeLayout kVertexAttributes[] = {
    {0,       3,          false,   offsetof(Vertex, position)},
    {1,       3,          false,   offsetof(Vertex, normal)},
    {2,       2,          false,   offsetof(Vertex, texCoords)},
    {3,       3,          false,   offsetof(Vertex, tangent)},
    {4,       3,          false,   offsetof(Vertex, bitangent)},
    {5,       4,          true,    offsetof(Vertex, boneIds)},
    {6,       4,          false,   offsetof(Vertex, boneWeights)},
};
static_assert(sizeof(kVertexAttributes) / sizeof(kVertexAttributes[0]) == 7,
              "the vertex shaders expect seven attributes");

// The families whose samplers are numbered; any other type is used as the name as is.
const char* const kSamplerFamilies[] = {
    "texture_diffuse",
    "texture_specular",
    "texture_normal",
    "texture_height",
};
constexpr int kFamilyCount = sizeof(kSamplerFamilies) / sizeof(kSamplerFamilies[0]);

}  // namespace

Mesh::Mesh(std::vector<Vertex> vertices, std::vector<unsigned> indices,
           std::vector<MeshTexture> textures)
    : vertices(std::move(vertices)), indices(std::move(indices)), textures(std::move(textures)) {
    setup();
}

void Mesh::setup() {
    glGenVertexArrays(1, &vao);
    glGenBuffers(1, &vbo);
    glGenBuffers(1, &ebo);

    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)),
                 vertices.data(), GL_STATIC_DRAW);
    // The element buffer binding is part of the vertex array's state, so it must be
    // made while the vertex array is bound.
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(indices.size() * sizeof(unsigned)), indices.data(),
                 GL_STATIC_DRAW);

    for (const AttributeLayout& attribute : kVertexAttributes) {
        glEnableVertexAttribArray(attribute.location);
        const void* offset = reinterpret_cast<const void*>(attribute.offset);
        // Bone indices must reach the shader as ints, not as floats converted from them.
        if (attribute.integer)
            glVertexAttribIPointer(attribute.location, attribute.components, GL_INT,
                                   sizeof(Vertex), offset);
        else
            glVertexAttribPointer(attribute.location, attribute.components, GL_FLOAT,
                                  GL_FALSE, sizeof(Vertex), offset);
    }
    glBindVertexArray(0);
}

void Mesh::draw(const ShaderProgram& program) const {
    int next[kFamilyCount] = {1, 1, 1, 1};
    for (std::size_t k = 0; k < textures.size(); ++k) {
        const MeshTexture& texture = textures[k];
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(k));
        std::string name = texture.type;
        for (int family = 0; family < kFamilyCount; ++family) {
            if (texture.type == kSamplerFamilies[family]) {
                name += std::to_string(next[family]++);
                break;
            }
        }
        glUniform1i(glGetUniformLocation(program.id, name.c_str()), static_cast<GLint>(k));
        glBindTexture(GL_TEXTURE_2D, texture.id);
    }
    glBindVertexArray(vao);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
    glActiveTexture(GL_TEXTURE0);
}
