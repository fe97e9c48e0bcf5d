// Model: OBJ files written here (and scenes made by hand, for node trees OBJ cannot hold)
// are imported and checked for mesh order, copied vertex data, the material families and
// the per-model texture cache.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "app/preload.h"
#include "gl_context.h"
#include "gl_recorder.h"
#include "gfx/shader_program.h"
#include "model/model.h"
#include "model_fixtures.h"

namespace {

struct modelImport : GlTest {
    TempDir dir;
};

struct modelTextures : SamplerProgramTest {
    TempDir dir;
};

// The x of each mesh's first vertex: the fixtures give every mesh its own.
std::vector<float> firstXs(const Model& model) {
    std::vector<float> xs;
    for (const Mesh& mesh : model.meshes)
        xs.push_back(mesh.vertices.empty() ? -1.0f : mesh.vertices[0].position.x);
    return xs;
}

int textureWidth(unsigned id) {
    int width = 0;
    glBindTexture(GL_TEXTURE_2D, id);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    return width;
}

std::vector<std::string> typesOf(const Mesh& mesh) {
    std::vector<std::string> types;
    for (const MeshTexture& texture : mesh.textures) types.push_back(texture.type);
    return types;
}

std::vector<std::string> pathsOf(const Mesh& mesh) {
    std::vector<std::string> paths;
    for (const MeshTexture& texture : mesh.textures) paths.push_back(texture.path);
    return paths;
}

// One triangle per object or material, the first vertex at x = 10 * n.
std::string triangleAt(int n, int firstVertex) {
    std::string x = std::to_string(10 * n);
    std::string x1 = std::to_string(10 * n + 1);
    std::string a = std::to_string(firstVertex), b = std::to_string(firstVertex + 1),
                c = std::to_string(firstVertex + 2);
    return "v " + x + " 0 0\nv " + x1 + " 0 0\nv " + x + " 1 0\nf " + a + " " + b + " " + c + "\n";
}

// A scene as an importer leaves it, made by hand: one triangle mesh per x given (its first
// vertex at that x), one plain material, and nodes that name meshes by index. The scene
// frees them all.
struct HandScene {
    aiScene scene;
    explicit HandScene(const std::vector<float>& meshXs) {
        scene.mNumMeshes = static_cast<unsigned>(meshXs.size());
        scene.mMeshes = new aiMesh*[meshXs.size()];
        for (size_t i = 0; i < meshXs.size(); ++i) {
            aiMesh* mesh = new aiMesh;
            float x = meshXs[i];
            mesh->mNumVertices = 3;
            mesh->mVertices = new aiVector3D[3]{{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}};
            mesh->mNumFaces = 1;
            mesh->mFaces = new aiFace[1];
            mesh->mFaces[0].mNumIndices = 3;
            mesh->mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
            scene.mMeshes[i] = mesh;
        }
        scene.mNumMaterials = 1;
        scene.mMaterials = new aiMaterial*[1]{new aiMaterial};
    }
    aiNode* node(const std::vector<unsigned>& meshes, std::vector<aiNode*> children = {}) {
        aiNode* made = new aiNode;
        made->mNumMeshes = static_cast<unsigned>(meshes.size());
        made->mMeshes = new unsigned[meshes.size()];
        std::copy(meshes.begin(), meshes.end(), made->mMeshes);
        if (!children.empty()) made->addChildren(static_cast<unsigned>(children.size()), children.data());
        return made;
    }
};

// Restores the working directory when the test leaves.
struct WorkingDirectory {
    std::string saved;
    explicit WorkingDirectory(const std::string& path) {
        char buffer[PATH_MAX] = {};
        if (getcwd(buffer, sizeof(buffer))) saved = buffer;
        EXPECT_EQ(chdir(path.c_str()), 0);
    }
    ~WorkingDirectory() { EXPECT_EQ(chdir(saved.c_str()), 0); }
};

// Leaves freed memory of this size full of junk, so that fields a loader forgets to
// set show up as non-zero instead of as the zero of a fresh heap page.
void dirtyFreedMemory(std::size_t bytes) {
    std::vector<unsigned char>* junk = new std::vector<unsigned char>(bytes, 0xAB);
    delete junk;
}

}  // namespace

