// Model recipes: the glazed donut, the forest sailing ship, the spaceship, the tugboat and
// the rubber duck, each with its materials and the textures they name.
//
// Sizes follow the scenes that show them: the donut is drawn at 0.3 scale right in front of
// the camera, the ships at 0.4 to 0.9 scale 30 to 90 units away, the ducks at 0.3 scale 20
// units away. Every material has a diffuse map and every part texture coordinates, since the
// loader binds maps by family and derives tangents from the coordinates.
//
// [SECTION] Shared shapes
// [SECTION] Donut
// [SECTION] Forest ship
// [SECTION] Spaceship
// [SECTION] Tugboat
// [SECTION] Rubber duck
#include "recipes.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace bake {

// =======================================================================================
// [SECTION] Shared shapes

// An ellipsoid: u runs round the y axis, v from the top pole (0) to the bottom pole (1).
static SurfaceFn ellipsoid(Vec3 centre, Vec3 radii) {
    return [=](float u, float v) {
        float phi = 2.0f * kPi * u, theta = kPi * v;
        return centre + Vec3{radii.x * std::sin(theta) * std::cos(phi), radii.y * std::cos(theta),
                             radii.z * std::sin(theta) * std::sin(phi)};
    };
}

// A cylinder round the y axis from y0 to y1 (open ends); u round, v from top to bottom.
static SurfaceFn cylinder(Vec3 base, float radius, float y0, float y1, float topRadius) {
    return [=](float u, float v) {
        float phi = 2.0f * kPi * u;
        float y = lerp(y1, y0, v);
        float r = lerp(topRadius, radius, v);
        return base + Vec3{r * std::cos(phi), y, r * std::sin(phi)};
    };
}

// A disc closing a cylinder end, facing up (+y) or down.
static SurfaceFn disc(Vec3 centre, float radius, bool facingUp) {
    return [=](float u, float v) {
        float phi = 2.0f * kPi * (facingUp ? u : -u);
        float r = radius * v;
        return centre + Vec3{r * std::cos(phi), 0.0f, r * std::sin(phi)};
    };
}

// Parts are held by reference while the next ones are added, so a model reserves room for
// all of its parts up front.
constexpr size_t kMaxParts = 16;

static BakedModel emptyModel() {
    BakedModel model;
    model.parts.reserve(kMaxParts);
    return model;
}

static ObjPart& newPart(BakedModel& model, const std::string& name, const std::string& material) {
    assert(model.parts.size() < model.parts.capacity());
    model.parts.push_back(ObjPart{name, material, {}, {}});
    return model.parts.back();
}

// Model textures are stored a few texels past the size a recipe asks for, so that no side
// is a power of two. The driver compiles the code that builds a mipmap chain once per pixel
// format and power-of-two shape, about 50 ms at start-up each time; shaped like the closing
// logo and the picture (RGB, neither side a power of two), every model texture reuses theirs.
constexpr int kOffPowerOfTwo = 4;

static Canvas textureOf(int size, const std::function<Rgba(float u, float v)>& colourAt) {
    const int stored = size + kOffPowerOfTwo;
    Canvas c = makeCanvas(stored, stored, Rgba{});
    shadeCanvas(c, [&](float x, float y) { return colourAt(x / stored, y / stored); });
    return c;
}

// Specular maps: bright where the surface is glossy, with a faint mottle so highlights break.
static Canvas glossTexture(int size, float level, int seed) {
    return textureOf(size, [&](float u, float v) {
        float n = fbmWrapXY(u * 8.0f, v * 8.0f, seed * 0.7f, 8, 8, 4);
        float g = clamp01(level + 0.12f * n);
        return Rgba{g, g, g, 1.0f};
    });
}

// =======================================================================================
// [SECTION] Donut
//
// A torus lying flat (hole along y), 1.3 across. u runs round the ring, v round the tube
// starting at the outer equator and going over the top; the glaze is a thin shell over the
// top with a dripping edge, the sprinkles small rods lying on the glaze.

constexpr float kRingRadius = 0.45f, kTubeRadius = 0.2f;

static Vec3 torusPoint(float phi, float theta, float tube) {
    float ring = kRingRadius + tube * std::cos(theta);
    return {ring * std::cos(phi), tube * std::sin(theta), -ring * std::sin(phi)};
}

// A slightly lumpy tube, as dough rises unevenly; the noise is taken at the point itself so
// that it closes round both circles.
static float doughTube(float phi, float theta) {
    Vec3 p = torusPoint(phi, theta, kTubeRadius) * 6.0f;
    return kTubeRadius * (1.0f + 0.05f * perlin(p.x, p.y, p.z));
}

