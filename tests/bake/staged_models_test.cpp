// The staged models imported as the demo imports them (triangulate, smooth normals, flip
// UVs, tangent space): no warnings, the meshes, materials and textures each recipe gave,
// sound triangles, and sizes that suit the scenes that draw them.
#include "recipes.h"

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr unsigned kDemoImportFlags =
    aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_FlipUVs | aiProcess_CalcTangentSpace;
static_assert(kDemoImportFlags == 0x800049, "the flags the demo's model loader passes");

// assimp reports through a stream object it owns; this one copies each line into a list the
// test keeps.
struct LineCollector : Assimp::LogStream {
    std::vector<std::string>* lines;
    explicit LineCollector(std::vector<std::string>* into) : lines(into) {}
    void write(const char* message) override { lines->push_back(message); }
};

struct Imported {
    std::unique_ptr<Assimp::Importer> importer;
    const aiScene* scene = nullptr;
    std::vector<std::string> complaints;  // warnings and errors logged during the import
};

Imported import(const std::string& file) {
    Imported result;
    // No default streams: nothing goes to a log file or the debugger, only to our collector.
    Assimp::DefaultLogger::create(nullptr, Assimp::Logger::NORMAL, 0);
    Assimp::DefaultLogger::get()->attachStream(new LineCollector(&result.complaints),
                                               Assimp::Logger::Warn | Assimp::Logger::Err);
    result.importer = std::make_unique<Assimp::Importer>();
    result.scene = result.importer->ReadFile(std::string(BAKED_IMGS) + "/" + file, kDemoImportFlags);
    Assimp::DefaultLogger::kill();
    return result;
}

struct ModelCase {
    const char* file;
    bake::BakedModel (*bake)();
};

std::vector<ModelCase> allModels() {
    std::vector<ModelCase> models;
    for (const bake::ModelRecipe& recipe : bake::kModelRecipes) models.push_back({recipe.file, recipe.bake});
    return models;
}

const bake::BakedModel& recipeOf(const ModelCase& m) {
    static std::map<std::string, bake::BakedModel> made;
    auto it = made.find(m.file);
    if (it == made.end()) it = made.emplace(m.file, m.bake()).first;
    return it->second;
}

std::string textureName(const aiMaterial* material, aiTextureType type) {
    if (material->GetTextureCount(type) == 0) return "";
    aiString path;
    material->GetTexture(type, 0, &path);
    return path.C_Str();
}

aiVector3D faceNormal(const aiMesh* mesh, const aiFace& face) {
    const aiVector3D& a = mesh->mVertices[face.mIndices[0]];
    return (mesh->mVertices[face.mIndices[1]] - a) ^ (mesh->mVertices[face.mIndices[2]] - a);
}

bool finite(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

TEST(stagedModels, import_without_warnings) {
    for (const ModelCase& m : allModels()) {
        Imported imported = import(m.file);
        ASSERT_NE(imported.scene, nullptr) << m.file << ": " << imported.importer->GetErrorString();
        EXPECT_FALSE(imported.scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) << m.file;
        ASSERT_NE(imported.scene->mRootNode, nullptr) << m.file;
        for (const std::string& line : imported.complaints) ADD_FAILURE() << m.file << ": " << line;
    }
}

TEST(stagedModels, have_the_meshes_and_materials_their_recipes_gave) {
    for (const ModelCase& m : allModels()) {
        const bake::BakedModel& recipe = recipeOf(m);
        Imported imported = import(m.file);
        ASSERT_NE(imported.scene, nullptr) << m.file;
        const aiScene* scene = imported.scene;
        ASSERT_EQ(scene->mNumMeshes, recipe.parts.size()) << m.file;
        std::map<std::string, const bake::ObjMaterial*> materials;
        for (const bake::ObjMaterial& material : recipe.materials) materials[material.name] = &material;
        std::set<std::string> used;
        for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
            const aiMesh* mesh = scene->mMeshes[i];
            const bake::ObjPart& part = recipe.parts[i];
            EXPECT_EQ(mesh->mNumFaces, part.triangles.size()) << m.file << " " << part.name;
            const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
            std::string name = material->GetName().C_Str();
            EXPECT_EQ(name, part.material) << m.file << " " << part.name;
            ASSERT_TRUE(materials.count(name)) << m.file << " names an unknown material " << name;
            used.insert(name);
            EXPECT_EQ(textureName(material, aiTextureType_DIFFUSE), materials[name]->diffuseMap) << m.file << " " << name;
            EXPECT_EQ(textureName(material, aiTextureType_SPECULAR), materials[name]->specularMap) << m.file << " " << name;
            // Every mesh is textured, so each needs coordinates (the loader's tangents come from them).
            EXPECT_TRUE(mesh->HasTextureCoords(0)) << m.file << " " << part.name;
            EXPECT_TRUE(mesh->HasNormals()) << m.file << " " << part.name;
            EXPECT_TRUE(mesh->HasTangentsAndBitangents()) << m.file << " " << part.name;
        }
        EXPECT_EQ(used.size(), recipe.materials.size()) << m.file << " has materials no mesh uses";
    }
}