// ---- mesh order -------------------------------------------------------------

TEST_F(modelImport, meshes_follow_the_nodes_depth_first_with_a_node_before_its_children) {
    // root (meshes 0 and 10) -> child (20) -> grandchild (30), then the root's second
    // child (40). The scene stores the meshes in another order, so only a node walk
    // gives 0..40. OBJ files give no such tree, so the scene is made here.
    HandScene hand({20, 0, 40, 30, 10});
    aiNode* grandchild = hand.node({3});
    hand.scene.mRootNode = hand.node({1, 4}, {hand.node({0}, {grandchild}), hand.node({2})});
    Model model;
    model.visitNode(hand.scene.mRootNode, &hand.scene);
    EXPECT_EQ(firstXs(model), (std::vector<float>{0, 10, 20, 30, 40}));
}

TEST_F(modelImport, obj_objects_come_in_file_order_split_by_material) {
    writeTextFile(dir.file("order.mtl"), "newmtl red\nnewmtl blue\n");
    writeTextFile(dir.file("order.obj"),
                  "mtllib order.mtl\nusemtl red\n" + triangleAt(0, 1) + "usemtl blue\n" +
                      triangleAt(1, 4) + "o second\nusemtl red\n" + triangleAt(2, 7) +
                      "o third\n" + triangleAt(3, 10));
    Model model(dir.file("order.obj"));
    EXPECT_EQ(firstXs(model), (std::vector<float>{0, 10, 20, 30}));
}

TEST_F(modelImport, mesh_two_nodes_reference_is_uploaded_for_each) {
    HandScene hand({0});
    hand.scene.mRootNode = hand.node({}, {hand.node({0}), hand.node({0})});
    Model model;
    model.visitNode(hand.scene.mRootNode, &hand.scene);
    ASSERT_EQ(model.meshes.size(), 2u);
    EXPECT_NE(model.meshes[0].vao, model.meshes[1].vao);
    EXPECT_NE(model.meshes[0].vbo, model.meshes[1].vbo);
}

// ---- vertices ---------------------------------------------------------------

TEST_F(modelImport, vertices_carry_the_file_normals_and_flipped_texture_coordinates) {
    // The normal is tilted off the face normal, so a generated one would not pass.
    writeTextFile(dir.file("tri.obj"),
                  "v 0 0 0\nv 2 0 0\nv 0 2 0\n"
                  "vt 0.25 0.1\nvt 0.75 0.1\nvt 0.25 0.6\n"
                  "vn 0 0.6 0.8\n"
                  "f 1/1/1 2/2/1 3/3/1\n");
    Model model(dir.file("tri.obj"));
    ASSERT_EQ(model.meshes.size(), 1u);
    const Mesh& mesh = model.meshes[0];
    ASSERT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(mesh.indices, (std::vector<unsigned>{0, 1, 2}));
    EXPECT_EQ(mesh.vertices[2].position, glm::vec3(0, 2, 0));
    // The import flips v, so images stored top row first come out upright.
    const float flippedV[3] = {0.9f, 0.9f, 0.4f};
    const float u[3] = {0.25f, 0.75f, 0.25f};
    for (int i = 0; i < 3; ++i) {
        const Vertex& vertex = mesh.vertices[i];
        SCOPED_TRACE("vertex " + std::to_string(i));
        EXPECT_NEAR(vertex.normal.y, 0.6f, 1e-6f);
        EXPECT_NEAR(vertex.normal.z, 0.8f, 1e-6f);
        EXPECT_FLOAT_EQ(vertex.texCoords.x, u[i]);
        EXPECT_FLOAT_EQ(vertex.texCoords.y, flippedV[i]);
        // u grows along +x and the flipped v falls along +y.
        EXPECT_NEAR(vertex.tangent.x, 1.0f, 1e-4f);
        EXPECT_LT(vertex.bitangent.y, -0.5f);
        for (int b = 0; b < 4; ++b) {
            EXPECT_EQ(vertex.boneIds[b], 0);
            EXPECT_EQ(vertex.boneWeights[b], 0.0f);
        }
    }
}