// How far past the equators the glaze runs, outside and inside, at ring angle phi.
static float glazeReach(float phi, float side) {
    float drips = perlin(std::cos(phi) * 3.0f + side, std::sin(phi) * 3.0f, 0.5f);
    return 0.35f + 0.35f * smoothstep(-0.2f, 0.5f, drips);
}

BakedModel bakeDonut() {
    BakedModel model = emptyModel();
    // Parts are drawn in this order, nearest layer first, so that the depth test turns
    // away what lies beneath before it is shaded: sprinkles, glaze, dough.
    // Sprinkles: rods on the glaze, each taking one colour band of the sprinkle texture.
    ObjPart& sprinkles = newPart(model, "sprinkles", "sprinkles");
    const int count = 150, bands = 8;
    for (int i = 0; i < count; ++i) {
        float phi = 2.0f * kPi * hash01(i, 0, 91);
        float theta = lerp(0.35f, kPi - 0.35f, hash01(i, 1, 91));
        float tube = doughTube(phi, theta) + 0.025f * std::pow(std::sin(theta), 0.35f) + 0.002f;
        Vec3 at = torusPoint(phi, theta, tube);
        Vec3 normal = normalize(at - torusPoint(phi, theta, 0.0f));
        Vec3 tangent = normalize(cross(normal, Vec3{0.0f, 0.0f, 1.0f}) + cross(normal, Vec3{1.0f, 0.0f, 0.0f}) * (hash01(i, 2, 91) * 2.0f - 1.0f));
        Vec3 side = normalize(cross(normal, tangent));
        float band = std::floor(hash01(i, 3, 91) * bands);
        size_t firstVertex = sprinkles.vertices.size(), firstTriangle = sprinkles.triangles.size();
        addBox(sprinkles, {-0.028f, -0.006f, -0.006f}, {0.028f, 0.006f, 0.006f},
               UvRect{{(band + 0.2f) / bands, 0.2f}, {(band + 0.8f) / bands, 0.8f}});
        // The face it lies on is sunk in the glaze and never seen: 150 sprinkles, 300
        // triangles fewer for the opening's every frame.
        std::vector<std::array<int, 3>>& triangles = sprinkles.triangles;
        triangles.erase(std::remove_if(triangles.begin() + static_cast<long>(firstTriangle), triangles.end(),
                                       [&](const std::array<int, 3>& t) {
                                           return sprinkles.vertices[t[0]].normal.y < -0.5f &&
                                                  sprinkles.vertices[t[1]].normal.y < -0.5f &&
                                                  sprinkles.vertices[t[2]].normal.y < -0.5f;
                                       }),
                        triangles.end());
        applyPlacement(sprinkles, firstVertex, firstTriangle, Placement{at, tangent, normal, side});
    }

    ObjPart& glaze = newPart(model, "glaze", "glaze");
    addSurface(glaze, 64, 14, [](float u, float v) {
        float phi = 2.0f * kPi * u;
        float from = -glazeReach(phi, 0.0f), to = kPi + glazeReach(phi, 7.0f);
        float theta = lerp(from, to, v);
        // Thickest on top, thinning at the edge until it dips just under the dough, so the rim
        // never flickers against it.
        // sin(pi) rounds to a hair below zero in single precision, and pow of that is NaN.
        float thickness = 0.025f * std::pow(std::max(std::sin(kPi * v), 0.0f), 0.35f) - 0.003f;
        return torusPoint(phi, theta, doughTube(phi, theta) + thickness);
    }, UvRect{{0.0f, 0.0f}, {4.0f, 1.0f}});

    // The dough shows only below the glaze, which runs at least 0.35 past either equator:
    // dough under the glaze would be drawn and then drawn over, so it stops 0.13 inside
    // the glaze's edge, where the glaze lies above it. The texture keeps its place round
    // the tube.
    ObjPart& dough = newPart(model, "dough", "dough");
    constexpr float kDoughFrom = kPi + 0.22f, kDoughTo = 2.0f * kPi - 0.22f;
    addSurface(dough, 48, 10, [](float u, float v) {
        float phi = 2.0f * kPi * u, theta = lerp(kDoughFrom, kDoughTo, v);
        return torusPoint(phi, theta, doughTube(phi, theta));
    }, UvRect{{0.0f, kDoughFrom / (2.0f * kPi)}, {1.0f, kDoughTo / (2.0f * kPi)}});

    model.materials = {
        // name         ambient              diffuse              specular             Ns     diffuse map           specular map
        {"dough",     {0.25f, 0.2f, 0.15f}, {0.9f, 0.8f, 0.7f}, {0.1f, 0.1f, 0.1f}, 12.0f, "donut_dough.png",     ""},
        {"glaze",     {0.3f, 0.2f, 0.25f},  {1.0f, 1.0f, 1.0f}, {0.8f, 0.8f, 0.8f}, 96.0f, "donut_glaze.png",     "donut_gloss.png"},
        {"sprinkles", {0.3f, 0.3f, 0.3f},   {1.0f, 1.0f, 1.0f}, {0.6f, 0.6f, 0.6f}, 64.0f, "donut_sprinkles.png", "donut_gloss.png"},
    };
    model.textures.push_back({"donut_dough.png", textureOf(256, [](float u, float v) {
        // v goes once round the tube from the outer equator. Top and bottom fried brown, the
        // equators pale, where the dough floated at the surface of the fat.
        float face = std::fabs(std::sin(2.0f * kPi * v));
        float pores = fbmWrapXY(u * 16.0f, v * 8.0f, 1.0f, 16, 8, 4);
        Rgba brown = mix(hex(0xc07a34), hex(0x8e4c1e), face);
        Rgba c = mix(hex(0xf0cf90), brown, smoothstep(0.15f, 0.6f, face));
        return scaled(c, 0.9f + 0.2f * pores);
    })});
    model.textures.push_back({"donut_glaze.png", textureOf(256, [](float u, float v) {
        float swirl = fbmWrapXY(u * 4.0f, v * 4.0f, 2.0f, 4, 4, 4);
        return mix(hex(0xf25c9a), hex(0xff9cc4), smoothstep(-0.3f, 0.4f, swirl));
    })});
    model.textures.push_back({"donut_sprinkles.png", textureOf(256, [&](float u, float v) {
        const unsigned colours[bands] = {0xffffff, 0xffd93b, 0x3b8bff, 0x3bd16f, 0xff8a2b, 0x9b5bff, 0xff3b4e, 0x3be0e6};
        int k = std::min(bands - 1, static_cast<int>(u * bands));
        return scaled(hex(colours[k]), 0.9f + 0.1f * std::sin(v * kPi));
    })});
    model.textures.push_back({"donut_gloss.png", glossTexture(256, 0.85f, 3)});
    return model;
}

