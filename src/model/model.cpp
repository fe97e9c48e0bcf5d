// OBJ import through assimp: the scene's meshes copied in node-visit order, and each
// material's texture files resolved through a cache so a file is decoded once per model.
#include "model/model.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <utility>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "app/preload.h"
#include "gfx/textures.h"

namespace {

// Which material slot feeds which sampler family, in the order a mesh binds them.
// assimp files OBJ bump maps under HEIGHT and map_Ka under AMBIENT; the shaders
// read the former as normal maps and the latter as height maps.
struct TextureFamily {
    aiTextureType type;
    const char* family;
};

//  assimp texture type        sampler family
const TextureFamily kTextureFamilies[] = {
    {aiTextureType_DIFFUSE,    "texture_diffuse"},
    {aiTextureType_SPECULAR,   "texture_specular"},
    {aiTextureType_HEIGHT,     "texture_normal"},
    {aiTextureType_AMBIENT,    "texture_height"},
};

glm::vec3 toVec3(const aiVector3D& v) { return glm::vec3(v.x, v.y, v.z); }

void collectNodeTextureNames(const aiNode* node, const aiScene* scene,
                             std::vector<std::string>& names) {
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const aiMaterial* material = scene->mMaterials[scene->mMeshes[node->mMeshes[i]]->mMaterialIndex];
        for (const TextureFamily& row : kTextureFamilies)
            for (unsigned k = 0; k < aiGetMaterialTextureCount(material, row.type); ++k) {
                aiString name;
                aiGetMaterialTexture(material, row.type, k, &name);
                if (std::find(names.begin(), names.end(), name.C_Str()) == names.end())
                    names.push_back(name.C_Str());
            }
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        collectNodeTextureNames(node->mChildren[i], scene, names);
}

}  // namespace

constexpr unsigned kImportFlagValue = aiProcess_Triangulate | aiProcess_GenSmoothNormals |
                                      aiProcess_FlipUVs | aiProcess_CalcTangentSpace;
static_assert(kImportFlagValue == 0x800049, "import flags changed");
const unsigned kModelImportFlags = kImportFlagValue;

std::string modelDirectory(const std::string& path) {
    // Textures are joined to the folder with a "/", so for a bare file name the folder
    // must be the working directory, not the file name itself.
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool usableScene(const aiScene* scene) {
    return scene && !(scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) && scene->mRootNode;
}

std::vector<std::string> materialTextureNames(const aiScene* scene) {
    std::vector<std::string> names;
    collectNodeTextureNames(scene->mRootNode, scene, names);
    return names;
}

Model::Model(const std::string& path) { load(path); }

void Model::draw(const ShaderProgram& program) const {
    for (const Mesh& mesh : meshes) mesh.draw(program);
}

void Model::load(const std::string& path) {
    // The importer owns the scene; both go when this function returns. During start-up
    // the file may already have been read on the preload thread.
    std::unique_ptr<Assimp::Importer> importer = takePreloadedModel(path);
    if (!importer) {
        importer = std::make_unique<Assimp::Importer>();
        importer->ReadFile(path.c_str(), kModelImportFlags);
    }
    const aiScene* scene = importer->GetScene();
    if (!usableScene(scene)) {
        std::cout << "ERROR::ASSIMP:: " << importer->GetErrorString() << std::endl;
        return;
    }
    directory = modelDirectory(path);
    visitNode(scene->mRootNode, scene);
}

void Model::visitNode(const aiNode* node, const aiScene* scene) {
    for (unsigned i = 0; i < node->mNumMeshes; ++i)
        meshes.push_back(convertMesh(scene->mMeshes[node->mMeshes[i]], scene));
    for (unsigned i = 0; i < node->mNumChildren; ++i) visitNode(node->mChildren[i], scene);
}

Mesh Model::convertMesh(const aiMesh* mesh, const aiScene* scene) {
    std::vector<Vertex> vertices;
    vertices.reserve(mesh->mNumVertices);
    const bool hasNormals = mesh->HasNormals();
    const aiVector3D* texCoords = mesh->mTextureCoords[0];
    // Tangent space needs texture coordinates and, for degenerate input, assimp may
    // still leave it out; a missing array must read as zero, never through null.
    const bool hasTangents = texCoords && mesh->mTangents && mesh->mBitangents;
    for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
        // Value-initialised: whatever the file does not give (normals, texture
        // coordinates, tangents, bones) stays zero.
        Vertex vertex{};
        vertex.position = toVec3(mesh->mVertices[i]);
        if (hasNormals) vertex.normal = toVec3(mesh->mNormals[i]);
        if (texCoords) {
            vertex.texCoords = glm::vec2(texCoords[i].x, texCoords[i].y);
            if (hasTangents) {
                vertex.tangent = toVec3(mesh->mTangents[i]);
                vertex.bitangent = toVec3(mesh->mBitangents[i]);
            }
        }
        vertices.push_back(vertex);
    }

    std::vector<unsigned> indices;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        indices.insert(indices.end(), face.mIndices, face.mIndices + face.mNumIndices);
    }

    const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
    std::vector<MeshTexture> textures;
    for (const TextureFamily& row : kTextureFamilies) {
        std::vector<MeshTexture> found = collectMaterialTextures(material, row.type, row.family);
        textures.insert(textures.end(), found.begin(), found.end());
    }
    return Mesh(std::move(vertices), std::move(indices), std::move(textures));
}

std::vector<MeshTexture> Model::collectMaterialTextures(const aiMaterial* material,
                                                        aiTextureType type,
                                                        const std::string& family) {
    std::vector<MeshTexture> result;
    for (unsigned i = 0; i < aiGetMaterialTextureCount(material, type); ++i) {
        aiString name;
        aiGetMaterialTexture(material, type, i, &name);
        const MeshTexture* cached = nullptr;
        for (const MeshTexture& record : loadedTextures) {
            if (std::strcmp(record.path.c_str(), name.C_Str()) == 0) {
                cached = &record;
                break;
            }
        }
        // A cached record keeps the family it was first loaded under, even when this
        // material names the file for another slot.
        if (cached) {
            result.push_back(*cached);
            continue;
        }
        MeshTexture record;
        record.id = loadModelTexture(name.C_Str(), directory);
        record.type = family;
        record.path = name.C_Str();
        result.push_back(record);
        loadedTextures.push_back(record);
    }
    return result;
}