TEST_F(modelImport, mesh_without_texture_coordinates_gets_zero_uv_and_tangents) {
    writeTextFile(dir.file("bare.obj"), "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    dirtyFreedMemory(4 * sizeof(Vertex));
    Model model(dir.file("bare.obj"));
    ASSERT_EQ(model.meshes.size(), 1u);
    const Mesh& mesh = model.meshes[0];
    ASSERT_EQ(mesh.vertices.size(), 4u);
    EXPECT_EQ(mesh.indices.size(), 6u) << "the quad is triangulated";
    for (const Vertex& vertex : mesh.vertices) {
        EXPECT_EQ(vertex.texCoords, glm::vec2(0.0f));
        EXPECT_EQ(vertex.tangent, glm::vec3(0.0f));
        EXPECT_EQ(vertex.bitangent, glm::vec3(0.0f));
        EXPECT_NEAR(vertex.normal.z, 1.0f, 1e-5f) << "smooth normals are generated";
    }
}

TEST_F(modelImport, converted_mesh_zeroes_what_assimp_left_out) {
    // assimp can hand over texture coordinates without tangent space and meshes
    // without normals; neither may be read through a missing array.
    aiScene scene;
    scene.mNumMaterials = 1;
    scene.mMaterials = new aiMaterial*[1];
    scene.mMaterials[0] = new aiMaterial();
    aiMesh source;
    source.mNumVertices = 3;
    source.mVertices = new aiVector3D[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    source.mTextureCoords[0] = new aiVector3D[3]{{0.5f, 0.5f, 7}, {1, 0.5f, 7}, {0.5f, 1, 7}};
    source.mNumUVComponents[0] = 2;
    source.mNumFaces = 2;
    source.mFaces = new aiFace[2];
    const unsigned corners[2][3] = {{2, 0, 1}, {1, 2, 0}};
    for (int f = 0; f < 2; ++f) {
        source.mFaces[f].mNumIndices = 3;
        source.mFaces[f].mIndices = new unsigned[3]{corners[f][0], corners[f][1], corners[f][2]};
    }

    Model model;
    dirtyFreedMemory(3 * sizeof(Vertex));
    Mesh mesh = model.convertMesh(&source, &scene);
    ASSERT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(mesh.indices, (std::vector<unsigned>{2, 0, 1, 1, 2, 0}));
    EXPECT_EQ(mesh.vertices[1].texCoords, glm::vec2(1.0f, 0.5f));
    for (const Vertex& vertex : mesh.vertices) {
        EXPECT_EQ(vertex.normal, glm::vec3(0.0f));
        EXPECT_EQ(vertex.tangent, glm::vec3(0.0f));
        EXPECT_EQ(vertex.bitangent, glm::vec3(0.0f));
        for (int b = 0; b < 4; ++b) {
            EXPECT_EQ(vertex.boneIds[b], 0);
            EXPECT_EQ(vertex.boneWeights[b], 0.0f);
        }
    }
    EXPECT_TRUE(mesh.textures.empty());
    EXPECT_NE(mesh.vao, 0u) << "the mesh is uploaded as it is made";
}

// ---- import failures and folders ---------------------------------------------

TEST_F(modelImport, missing_file_prints_the_importer_error_and_draws_nothing) {
    const std::string path = dir.file("nowhere.obj");
    Assimp::Importer reference;
    reference.ReadFile(path.c_str(), 0);
    const std::string expected = std::string("ERROR::ASSIMP:: ") + reference.GetErrorString() + "\n";

    StdoutCapture capture;
    capture.begin();
    Model model(path);
    std::string printed = capture.end();
    EXPECT_EQ(printed, expected);
    EXPECT_TRUE(model.meshes.empty());
    EXPECT_TRUE(model.loadedTextures.empty());

    ShaderProgram program;
    program.id = buildSamplerProgram();
    glUseProgram(program.id);
    startRecording();
    model.draw(program);
    std::vector<GlCall> calls = stopRecording();
    EXPECT_TRUE(calls.empty());
    glUseProgram(0);
    glDeleteProgram(program.id);
}

TEST_F(modelImport, textures_are_read_from_the_model_folder_with_the_name_as_given) {
    std::filesystem::create_directories(dir.file("sub/tex"));
    writeSolidPng(dir.file("sub/tex/a.png"), {10, 20, 30, 255});
    writeTextFile(dir.file("sub/m.mtl"), "newmtl m\nmap_Kd tex/a.png\n");
    writeTextFile(dir.file("sub/m.obj"), "mtllib m.mtl\nusemtl m\n" + triangleAt(0, 1));
    StdoutCapture capture;
    capture.begin();
    Model model(dir.file("sub/m.obj"));
    EXPECT_EQ(capture.end(), "");
    EXPECT_EQ(model.directory, dir.file("sub"));
    ASSERT_EQ(model.meshes.size(), 1u);
    ASSERT_EQ(model.meshes[0].textures.size(), 1u);
    EXPECT_EQ(model.meshes[0].textures[0].path, "tex/a.png");
    EXPECT_EQ(textureWidth(model.meshes[0].textures[0].id), 2);
}

TEST_F(modelImport, bare_file_name_reads_textures_from_the_working_directory) {
    writeSolidPng(dir.file("a.png"), {10, 20, 30, 255});
    writeTextFile(dir.file("m.mtl"), "newmtl m\nmap_Kd a.png\n");
    writeTextFile(dir.file("m.obj"), "mtllib m.mtl\nusemtl m\n" + triangleAt(0, 1));
    WorkingDirectory inside(dir.path);
    StdoutCapture capture;
    capture.begin();
    Model model("m.obj");
    EXPECT_EQ(capture.end(), "");
    EXPECT_EQ(model.directory, ".");
    ASSERT_EQ(model.meshes.size(), 1u);
    ASSERT_EQ(model.meshes[0].textures.size(), 1u);
    EXPECT_EQ(textureWidth(model.meshes[0].textures[0].id), 2);
}

// ---- material textures ---------------------------------------------------------

TEST_F(modelTextures, material_maps_bind_as_diffuse_specular_normal_height) {
    for (const char* name : {"amb.png", "nrm.png", "specular.png", "diff.png"})
        writeSolidPng(dir.file(name), {200, 100, 50, 255});
    // Listed against the binding order, so that file order cannot pass for it.
    writeTextFile(dir.file("all.mtl"),
                  "newmtl all\nmap_Ka amb.png\nbump nrm.png\nmap_Ks specular.png\nmap_Kd diff.png\n");
    writeTextFile(dir.file("all.obj"), "mtllib all.mtl\nusemtl all\n" + triangleAt(0, 1));
    Model model(dir.file("all.obj"));
    ASSERT_EQ(model.meshes.size(), 1u);
    const Mesh& mesh = model.meshes[0];
    EXPECT_EQ(pathsOf(mesh), (std::vector<std::string>{"diff.png", "specular.png", "nrm.png", "amb.png"}));
    EXPECT_EQ(typesOf(mesh), (std::vector<std::string>{"texture_diffuse", "texture_specular",
                                                       "texture_normal", "texture_height"}));

    startRecording();
    model.draw(program);
    std::vector<GlCall> calls = stopRecording();
    const char* const samplers[] = {"texture_diffuse1", "texture_specular1", "texture_normal1",
                                    "texture_height1"};
    std::vector<GlCall> sets = callsNamed(calls, "glUniform1i");
    std::vector<GlCall> binds = callsNamed(calls, "glBindTexture");
    ASSERT_EQ(sets.size(), 4u);
    ASSERT_EQ(binds.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(sets[k].uniform, samplers[k]);
        EXPECT_EQ(sets[k].ints.at(1), k);
        EXPECT_EQ(samplerUnit(program.id, samplers[k]), k);
        EXPECT_EQ(binds[k].ints.at(1), static_cast<long long>(mesh.textures[k].id));
    }
}

TEST_F(modelTextures, file_two_materials_name_is_loaded_once_and_bound_in_both) {
    writeSolidPng(dir.file("shared.png"), {1, 2, 3, 255});
    writeTextFile(dir.file("two.mtl"),
                  "newmtl first\nmap_Kd shared.png\nnewmtl second\nmap_Kd shared.png\n");
    writeTextFile(dir.file("two.obj"), "mtllib two.mtl\nusemtl first\n" + triangleAt(0, 1) +
                                           "usemtl second\n" + triangleAt(1, 4));
    startRecording();
    Model model(dir.file("two.obj"));
    std::vector<GlCall> loading = stopRecording();
    EXPECT_EQ(callsNamed(loading, "glTexImage2D").size(), 1u);
    ASSERT_EQ(model.meshes.size(), 2u);
    ASSERT_EQ(model.meshes[0].textures.size(), 1u);
    ASSERT_EQ(model.meshes[1].textures.size(), 1u);
    EXPECT_EQ(model.meshes[0].textures[0].id, model.meshes[1].textures[0].id);
    EXPECT_EQ(model.loadedTextures.size(), 1u);

    startRecording();
    model.draw(program);
    std::vector<GlCall> binds = callsNamed(stopRecording(), "glBindTexture");
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_EQ(binds[0].ints.at(1), static_cast<long long>(model.meshes[0].textures[0].id));
    EXPECT_EQ(binds[1].ints.at(1), binds[0].ints.at(1));
}

TEST_F(modelTextures, file_first_loaded_as_diffuse_stays_diffuse_as_a_specular_map) {
    writeSolidPng(dir.file("shared.png"), {1, 2, 3, 255});
    writeSolidPng(dir.file("other.png"), {4, 5, 6, 255});
    writeTextFile(dir.file("cross.mtl"),
                  "newmtl first\nmap_Kd shared.png\n"
                  "newmtl second\nmap_Kd other.png\nmap_Ks shared.png\n");
    writeTextFile(dir.file("cross.obj"), "mtllib cross.mtl\nusemtl first\n" + triangleAt(0, 1) +
                                             "usemtl second\n" + triangleAt(1, 4));
    Model model(dir.file("cross.obj"));
    ASSERT_EQ(model.meshes.size(), 2u);
    const Mesh& second = model.meshes[1];
    EXPECT_EQ(pathsOf(second), (std::vector<std::string>{"other.png", "shared.png"}));
    EXPECT_EQ(typesOf(second), (std::vector<std::string>{"texture_diffuse", "texture_diffuse"}));
    EXPECT_EQ(second.textures[1].id, model.meshes[0].textures.at(0).id);

    startRecording();
    second.draw(program);
    std::vector<GlCall> sets = callsNamed(stopRecording(), "glUniform1i");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].uniform, "texture_diffuse1");
    EXPECT_EQ(sets[1].uniform, "texture_diffuse2");
    EXPECT_EQ(sets[1].ints.at(1), 1);
}

