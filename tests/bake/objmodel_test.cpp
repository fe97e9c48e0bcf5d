// The model builders and the OBJ/MTL writer: indices that stay within their part, poles
// without collapsed triangles, windings that keep facing their normals through mirroring,
// and materials that name only the maps they were given.
#include "objmodel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using namespace bake;

namespace {

SurfaceFn sphere(Vec3 centre, float radius) {
    return [=](float u, float v) {
        float phi = 2.0f * kPi * u, theta = kPi * v;
        return centre + Vec3{std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)} * radius;
    };
}

Vec3 faceNormal(const ObjPart& part, const std::array<int, 3>& t) {
    Vec3 a = part.vertices[t[0]].position, b = part.vertices[t[1]].position, c = part.vertices[t[2]].position;
    return cross(b - a, c - a);
}

// Share of triangles whose winding faces the same side as their vertex normals.
float agreeing(const ObjPart& part) {
    int good = 0;
    for (const auto& t : part.triangles) {
        Vec3 n = part.vertices[t[0]].normal + part.vertices[t[1]].normal + part.vertices[t[2]].normal;
        if (dot(faceNormal(part, t), n) > 0.0f) ++good;
    }
    return part.triangles.empty() ? 0.0f : static_cast<float>(good) / part.triangles.size();
}

}  // namespace

TEST(objText, faces_index_the_vertices_of_their_own_part) {
    BakedModel model;
    model.parts.push_back({"first", "red", {}, {}});
    addBox(model.parts[0], {0, 0, 0}, {1, 1, 1});
    model.parts.push_back({"second", "blue", {}, {}});
    addBox(model.parts[1], {2, 0, 0}, {3, 1, 1});
    std::istringstream text(objText(model, "thing.mtl"));
    std::string line, object, material;
    int vertices = 0, firstOfSecond = 1 << 30, lastOfFirst = 0, faces = 0;
    bool sawLibrary = false;
    while (std::getline(text, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "mtllib") sawLibrary = line == "mtllib thing.mtl";
        if (key == "o") words >> object;
        if (key == "usemtl") words >> material;
        if (key == "v") ++vertices;
        if (key == "f") {
            ++faces;
            EXPECT_EQ(material, object == "first" ? "red" : "blue");
            for (int k = 0; k < 3; ++k) {
                std::string corner;
                words >> corner;
                int v = 0, vt = 0, vn = 0;
                ASSERT_EQ(std::sscanf(corner.c_str(), "%d/%d/%d", &v, &vt, &vn), 3) << line;
                EXPECT_TRUE(v == vt && v == vn) << line;
                EXPECT_GE(v, 1);
                EXPECT_LE(v, vertices) << "a face refers to a vertex not yet written";
                if (object == "first") lastOfFirst = std::max(lastOfFirst, v);
                else firstOfSecond = std::min(firstOfSecond, v);
            }
        }
    }
    EXPECT_TRUE(sawLibrary);
    EXPECT_EQ(faces, 24);
    EXPECT_EQ(lastOfFirst, 24);
    EXPECT_EQ(firstOfSecond, 25);
}

TEST(mtlText, names_only_the_maps_a_material_has) {
    BakedModel model;
    model.materials.push_back({"plain", {}, {1, 1, 1}, {}, 8.0f, "plain.png", ""});
    model.materials.push_back({"shiny", {}, {1, 1, 1}, {1, 1, 1}, 64.0f, "shiny.png", "gloss.png"});
    std::string text = mtlText(model);
    EXPECT_NE(text.find("newmtl plain\n"), std::string::npos);
    EXPECT_NE(text.find("map_Kd plain.png\n"), std::string::npos);
    EXPECT_NE(text.find("map_Ks gloss.png\n"), std::string::npos);
    size_t plainBlock = text.find("newmtl plain"), shinyBlock = text.find("newmtl shiny");
    EXPECT_EQ(text.find("map_Ks", plainBlock), text.find("map_Ks gloss.png")) << "plain got a specular map";
    EXPECT_LT(plainBlock, shinyBlock);
}

TEST(surfaces, collapsed_triangles_at_the_poles_are_left_out) {
    ObjPart part{"ball", "m", {}, {}};
    addSurface(part, 8, 4, sphere({0, 0, 0}, 1.0f));
    // 8 × 4 quads make 64 triangles; at each pole one triangle per quad has two corners on
    // the pole and is dropped.
    EXPECT_EQ(part.triangles.size(), 64u - 16u);
    EXPECT_GT(smallestTriangleArea(part), 1e-3f);
}

TEST(surfaces, normals_of_a_sphere_point_outwards_and_agree_with_the_winding) {
    ObjPart part{"ball", "m", {}, {}};
    const Vec3 centre{1.0f, 2.0f, 3.0f};
    addSurface(part, 16, 8, sphere(centre, 0.5f));
    for (const ObjVertex& v : part.vertices) {
        EXPECT_NEAR(length(v.normal), 1.0f, 1e-4f);
        EXPECT_GT(dot(v.normal, v.position - centre), 0.0f);
    }
    EXPECT_FLOAT_EQ(agreeing(part), 1.0f);
}

TEST(placement, mirroring_keeps_triangles_facing_their_normals) {
    ObjPart part{"box", "m", {}, {}};
    addBox(part, {-1, -1, -1}, {1, 2, 3});
    ASSERT_FLOAT_EQ(agreeing(part), 1.0f);
    // Swapping two axes is a mirror image.
    applyPlacement(part, 0, 0, Placement{{5, 0, 0}, {0, 0, 2}, {0, 1, 0}, {1, 0, 0}});
    EXPECT_FLOAT_EQ(agreeing(part), 1.0f);
    for (const ObjVertex& v : part.vertices) EXPECT_NEAR(length(v.normal), 1.0f, 1e-4f);
}

TEST(placement, rotations_turn_normals_with_the_shape) {
    ObjPart part{"box", "m", {}, {}};
    addBox(part, {-1, -1, -1}, {1, 1, 1});
    applyPlacement(part, 0, 0, rotatedY(placedAt({0, 0, 0}), kPi / 2.0f));
    for (const ObjVertex& v : part.vertices) EXPECT_GT(dot(v.normal, v.position), 0.9f);
}

TEST(twoSidedSurface, sheets_face_both_ways) {
    ObjPart part{"sail", "m", {}, {}};
    addTwoSidedSurface(part, 4, 4, [](float u, float v) { return Vec3{u, v, 0.0f}; }, 0.01f);
    int front = 0, back = 0;
    for (const auto& t : part.triangles) (faceNormal(part, t).z > 0.0f ? front : back)++;
    EXPECT_EQ(front, 32);
    EXPECT_EQ(back, 32);
    EXPECT_FLOAT_EQ(agreeing(part), 1.0f);
}

TEST(objText, numbers_are_short_and_keep_their_precision) {
    BakedModel model;
    model.parts.push_back({"p", "m", {}, {}});
    model.parts[0].vertices.push_back({{0.5f, -0.00001f, 1.234567f}, {0.0f, 1.0f, 0.0f}, {0.25f, 1.0f}});
    model.parts[0].vertices.push_back({{-2.0f, 10.0f, 0.1f}, {0.6f, -0.8f, 0.0f}, {0.0f, 0.33333f}});
    std::string text = objText(model, "m.mtl");
    // Trailing zeros and the sign of a rounded-away zero are left out.
    for (const char* line : {"\nv 0.5 0 1.2346\n", "\nv -2 10 0.1\n", "\nvt 0.25 1\n", "\nvt 0 0.3333\n",
                             "\nvn 0 1 0\n", "\nvn 0.6 -0.8 0\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
}