// =======================================================================================
// [SECTION] Forest ship
//
// A three-masted sailing ship of dark timber with leaf-green sails, 12 long, bow towards -z.

// Hull half-width and keel depth along the ship, t = 0 at the bow, 1 at the stern.
static float hullWidth(float t, float beam) { return beam * std::pow(std::sin(kPi * std::min(1.0f, t * 0.64f)), 0.75f); }

// A hull: u runs from port deck edge down round the keel to starboard, v from bow to stern.
static SurfaceFn hullSurface(float length, float beam, float depth, float sheer) {
    return [=](float u, float v) {
        float z = (v - 0.5f) * length;
        float w = hullWidth(v, beam);
        float alpha = kPi * u;
        float deck = sheer * (std::pow(2.0f * v - 1.0f, 2.0f));  // rises towards bow and stern
        float d = depth * (0.55f + 0.45f * std::sin(kPi * std::min(1.0f, v * 0.8f + 0.1f)));
        return Vec3{-w * std::cos(alpha), deck - d * std::sin(alpha), z};
    };
}

// The flat stern closing a hull: vertical strips from the hull's last rim up to the deck edge.
static SurfaceFn transom(const SurfaceFn& hull, float deckHeight) {
    return [=](float u, float v) {
        Vec3 rim = hull(u, 1.0f);
        return Vec3{rim.x, lerp(rim.y, deckHeight, v), rim.z};
    };
}

// The deck outline matching the hull's top edge, as a thin slab (local z is up).
static std::vector<Vec2> deckOutline(float length, float beam, int steps) {
    std::vector<Vec2> outline;
    for (int k = 0; k <= steps; ++k) {
        float t = static_cast<float>(k) / steps;
        outline.push_back({hullWidth(t, beam) * 0.98f, (t - 0.5f) * length});
    }
    for (int k = steps - 1; k >= 1; --k) {
        float t = static_cast<float>(k) / steps;
        outline.push_back({-hullWidth(t, beam) * 0.98f, (t - 0.5f) * length});
    }
    return outline;
}

// Maps a prism built along local z onto the deck: local x -> x, local y -> z, local z -> up.
static void layDeck(ObjPart& part, const std::vector<Vec2>& outline, float y0, float y1, UvRect uv) {
    size_t v0 = part.vertices.size(), t0 = part.triangles.size();
    addPrism(part, outline, y0, y1, uv);
    applyPlacement(part, v0, t0, Placement{{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f}});
}