TEST_F(modelTextures, missing_texture_is_reported_once_per_model) {
    writeTextFile(dir.file("lost.mtl"),
                  "newmtl first\nmap_Kd missing.png\nnewmtl second\nmap_Kd missing.png\n");
    writeTextFile(dir.file("lost.obj"), "mtllib lost.mtl\nusemtl first\n" + triangleAt(0, 1) +
                                            "usemtl second\n" + triangleAt(1, 4));
    StdoutCapture capture;
    capture.begin();
    Model first(dir.file("lost.obj"));
    std::string printedFirst = capture.end();
    capture.begin();
    Model second(dir.file("lost.obj"));
    std::string printedSecond = capture.end();

    const std::string line = "Texture failed to load at path: missing.png\n";
    EXPECT_EQ(printedFirst, line);
    EXPECT_EQ(printedSecond, line) << "each model keeps a cache of its own";
    ASSERT_EQ(first.meshes.size(), 2u);
    ASSERT_EQ(first.meshes[1].textures.size(), 1u);
    unsigned id = first.meshes[0].textures.at(0).id;
    EXPECT_NE(id, 0u);
    EXPECT_EQ(first.meshes[1].textures[0].id, id);
    EXPECT_EQ(textureWidth(id), 0) << "the failed file leaves its texture without an image";
    EXPECT_NE(second.meshes.at(0).textures.at(0).id, id);
}

