// Geometry builders for the baked models and the OBJ/MTL text the demo imports through assimp.
#include "objmodel.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace bake {

// ---------------------------------------------------------------------------------------
// Text

static void appendf(std::string& out, const char* format, ...) {
    char line[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    out += line;
}

// A number with at most `decimals` places and no trailing zeros ("0.5", "-1", "0"). The
// demo parses these files while its clock runs, so every byte left out is time saved.
static void appendNumber(std::string& out, float value, int decimals) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    while (length > 0 && text[length - 1] == '0') --length;
    if (length > 0 && text[length - 1] == '.') --length;
    text[length] = '\0';
    out += std::strcmp(text, "-0") == 0 ? "0" : text;
}

// Positions to 0.1 mm at the models' metre scale, texture coordinates to a fortieth of a
// texel of the largest model texture, normals to a twentieth of a degree.
constexpr int kPositionDecimals = 4, kTexCoordDecimals = 4, kNormalDecimals = 3;

static void appendLine(std::string& out, const char* key, std::initializer_list<float> values, int decimals) {
    out += key;
    for (float v : values) {
        out += ' ';
        appendNumber(out, v, decimals);
    }
    out += '\n';
}

// Texture coordinates: the demo imports with aiProcess_FlipUVs (t = 1 - v) and decodes model
// textures with stb_image's vertical flip on (t = 0 is the file's bottom row). The two flips
// add up to "v counts down from the top row of the file", which is what ObjVertex::uv holds,
// so it is written unchanged. A viewer without those flips shows the textures upside down.
// Normals are written for every vertex, so the importer keeps them instead of making its own.
std::string objText(const BakedModel& model, const std::string& mtlFile) {
    std::string out = "# Baked by tools/bake; v counts from the top row of each texture.\n";
    out += "mtllib " + mtlFile + "\n";
    int base = 1;
    for (const ObjPart& part : model.parts) {
        out += "o " + part.name + "\n";
        for (const ObjVertex& v : part.vertices)
            appendLine(out, "v", {v.position.x, v.position.y, v.position.z}, kPositionDecimals);
        for (const ObjVertex& v : part.vertices) appendLine(out, "vt", {v.uv.x, v.uv.y}, kTexCoordDecimals);
        for (const ObjVertex& v : part.vertices)
            appendLine(out, "vn", {v.normal.x, v.normal.y, v.normal.z}, kNormalDecimals);
        out += "usemtl " + part.material + "\n";
        for (const auto& t : part.triangles) {
            int a = base + t[0], b = base + t[1], c = base + t[2];
            appendf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c);
        }
        base += static_cast<int>(part.vertices.size());
    }
    return out;
}