// A sail: a billowed sheet hanging from a yard at height top, width w, drop h, at z.
static SurfaceFn sail(float z, float top, float width, float drop, float billow) {
    return [=](float u, float v) {
        float x = (u - 0.5f) * width * (1.0f + 0.12f * v);
        float y = top - v * drop;
        float belly = billow * std::sin(kPi * u) * std::sin(kPi * std::min(1.0f, v * 0.9f + 0.1f));
        return Vec3{x, y, z - belly};
    };
}

BakedModel bakeForestShip() {
    BakedModel model = emptyModel();
    const float length = 12.0f, beam = 1.8f, depth = 2.1f, sheer = 0.9f;
    ObjPart& hull = newPart(model, "hull", "hull");
    addSurface(hull, 24, 48, hullSurface(length, beam, depth, sheer), UvRect{{0.0f, 0.0f}, {1.0f, 3.0f}});
    addSurface(hull, 24, 4, transom(hullSurface(length, beam, depth, sheer), sheer));
    ObjPart& deck = newPart(model, "deck", "deck");
    layDeck(deck, deckOutline(length, beam, 24), 0.02f, 0.14f, UvRect{{0.0f, 0.0f}, {2.0f, 4.0f}});
    ObjPart& castle = newPart(model, "sterncastle", "hull");
    addBox(castle, {-1.3f, 0.1f, 3.4f}, {1.3f, 1.3f, 5.6f});
    addBox(castle, {-1.0f, 1.3f, 4.4f}, {1.0f, 1.9f, 5.6f}, UvRect{{0.0f, 0.0f}, {1.0f, 0.5f}});
    addBox(castle, {-0.9f, 0.1f, -5.0f}, {0.9f, 0.8f, -3.7f});
    ObjPart& masts = newPart(model, "masts", "mast");
    const float mastZ[3] = {-2.7f, 0.2f, 2.9f}, mastH[3] = {6.4f, 7.4f, 5.6f};
    for (int m = 0; m < 3; ++m) {
        addSurface(masts, 12, 4, cylinder({0.0f, 0.0f, mastZ[m]}, 0.13f, 0.0f, mastH[m], 0.08f));
        addSurface(masts, 12, 1, disc({0.0f, mastH[m], mastZ[m]}, 0.08f, true));
        for (float yard : {mastH[m] * 0.92f, mastH[m] * 0.55f}) {
            size_t v0 = masts.vertices.size(), t0 = masts.triangles.size();
            addSurface(masts, 8, 2, cylinder({0.0f, 0.0f, 0.0f}, 0.06f, -1.0f, 1.0f, 0.06f));
            float span = 1.5f * (yard / mastH[m] + 0.5f);
            // The yard's axis (local y) across the ship.
            applyPlacement(masts, v0, t0, Placement{{0.0f, yard, mastZ[m] - 0.15f}, {0.0f, 1.0f, 0.0f}, {span, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}});
        }
    }
    // The bowsprit, leaning forward from the bow.
    {
        size_t v0 = masts.vertices.size(), t0 = masts.triangles.size();
        addSurface(masts, 10, 2, cylinder({0.0f, 0.0f, 0.0f}, 0.09f, 0.0f, 3.0f, 0.05f));
        applyPlacement(masts, v0, t0, rotatedX(placedAt({0.0f, 0.5f, -5.5f}), -1.2f));
    }
    ObjPart& sails = newPart(model, "sails", "sail");
    for (int m = 0; m < 3; ++m) {
        float upper = mastH[m] * 0.92f, lower = mastH[m] * 0.55f;
        float span = 1.5f * (upper / mastH[m] + 0.5f) * 2.0f;
        addTwoSidedSurface(sails, 12, 8, sail(mastZ[m] - 0.25f, upper - 0.05f, span * 0.95f, upper - lower - 0.2f, 0.35f), 0.02f);
        float spanLow = 1.5f * (lower / mastH[m] + 0.5f) * 2.0f;
        addTwoSidedSurface(sails, 12, 8, sail(mastZ[m] - 0.25f, lower - 0.05f, spanLow * 0.95f, lower - 1.2f, 0.45f), 0.02f);
    }
    ObjPart& flag = newPart(model, "flag", "flag");
    addTwoSidedSurface(flag, 8, 4, [&](float u, float v) {
        // Streaming aft from the main mast's head, rippling.
        return Vec3{0.12f * std::sin(u * 6.0f), mastH[1] + 0.05f - v * 0.6f, mastZ[1] + 0.05f + u * 1.2f};
    }, 0.01f);

    model.materials = {
        // name    ambient              diffuse              specular             Ns     diffuse map              specular map
        {"hull", {0.2f, 0.15f, 0.1f},  {1.0f, 1.0f, 1.0f}, {0.3f, 0.3f, 0.3f}, 24.0f, "forestship_wood.png",  "forestship_spec.png"},
        {"deck", {0.2f, 0.18f, 0.12f}, {1.0f, 1.0f, 1.0f}, {0.2f, 0.2f, 0.2f}, 16.0f, "forestship_deck.png",  "forestship_spec.png"},
        {"mast", {0.2f, 0.15f, 0.1f},  {0.8f, 0.7f, 0.6f}, {0.2f, 0.2f, 0.2f}, 16.0f, "forestship_wood.png",  ""},
        {"sail", {0.25f, 0.3f, 0.2f},  {1.0f, 1.0f, 1.0f}, {0.05f, 0.05f, 0.05f}, 4.0f, "forestship_sail.png", ""},
        {"flag", {0.3f, 0.3f, 0.3f},   {1.0f, 1.0f, 1.0f}, {0.05f, 0.05f, 0.05f}, 4.0f, "forestship_flag.png", ""},
    };
    model.textures.push_back({"forestship_wood.png", textureOf(256, [](float u, float v) {
        // Strakes along the hull with wavy grain; v runs along the ship.
        float strake = std::fmod(u * 12.0f, 1.0f);
        float grain = fbmWrapXY(u * 64.0f, v * 4.0f, 4.0f, 64, 4, 3);
        float line = smoothstep(0.0f, 0.06f, strake) * smoothstep(1.0f, 0.94f, strake);
        Rgba c = mix(hex(0x3e2414), hex(0x6e4324), 0.5f + 0.5f * grain);
        return scaled(c, 0.55f + 0.45f * line);
    })});
    model.textures.push_back({"forestship_deck.png", textureOf(256, [](float u, float v) {
        float plank = std::fmod(u * 10.0f, 1.0f);
        float grain = fbmWrapXY(u * 32.0f, v * 8.0f, 6.0f, 32, 8, 3);
        float butt = std::fmod(v * 3.0f + std::floor(u * 10.0f) * 0.37f, 1.0f) < 0.01f ? 0.6f : 1.0f;
        Rgba c = mix(hex(0x9a7246), hex(0xc49a68), 0.5f + 0.5f * grain);
        return scaled(c, butt * (0.7f + 0.3f * smoothstep(0.0f, 0.08f, plank) * smoothstep(1.0f, 0.92f, plank)));
    })});
    model.textures.push_back({"forestship_sail.png", textureOf(256, [](float u, float v) {
        // Leaf-green canvas in seamed cloths, with a pale leaf in the middle.
        float seam = std::fmod(u * 8.0f, 1.0f) < 0.04f ? 0.85f : 1.0f;
        float weave = 0.95f + 0.05f * fbmWrapXY(u * 64.0f, v * 64.0f, 1.0f, 64, 64, 2);
        Rgba c = scaled(mix(hex(0x4f9a4a), hex(0x2f6e34), v), seam * weave);
        float lx = (u - 0.5f) * 2.0f, ly = (v - 0.5f) * 2.0f;
        float leaf = (lx * lx) / 0.12f + (ly * ly) / 0.45f;
        float vein = std::fabs(lx) < 0.02f && std::fabs(ly) < 0.6f ? 1.0f : 0.0f;
        c = mix(c, hex(0xdff0c8), smoothstep(1.05f, 0.95f, leaf) * (1.0f - 0.6f * vein));
        return c;
    })});
    model.textures.push_back({"forestship_flag.png", textureOf(64, [](float, float v) {
        return v < 0.33f ? hex(0x1e5a2e) : (v < 0.66f ? hex(0xf0f0e0) : hex(0x1e5a2e));
    })});
    model.textures.push_back({"forestship_spec.png", glossTexture(128, 0.3f, 5)});
    return model;
}