TEST(stagedModels, every_named_texture_is_staged_as_an_rgb_image) {
    for (const ModelCase& m : allModels()) {
        for (const bake::ObjMaterial& material : recipeOf(m).materials)
            for (const std::string& file : {material.diffuseMap, material.specularMap}) {
                if (file.empty()) continue;
                int w = 0, h = 0, n = 0;
                unsigned char* pixels = stbi_load((std::string(BAKED_IMGS) + "/" + file).c_str(), &w, &h, &n, 0);
                ASSERT_NE(pixels, nullptr) << m.file << " names " << file << ", which does not decode";
                stbi_image_free(pixels);
                EXPECT_EQ(n, 3) << file;
                EXPECT_GT(w, 0) << file;
            }
    }
}

TEST(stagedModels, donut_and_duck_share_a_texture_between_two_materials) {
    for (const char* file : {"donut4.obj", "DuckPart2.4.textured.obj"}) {
        Imported imported = import(file);
        ASSERT_NE(imported.scene, nullptr) << file;
        std::map<std::string, std::set<unsigned>> users;
        for (unsigned i = 0; i < imported.scene->mNumMaterials; ++i)
            for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_SPECULAR}) {
                std::string name = textureName(imported.scene->mMaterials[i], type);
                if (!name.empty()) users[name].insert(i);
            }
        bool shared = false;
        for (const auto& entry : users) shared = shared || entry.second.size() >= 2;
        EXPECT_TRUE(shared) << file;
    }
}

TEST(stagedModels, triangles_are_sound_and_face_the_way_their_normals_do) {
    for (const ModelCase& m : allModels()) {
        Imported imported = import(m.file);
        ASSERT_NE(imported.scene, nullptr) << m.file;
        for (unsigned i = 0; i < imported.scene->mNumMeshes; ++i) {
            const aiMesh* mesh = imported.scene->mMeshes[i];
            int degenerate = 0, turned = 0, broken = 0;
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const aiFace& face = mesh->mFaces[f];
                ASSERT_EQ(face.mNumIndices, 3u);
                aiVector3D n = faceNormal(mesh, face);
                if (n.Length() < 1e-9f) ++degenerate;
                aiVector3D vertexNormals = mesh->mNormals[face.mIndices[0]] + mesh->mNormals[face.mIndices[1]] +
                                           mesh->mNormals[face.mIndices[2]];
                if (n * vertexNormals <= 0.0f) ++turned;
                for (unsigned k = 0; k < 3; ++k) {
                    unsigned v = face.mIndices[k];
                    if (!finite(mesh->mTangents[v]) || !finite(mesh->mBitangents[v]) || !finite(mesh->mNormals[v])) ++broken;
                }
            }
            EXPECT_EQ(degenerate, 0) << m.file << " mesh " << mesh->mName.C_Str();
            EXPECT_EQ(turned, 0) << m.file << " mesh " << mesh->mName.C_Str();
            EXPECT_EQ(broken, 0) << m.file << " mesh " << mesh->mName.C_Str() << " has non-finite tangent space";
        }
    }
}

TEST(stagedModels, are_sized_for_the_scenes_that_draw_them) {
    // The longest extent each scene needs: the donut fills part of a close-up at 0.3 scale,
    // the ships are seen from 30 to 90 units at 0.4 to 0.9 scale, the ducks from 20 at 0.3.
    struct Range {
        const char* file;
        float least, most;
    };
    // file                         least  most
    const Range ranges[] = {
        {"donut4.obj",                1.0f,  1.8f},
        {"ForestShip.obj",            9.0f, 18.0f},
        {"ship4.obj",                 8.0f, 14.0f},
        {"ship2.obj",                 4.0f, 10.0f},
        {"DuckPart2.4.textured.obj",  3.5f,  7.0f},
    };
    for (const Range& r : ranges) {
        Imported imported = import(r.file);
        ASSERT_NE(imported.scene, nullptr) << r.file;
        aiVector3D lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
        for (unsigned i = 0; i < imported.scene->mNumMeshes; ++i)
            for (unsigned v = 0; v < imported.scene->mMeshes[i]->mNumVertices; ++v) {
                const aiVector3D& p = imported.scene->mMeshes[i]->mVertices[v];
                lo = aiVector3D(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
                hi = aiVector3D(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
            }
        float longest = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
        EXPECT_GE(longest, r.least) << r.file;
        EXPECT_LE(longest, r.most) << r.file;
    }
}
