// Baked models: parts with materials and textures, the geometry builders the model
// recipes use, and the Wavefront OBJ and MTL text the demo's model loader imports.
#pragma once

#include "canvas.h"
#include "vecmath.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace bake {

struct ObjVertex {
    Vec3 position;
    Vec3 normal;
    Vec2 uv;  // u rightwards, v downwards from the top row of the texture file (see objText)
};

// One OBJ object ("o"), drawn with one material; becomes one mesh on import.
struct ObjPart {
    std::string name;
    std::string material;
    std::vector<ObjVertex> vertices;
    std::vector<std::array<int, 3>> triangles;  // counter-clockwise seen from outside
};

struct ObjMaterial {
    std::string name;
    Vec3 ambient;
    Vec3 diffuse;
    Vec3 specular;
    float shininess = 32.0f;
    std::string diffuseMap;   // file next to the OBJ; every material has one
    std::string specularMap;  // may be empty
};

struct BakedTexture {
    std::string file;
    Canvas image;
};

struct BakedModel {
    std::vector<ObjPart> parts;
    std::vector<ObjMaterial> materials;
    std::vector<BakedTexture> textures;  // written as RGB PNG files
};

std::string objText(const BakedModel& model, const std::string& mtlFile);
std::string mtlText(const BakedModel& model);

// ---------------------------------------------------------------------------------------
// Geometry builders. A surface is a function of (u, v) in [0, 1]²; normals are taken from
// its partial derivatives, so they stay smooth across the seams of closed surfaces.

using SurfaceFn = std::function<Vec3(float u, float v)>;

struct UvRect {
    Vec2 min{0.0f, 0.0f};
    Vec2 max{1.0f, 1.0f};
};

// A grid of segmentsU × segmentsV quads. Triangles that collapse (at the poles of a sphere)
// are left out, so no face is degenerate.
void addSurface(ObjPart& part, int segmentsU, int segmentsV, const SurfaceFn& surface, UvRect uv = {});
// A thin sheet seen from both sides (sails, flags): the surface and, `thickness` behind it,
// the same surface with its winding and normals turned round.
void addTwoSidedSurface(ObjPart& part, int segmentsU, int segmentsV, const SurfaceFn& surface, float thickness,
                        UvRect uv = {});
// A box with flat faces, each face mapped over the whole UV rectangle.
void addBox(ObjPart& part, Vec3 min, Vec3 max, UvRect uv = {});
// A closed extruded prism along z from a convex-or-not outline in the x-y plane
// (counter-clockwise), with flat caps fanned from the outline's centroid.
void addPrism(ObjPart& part, const std::vector<Vec2>& outline, float z0, float z1, UvRect uv = {});

// An affine placement: p' = origin + x * p.x + y * p.y + z * p.z.
struct Placement {
    Vec3 origin{0.0f, 0.0f, 0.0f};
    Vec3 x{1.0f, 0.0f, 0.0f};
    Vec3 y{0.0f, 1.0f, 0.0f};
    Vec3 z{0.0f, 0.0f, 1.0f};
};

Placement placedAt(Vec3 origin, Vec3 scale = {1.0f, 1.0f, 1.0f});
Placement rotatedY(Placement p, float angle);
Placement rotatedX(Placement p, float angle);
Placement rotatedZ(Placement p, float angle);
// Moves vertices from `first` on (normals by the inverse transpose); flips the winding
// when the placement mirrors.
void applyPlacement(ObjPart& part, size_t firstVertex, size_t firstTriangle, const Placement& placement);

// Smallest triangle area, in model units², over a part; used by the checks for degeneracy.
float smallestTriangleArea(const ObjPart& part);

}  // namespace bake