// =======================================================================================
// [SECTION] Spaceship
//
// A chrome courier, 10 long, nose towards -z: an elliptical fuselage, swept wings, a tail
// fin, a glass canopy and two engine pods with glowing nozzles. Made to show off a
// reflection shader, so its surfaces are smooth and wide.

static Vec3 fuselagePoint(float u, float v) {
    // v from the nose (0) to the tail (1); the radius swells and tapers again.
    float z = -5.0f + 10.0f * v;
    float r = 0.95f * std::pow(std::sin(kPi * std::min(1.0f, v * 0.85f)), 0.6f) + 0.25f * v;
    float phi = 2.0f * kPi * u;
    return {1.25f * r * std::cos(phi), 0.75f * r * std::sin(phi), z};
}

BakedModel bakeSpaceShip() {
    BakedModel model = emptyModel();
    ObjPart& hull = newPart(model, "fuselage", "hull");
    addSurface(hull, 40, 48, [](float u, float v) { return fuselagePoint(u, v); }, UvRect{{0.0f, 0.0f}, {2.0f, 2.0f}});
    // The tail end closed by a cap at z = 5.
    addSurface(hull, 40, 2, [](float u, float v) {
        Vec3 rim = fuselagePoint(u, 1.0f);
        return Vec3{rim.x * (1.0f - v), rim.y * (1.0f - v), rim.z};
    });
    // Wings: swept plates, thin in y, built in the x-z plane.
    ObjPart& wings = newPart(model, "wings", "hull");
    for (float side : {-1.0f, 1.0f}) {
        std::vector<Vec2> outline{{0.6f, -1.2f}, {4.6f, 2.4f}, {4.6f, 3.3f}, {0.6f, 3.6f}};
        if (side < 0.0f)
            for (Vec2& p : outline) p.x = -p.x;
        if (side < 0.0f) std::reverse(outline.begin(), outline.end());
        layDeck(wings, outline, -0.09f, 0.09f, UvRect{{0.0f, 0.0f}, {1.0f, 1.0f}});
    }
    ObjPart& fin = newPart(model, "fin", "hull");
    {
        size_t v0 = fin.vertices.size(), t0 = fin.triangles.size();
        addPrism(fin, {{0.0f, 0.3f}, {2.4f, 0.3f}, {4.6f, 2.4f}, {3.6f, 2.4f}}, -0.07f, 0.07f);
        // outline x runs along the ship (z), outline y up; local z becomes x.
        applyPlacement(fin, v0, t0, Placement{{0.0f, 0.0f, 0.6f}, {0.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}});
    }
    ObjPart& canopy = newPart(model, "canopy", "glass");
    addSurface(canopy, 24, 12, [](float u, float v) {
        // The upper half of an ellipsoid sitting on the fuselage's back.
        float phi = 2.0f * kPi * u, theta = 0.5f * kPi * v;
        return Vec3{0.55f * std::sin(theta) * std::cos(phi), 0.5f + 0.45f * std::cos(theta), -1.6f + 1.4f * std::sin(theta) * std::sin(phi)};
    });
    ObjPart& pods = newPart(model, "enginePods", "hull");
    ObjPart& nozzles = newPart(model, "nozzles", "engine");
    for (float side : {-1.0f, 1.0f}) {
        size_t v0 = pods.vertices.size(), t0 = pods.triangles.size();
        addSurface(pods, 20, 6, cylinder({0.0f, 0.0f, 0.0f}, 0.42f, -2.0f, 2.0f, 0.3f));
        addSurface(pods, 20, 1, disc({0.0f, 2.0f, 0.0f}, 0.3f, true));
        // The pod's axis (local y) along the ship, its top towards the nose.
        Placement along{{side * 2.4f, -0.35f, 3.2f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 1.0f, 0.0f}};
        applyPlacement(pods, v0, t0, along);
        size_t n0 = nozzles.vertices.size(), m0 = nozzles.triangles.size();
        addSurface(nozzles, 20, 2, disc({0.0f, -2.0f, 0.0f}, 0.42f, false));
        applyPlacement(nozzles, n0, m0, along);
    }

    model.materials = {
        // name     ambient            diffuse              specular             Ns      diffuse map          specular map
        {"hull",   {0.3f, 0.3f, 0.3f}, {0.9f, 0.9f, 0.95f}, {1.0f, 1.0f, 1.0f}, 128.0f, "ship4_hull.png",   "ship4_spec.png"},
        {"glass",  {0.1f, 0.2f, 0.3f}, {0.6f, 0.8f, 1.0f},  {1.0f, 1.0f, 1.0f}, 256.0f, "ship4_glass.png",  "ship4_spec.png"},
        {"engine", {1.0f, 0.6f, 0.3f}, {1.0f, 1.0f, 1.0f},  {0.2f, 0.2f, 0.2f}, 8.0f,   "ship4_engine.png", ""},
    };
    model.textures.push_back({"ship4_hull.png", textureOf(256, [](float u, float v) {
        // Brushed plates with panel seams and a stripe of rivets.
        int pu = static_cast<int>(u * 8.0f), pv = static_cast<int>(v * 6.0f);
        float seamU = std::fmod(u * 8.0f, 1.0f), seamV = std::fmod(v * 6.0f, 1.0f);
        float seam = std::min({smoothstep(0.0f, 0.03f, seamU), smoothstep(1.0f, 0.97f, seamU), smoothstep(0.0f, 0.04f, seamV), smoothstep(1.0f, 0.96f, seamV)});
        float plate = 0.82f + 0.12f * hash01(pu, pv, 17);
        float brushed = 0.96f + 0.04f * perlin(u * 4.0f, v * 200.0f, 1.0f);
        Rgba c = scaled(hex(0xd8dce6), plate * brushed * (0.55f + 0.45f * seam));
        if (std::fabs(v - 0.5f) < 0.02f) c = mix(c, hex(0xe04a2a), 0.8f);
        return c;
    })});
    model.textures.push_back({"ship4_glass.png", textureOf(128, [](float u, float v) {
        float frame = std::fmod(u * 4.0f, 1.0f) < 0.05f ? 1.0f : 0.0f;
        return mix(mix(hex(0x2a4a7a), hex(0x9ad0ff), v * 0.6f + 0.2f * std::sin(u * 12.0f)), hex(0x404650), frame);
    })});
    model.textures.push_back({"ship4_engine.png", textureOf(128, [](float, float v) {
        // v is the disc's radius: a white-hot core through orange to a dark rim.
        Rgba c = mix(hex(0xfff6d0), hex(0xff8a2a), smoothstep(0.0f, 0.6f, v));
        return mix(c, hex(0x2a1a14), smoothstep(0.75f, 0.95f, v));
    })});
    model.textures.push_back({"ship4_spec.png", glossTexture(128, 0.9f, 9)});
    return model;
}

