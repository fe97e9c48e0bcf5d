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
