// One imported triangle list in the fixed seven-attribute vertex layout, with the
// textures its material uses, uploaded once and drawn with a given program.
#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include <glm/glm.hpp>

struct ShaderProgram;

struct Vertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec2 texCoords;
    glm::vec3 tangent;
    glm::vec3 bitangent;
    int boneIds[4];
    float boneWeights[4];
};
// The vertex shaders read this layout directly; it must stay exactly this.
static_assert(sizeof(Vertex) == 88, "Vertex must be 88 bytes");
static_assert(offsetof(Vertex, boneIds) == 56 && offsetof(Vertex, boneWeights) == 72,
              "bone attributes moved");

struct MeshTexture {
    unsigned id = 0;
    std::string type;  // sampler family: "texture_diffuse", "texture_specular", ...
    std::string path;  // the file name as the material gives it; the model's cache key
};

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<unsigned> indices;
    std::vector<MeshTexture> textures;
    unsigned vao = 0;
    unsigned vbo = 0;
    unsigned ebo = 0;

    Mesh(std::vector<Vertex> vertices, std::vector<unsigned> indices,
         std::vector<MeshTexture> textures);

    void setup();
    // Binds texture k to unit k as "<family><n>"; the caller has made the program current.
    void draw(const ShaderProgram& program) const;
};
