// Everything imported from one OBJ file through assimp: its meshes in node order and
// a per-model cache of the textures its materials name.
#pragma once
#include <string>
#include <vector>
#include <assimp/material.h>
#include "model/mesh.h"

struct aiNode;
struct aiScene;
struct aiMesh;
struct aiMaterial;

// What every model file is imported with: triangles, smooth normals where the file has
// none, texture coordinates flipped for GL, and tangent space.
extern const unsigned kModelImportFlags;

// The folder a model's textures are read from: the path up to its last "/", or the
// working directory for a bare file name.
std::string modelDirectory(const std::string& path);

// An import that left a scene the loader can walk.
bool usableScene(const aiScene* scene);

// Every texture file the scene's materials name, each once, in the order the loader meets
// them (meshes in node order, then the families diffuse, specular, normal, height).
std::vector<std::string> materialTextureNames(const aiScene* scene);

struct Model {
    std::vector<MeshTexture> loadedTextures;
    std::vector<Mesh> meshes;
    std::string directory;
    bool gammaCorrection = false;

    Model() = default;
    explicit Model(const std::string& path);

    void draw(const ShaderProgram& program) const;
    void load(const std::string& path);
    void visitNode(const aiNode* node, const aiScene* scene);
    Mesh convertMesh(const aiMesh* mesh, const aiScene* scene);
    std::vector<MeshTexture> collectMaterialTextures(const aiMaterial* material,
                                                     aiTextureType type,
                                                     const std::string& family);
};