// =======================================================================================
// [SECTION] Tugboat
//
// A stubby harbour tug, 6 long, bow towards -z: red hull with a black band, white cabin
// and wheelhouse, a funnel.

BakedModel bakeTugBoat() {
    BakedModel model = emptyModel();
    const float length = 6.0f, beam = 1.3f, depth = 1.0f, sheer = 0.35f;
    ObjPart& hull = newPart(model, "hull", "hull");
    addSurface(hull, 20, 32, hullSurface(length, beam, depth, sheer));
    addSurface(hull, 20, 3, transom(hullSurface(length, beam, depth, sheer), sheer));
    ObjPart& deck = newPart(model, "deck", "deck");
    // The deck takes the plain lower band of the cabin texture.
    layDeck(deck, deckOutline(length, beam, 16), 0.0f, 0.1f, UvRect{{0.0f, 0.65f}, {1.0f, 0.95f}});
    ObjPart& cabin = newPart(model, "cabin", "cabin");
    addBox(cabin, {-0.8f, 0.1f, -0.6f}, {0.8f, 1.0f, 1.6f});
    addBox(cabin, {-0.6f, 1.0f, -0.4f}, {0.6f, 1.7f, 0.6f}, UvRect{{0.0f, 0.0f}, {1.0f, 0.5f}});
    ObjPart& funnel = newPart(model, "funnel", "funnel");
    addSurface(funnel, 16, 3, cylinder({0.0f, 0.0f, 1.1f}, 0.28f, 1.0f, 2.3f, 0.25f));
    addSurface(funnel, 16, 1, disc({0.0f, 2.3f, 1.1f}, 0.25f, true), UvRect{{0.0f, 0.0f}, {1.0f, 0.1f}});

    model.materials = {
        // name     ambient            diffuse            specular           Ns     diffuse map        specular map
        {"hull",   {0.3f, 0.1f, 0.1f}, {1.0f, 1.0f, 1.0f}, {0.4f, 0.4f, 0.4f}, 32.0f, "ship2_hull.png",  ""},
        {"deck",   {0.2f, 0.2f, 0.2f}, {0.7f, 0.7f, 0.7f}, {0.1f, 0.1f, 0.1f}, 8.0f,  "ship2_cabin.png", ""},
        {"cabin",  {0.3f, 0.3f, 0.3f}, {1.0f, 1.0f, 1.0f}, {0.3f, 0.3f, 0.3f}, 32.0f, "ship2_cabin.png", ""},
        {"funnel", {0.3f, 0.2f, 0.1f}, {1.0f, 1.0f, 1.0f}, {0.3f, 0.3f, 0.3f}, 32.0f, "ship2_funnel.png", ""},
    };
    model.textures.push_back({"ship2_hull.png", textureOf(128, [](float u, float) {
        // u runs from the port deck edge round the keel: white top, black band, red bottom.
        float fromDeck = std::min(u, 1.0f - u);
        if (fromDeck < 0.07f) return hex(0xf0f0ea);
        if (fromDeck < 0.12f) return hex(0x1a1a1e);
        return hex(0xb42a24);
    })});
    model.textures.push_back({"ship2_cabin.png", textureOf(128, [](float u, float v) {
        bool window = v > 0.25f && v < 0.55f && std::fmod(u * 5.0f, 1.0f) > 0.25f && std::fmod(u * 5.0f, 1.0f) < 0.75f;
        return window ? hex(0x2a4a6a) : hex(0xf2f0e8);
    })});
    model.textures.push_back({"ship2_funnel.png", textureOf(64, [](float, float v) {
        return v < 0.25f ? hex(0x1a1a1e) : (v < 0.45f ? hex(0xf0c020) : hex(0xb42a24));
    })});
    return model;
}