TEST_F(modelTextures, draw_samples_the_diffuse_map_at_the_vertex_texture_coordinates) {
    // Left half red, right half blue, one texel per target column.
    std::vector<Rgba> stripes(8);
    for (int x = 0; x < 8; ++x) stripes[x] = x < 4 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 255};
    writePng(dir.file("stripes.png"), 8, 1, stripes);
    writeTextFile(dir.file("quad.mtl"), "newmtl stripes\nmap_Kd stripes.png\n");
    writeTextFile(dir.file("quad.obj"),
                  "mtllib quad.mtl\n"
                  "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
                  "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                  "usemtl stripes\nf 1/1 2/2 3/3 4/4\n");
    Model model(dir.file("quad.obj"));
    glUniform1f(glGetUniformLocation(program.id, "diffuseWeight"), 1.0f);
    glUniform1f(glGetUniformLocation(program.id, "otherWeight"), 0.0f);
    ColourTarget target(8, 8);
    model.draw(program);
    for (int y : {1, 6}) {
        Rgba left = target.pixel(1, y), right = target.pixel(6, y);
        EXPECT_EQ(left.r, 255) << "row " << y;
        EXPECT_EQ(left.b, 0) << "row " << y;
        EXPECT_EQ(right.r, 0) << "row " << y;
        EXPECT_EQ(right.b, 255) << "row " << y;
    }
}