std::string mtlText(const BakedModel& model) {
    std::string out = "# Baked by tools/bake.\n";
    for (const ObjMaterial& m : model.materials) {
        out += "\nnewmtl " + m.name + "\n";
        appendf(out, "Ka %.4f %.4f %.4f\n", m.ambient.x, m.ambient.y, m.ambient.z);
        appendf(out, "Kd %.4f %.4f %.4f\n", m.diffuse.x, m.diffuse.y, m.diffuse.z);
        appendf(out, "Ks %.4f %.4f %.4f\n", m.specular.x, m.specular.y, m.specular.z);
        appendf(out, "Ns %.2f\nd 1\nillum 2\n", m.shininess);
        out += "map_Kd " + m.diffuseMap + "\n";
        if (!m.specularMap.empty()) out += "map_Ks " + m.specularMap + "\n";
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Builders

static float triangleArea(Vec3 a, Vec3 b, Vec3 c) { return 0.5f * length(cross(b - a, c - a)); }

// A triangle is kept when its area is not vanishing against its longest edge; the collapsed
// triangles at a sphere's poles fail this by many orders of magnitude.
static bool isSolid(Vec3 a, Vec3 b, Vec3 c) {
    float longest = std::max({dot(b - a, b - a), dot(c - b, c - b), dot(a - c, a - c)});
    return longest > 0.0f && triangleArea(a, b, c) > 1e-4f * longest;
}

static void addTriangle(ObjPart& part, int a, int b, int c) {
    if (isSolid(part.vertices[a].position, part.vertices[b].position, part.vertices[c].position))
        part.triangles.push_back({a, b, c});
}

void addSurface(ObjPart& part, int segmentsU, int segmentsV, const SurfaceFn& surface, UvRect uv) {
    const float h = 1e-3f;
    int first = static_cast<int>(part.vertices.size());
    for (int j = 0; j <= segmentsV; ++j)
        for (int i = 0; i <= segmentsU; ++i) {
            float u = static_cast<float>(i) / segmentsU, v = static_cast<float>(j) / segmentsV;
            // Derivatives are taken a little inside the square, so that a pole (where dP/du
            // vanishes) still gets the normal of the cap around it.
            float nu = std::min(std::max(u, h), 1.0f - h), nv = std::min(std::max(v, h), 1.0f - h);
            Vec3 du = surface(nu + h, nv) - surface(nu - h, nv);
            Vec3 dv = surface(nu, nv + h) - surface(nu, nv - h);
            ObjVertex vertex;
            vertex.position = surface(u, v);
            vertex.normal = normalize(cross(du, dv));
            vertex.uv = {lerp(uv.min.x, uv.max.x, u), lerp(uv.min.y, uv.max.y, v)};
            part.vertices.push_back(vertex);
        }
    auto index = [&](int i, int j) { return first + j * (segmentsU + 1) + i; };
    for (int j = 0; j < segmentsV; ++j)
        for (int i = 0; i < segmentsU; ++i) {
            addTriangle(part, index(i, j), index(i + 1, j), index(i + 1, j + 1));
            addTriangle(part, index(i, j), index(i + 1, j + 1), index(i, j + 1));
        }
}

void addTwoSidedSurface(ObjPart& part, int segmentsU, int segmentsV, const SurfaceFn& surface, float thickness,
                        UvRect uv) {
    addSurface(part, segmentsU, segmentsV, surface, uv);
    // Mirroring u reverses the orientation; the offset keeps the two sides from fighting.
    const float h = 1e-3f;
    addSurface(part, segmentsU, segmentsV, [&](float u, float v) {
        float mu = 1.0f - u;
        float nu = std::min(std::max(mu, h), 1.0f - h), nv = std::min(std::max(v, h), 1.0f - h);
        Vec3 n = normalize(cross(surface(nu + h, nv) - surface(nu - h, nv), surface(nu, nv + h) - surface(nu, nv - h)));
        return surface(mu, v) - n * thickness;
    }, UvRect{{uv.max.x, uv.min.y}, {uv.min.x, uv.max.y}});
}

static void addQuad(ObjPart& part, Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 normal, Vec2 uvA, Vec2 uvB, Vec2 uvC,
                    Vec2 uvD) {
    int first = static_cast<int>(part.vertices.size());
    part.vertices.push_back({a, normal, uvA});
    part.vertices.push_back({b, normal, uvB});
    part.vertices.push_back({c, normal, uvC});
    part.vertices.push_back({d, normal, uvD});
    addTriangle(part, first, first + 1, first + 2);
    addTriangle(part, first, first + 2, first + 3);
}

void addBox(ObjPart& part, Vec3 min, Vec3 max, UvRect uv) {
    Vec3 c = (min + max) * 0.5f, half = (max - min) * 0.5f;
    // normal, first tangent, second tangent with first × second = normal
    const Vec3 kFaces[6][3] = {
        {{ 1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
        {{-1, 0, 0}, {0, 0,  1}, {0, 1, 0}},
        {{ 0, 1, 0}, {1, 0,  0}, {0, 0, -1}},
        {{ 0,-1, 0}, {1, 0,  0}, {0, 0,  1}},
        {{ 0, 0, 1}, {1, 0,  0}, {0, 1, 0}},
        {{ 0, 0,-1}, {-1, 0, 0}, {0, 1, 0}},
    };
    for (const auto& face : kFaces) {
        Vec3 n = mul(face[0], half), t1 = mul(face[1], half), t2 = mul(face[2], half);
        Vec3 centre = c + n;
        addQuad(part, centre - t1 - t2, centre + t1 - t2, centre + t1 + t2, centre - t1 + t2, face[0],
                {uv.min.x, uv.max.y}, {uv.max.x, uv.max.y}, {uv.max.x, uv.min.y}, {uv.min.x, uv.min.y});
    }
}

void addPrism(ObjPart& part, const std::vector<Vec2>& outline, float z0, float z1, UvRect uv) {
    float perimeter = 0.0f;
    for (size_t i = 0; i < outline.size(); ++i) perimeter += length(outline[(i + 1) % outline.size()] - outline[i]);
    Vec2 lo = outline[0], hi = outline[0], centroid{0.0f, 0.0f};
    for (Vec2 p : outline) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
        centroid = centroid + p * (1.0f / outline.size());
    }
    auto uAt = [&](float f) { return lerp(uv.min.x, uv.max.x, f); };
    float run = 0.0f;
    for (size_t i = 0; i < outline.size(); ++i) {
        Vec2 a = outline[i], b = outline[(i + 1) % outline.size()];
        float step = length(b - a);
        Vec3 n = normalize(Vec3{b.y - a.y, a.x - b.x, 0.0f});
        float u0 = uAt(run / perimeter), u1 = uAt((run + step) / perimeter);
        addQuad(part, {a.x, a.y, z0}, {b.x, b.y, z0}, {b.x, b.y, z1}, {a.x, a.y, z1}, n, {u0, uv.max.y},
                {u1, uv.max.y}, {u1, uv.min.y}, {u0, uv.min.y});
        run += step;
    }
    auto capUv = [&](Vec2 p) {
        return Vec2{lerp(uv.min.x, uv.max.x, (p.x - lo.x) / (hi.x - lo.x)),
                    lerp(uv.min.y, uv.max.y, (hi.y - p.y) / (hi.y - lo.y))};
    };
    for (int cap = 0; cap < 2; ++cap) {
        float z = cap == 0 ? z1 : z0;
        Vec3 n{0.0f, 0.0f, cap == 0 ? 1.0f : -1.0f};
        int centre = static_cast<int>(part.vertices.size());
        part.vertices.push_back({{centroid.x, centroid.y, z}, n, capUv(centroid)});
        for (Vec2 p : outline) part.vertices.push_back({{p.x, p.y, z}, n, capUv(p)});
        int count = static_cast<int>(outline.size());
        for (int i = 0; i < count; ++i) {
            int a = centre + 1 + i, b = centre + 1 + (i + 1) % count;
            if (cap == 0)
                addTriangle(part, centre, a, b);
            else
                addTriangle(part, centre, b, a);
        }
    }
}

Placement placedAt(Vec3 origin, Vec3 scale) {
    return {origin, {scale.x, 0.0f, 0.0f}, {0.0f, scale.y, 0.0f}, {0.0f, 0.0f, scale.z}};
}

// Rotations act in the placement's own frame first, as a post-multiplied matrix would.
Placement rotatedY(Placement p, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    return {p.origin, p.x * c - p.z * s, p.y, p.x * s + p.z * c};
}

Placement rotatedX(Placement p, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    return {p.origin, p.x, p.y * c + p.z * s, p.z * c - p.y * s};
}

Placement rotatedZ(Placement p, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    return {p.origin, p.x * c + p.y * s, p.y * c - p.x * s, p.z};
}

void applyPlacement(ObjPart& part, size_t firstVertex, size_t firstTriangle, const Placement& m) {
    // The cofactor columns of M are the inverse transpose times det(M).
    Vec3 cx = cross(m.y, m.z), cy = cross(m.z, m.x), cz = cross(m.x, m.y);
    float det = dot(m.x, cx);
    float sign = det < 0.0f ? -1.0f : 1.0f;
    for (size_t i = firstVertex; i < part.vertices.size(); ++i) {
        ObjVertex& v = part.vertices[i];
        Vec3 p = v.position, n = v.normal;
        v.position = m.origin + m.x * p.x + m.y * p.y + m.z * p.z;
        v.normal = normalize(cx * n.x + cy * n.y + cz * n.z) * sign;
    }
    if (det < 0.0f)
        for (size_t i = firstTriangle; i < part.triangles.size(); ++i) std::swap(part.triangles[i][1], part.triangles[i][2]);
}

float smallestTriangleArea(const ObjPart& part) {
    float smallest = 1e30f;
    for (const auto& t : part.triangles)
        smallest = std::min(smallest, triangleArea(part.vertices[t[0]].position, part.vertices[t[1]].position,
                                                   part.vertices[t[2]].position));
    return smallest;
}

}  // namespace bake