// =======================================================================================
// [SECTION] Rubber duck
//
// A classic bath duck, about 5 long and 4.5 tall, facing -z, resting on y = 0. Four of
// them are drawn every frame, each some hundred pixels tall, and every triangle corner
// is a vertex of its own once imported: the grids are as coarse as a smooth outline at
// that size allows.

BakedModel bakeRubberDuck() {
    BakedModel model = emptyModel();
    // The body: an egg with its back drawn up into a tail.
    addSurface(newPart(model, "body", "duckBody"), 32, 20, [](float u, float v) {
        Vec3 p = ellipsoid({0.0f, 1.25f, 0.15f}, {1.75f, 1.25f, 2.35f})(u, v);
        float back = smoothstep(0.6f, 2.4f, p.z) * smoothstep(1.0f, 2.3f, p.y);
        p.y += back * 0.9f;
        p.z += back * 0.25f;
        return p;
    });
    addSurface(newPart(model, "head", "duckHead"), 24, 16, ellipsoid({0.0f, 3.15f, -1.1f}, {1.1f, 1.05f, 1.1f}));
    addSurface(newPart(model, "beak", "duckBeak"), 16, 8, [](float u, float v) {
        Vec3 p = ellipsoid({0.0f, 2.85f, -2.15f}, {0.55f, 0.2f, 0.6f})(u, v);
        p.y += 0.1f * (p.z + 2.15f);  // tipped up a little at the front
        return p;
    });
    for (float side : {-1.0f, 1.0f}) {
        addSurface(newPart(model, side < 0.0f ? "eyeLeft" : "eyeRight", "duckEye"), 10, 8,
                   ellipsoid({side * 0.5f, 3.45f, -2.0f}, {0.17f, 0.2f, 0.17f}));
        ObjPart& wing = newPart(model, side < 0.0f ? "wingLeft" : "wingRight", "duckWing");
        addSurface(wing, 14, 8, ellipsoid({side * 1.62f, 1.55f, 0.35f}, {0.28f, 0.62f, 1.15f}));
    }

    model.materials = {
        // name        ambient              diffuse              specular             Ns     diffuse map        specular map
        {"duckBody", {0.3f, 0.25f, 0.05f}, {1.0f, 1.0f, 1.0f}, {0.5f, 0.5f, 0.5f}, 48.0f, "duck_skin.png",  "duck_gloss.png"},
        {"duckHead", {0.3f, 0.25f, 0.05f}, {1.0f, 1.0f, 1.0f}, {0.5f, 0.5f, 0.5f}, 48.0f, "duck_skin.png",  "duck_gloss.png"},
        {"duckWing", {0.3f, 0.22f, 0.05f}, {0.92f, 0.85f, 0.8f}, {0.4f, 0.4f, 0.4f}, 40.0f, "duck_skin.png", "duck_gloss.png"},
        {"duckBeak", {0.3f, 0.15f, 0.05f}, {1.0f, 1.0f, 1.0f}, {0.5f, 0.5f, 0.5f}, 48.0f, "duck_beak.png",  "duck_gloss.png"},
        {"duckEye",  {0.05f, 0.05f, 0.05f}, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, 128.0f, "duck_eye.png", "duck_gloss.png"},
    };
    model.textures.push_back({"duck_skin.png", textureOf(256, [](float u, float v) {
        // Yellow rubber, warmer underneath (v grows downwards), with a faint mould mottle.
        float mottle = fbmWrapXY(u * 8.0f, v * 8.0f, 2.0f, 8, 8, 3);
        Rgba c = mix(hex(0xffe14a), hex(0xf2a900), smoothstep(0.3f, 1.0f, v));
        return scaled(c, 0.96f + 0.06f * mottle);
    })});
    model.textures.push_back({"duck_beak.png", textureOf(128, [](float, float v) {
        // A darker line where the beak parts, round its middle (v = 0.5).
        Rgba c = mix(hex(0xff8a1a), hex(0xe8601a), v);
        return mix(c, hex(0x8a2a0a), smoothstep(0.06f, 0.0f, std::fabs(v - 0.5f)));
    })});
    model.textures.push_back({"duck_eye.png", textureOf(64, [](float u, float v) {
        // Black with a white glint; u = 0.75 faces the front (-z), v = 0.35 a little above the middle.
        float du = std::fabs(u - 0.75f) * 2.0f, dv = std::fabs(v - 0.35f);
        return smoothstep(0.16f, 0.1f, std::sqrt(du * du + dv * dv)) > 0.5f ? hex(0xffffff) : hex(0x101014);
    })});
    model.textures.push_back({"duck_gloss.png", glossTexture(128, 0.7f, 12)});
    return model;
}

}  // namespace bake