// ---- with the start-up preload ----------------------------------------------

struct preloadedModel : modelTextures {
    StdoutCapture output;
    void TearDown() override {
        stopPreload();
        modelTextures::TearDown();
    }
    // Two materials over three meshes, sharing a diffuse map and naming a specular map.
    std::string writeShip() {
        writeSolidPng(dir.file("hull.png"), {10, 20, 30, 255});
        writeSolidPng(dir.file("gloss.png"), {200, 200, 200, 255});
        writeTextFile(dir.file("ship.mtl"), "newmtl hull\nmap_Kd hull.png\nmap_Ks gloss.png\n"
                                            "newmtl deck\nmap_Kd hull.png\n");
        writeTextFile(dir.file("ship.obj"), "mtllib ship.mtl\no a\nusemtl hull\n" + triangleAt(0, 1) +
                                                "o b\nusemtl deck\n" + triangleAt(1, 4) +
                                                "o c\nusemtl hull\n" + triangleAt(2, 7));
        return dir.file("ship.obj");
    }
};

TEST_F(preloadedModel, material_texture_names_come_each_once_in_the_loaders_order) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(writeShip(), kModelImportFlags);
    ASSERT_TRUE(usableScene(scene));
    EXPECT_EQ(materialTextureNames(scene), (std::vector<std::string>{"hull.png", "gloss.png"}));
}

TEST_F(preloadedModel, file_planned_twice_builds_two_models_like_the_loader_alone) {
    std::string path = writeShip();
    Model alone(path);
    startPreload({{PreloadStep::model, path, true, 0}, {PreloadStep::model, path, true, 0}});
    waitForPreloadWorker();
    output.begin();
    startRecording();
    Model first(path), second(path);
    std::vector<GlCall> loading = stopRecording();
    EXPECT_EQ(output.end(), "");
    // Each model decodes its own two textures, and nothing else is read behind its back.
    EXPECT_EQ(callsNamed(loading, "glTexImage2D").size(), 4u);
    for (const Model* model : {&first, &second}) {
        EXPECT_EQ(firstXs(*model), firstXs(alone));
        ASSERT_EQ(model->meshes.size(), alone.meshes.size());
        for (size_t m = 0; m < alone.meshes.size(); ++m) {
            EXPECT_EQ(pathsOf(model->meshes[m]), pathsOf(alone.meshes[m]));
            EXPECT_EQ(typesOf(model->meshes[m]), typesOf(alone.meshes[m]));
        }
    }
    EXPECT_NE(first.meshes[0].textures[0].id, second.meshes[0].textures[0].id);
}

TEST_F(preloadedModel, missing_file_prints_the_importer_error_on_the_loading_thread) {
    std::string path = dir.file("absent.obj");
    startPreload({{PreloadStep::model, path, true, 0}});
    waitForPreloadWorker();
    output.begin();
    Model model(path);
    std::string printed = output.end();
    EXPECT_EQ(printed.rfind("ERROR::ASSIMP:: ", 0), 0u) << printed;
    EXPECT_GT(printed.size(), std::string("ERROR::ASSIMP:: \n").size()) << "the importer's reason is kept";
    EXPECT_TRUE(model.meshes.empty());
}
