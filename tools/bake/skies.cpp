// Sky recipes: the Helsinki dusk panorama rendered per cube-map face from one direction
// function, and the three city skies that the demo repeats on all six faces of a cube.
//
// [SECTION] Cube-map faces
// [SECTION] Helsinki panorama
// [SECTION] Sideways-tiling city skies (two-shed city, duck city, Tampere)
#include "recipes.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace bake {

// =======================================================================================
// [SECTION] Cube-map faces

// The direction a texel of a cube-map face stands for. The GL cube-map table selects a face
// by the major axis of the direction r and takes, with ma the major component,
//   face   sc    tc         face   sc    tc
//   +X    -rz   -ry         -X    +rz   -ry
//   +Y    +rx   +rz         -Y    +rx   -rz
//   +Z    +rx   -ry         -Z    -rx   -ry
// s = (sc / |ma| + 1) / 2 and t = (tc / |ma| + 1) / 2. glTexImage2D takes the first row in
// memory as t = 0, and the demo decodes cube faces with stb_image's flip off, so the first
// row in memory is the top row of the file: row 0 is t = 0, tc = -1. On the side faces that
// row is ry = +1, the top of the world, so the faces are drawn upright as they are stored.
// Solving the table for r gives the directions below (sc, tc in [-1, 1]).
static Vec3 cubeFaceDirection(int face, float sc, float tc) {
    switch (face) {
        case 0: return normalize({1.0f, -tc, -sc});    // +X, right
        case 1: return normalize({-1.0f, -tc, sc});    // -X, left
        case 2: return normalize({sc, 1.0f, tc});      // +Y, top
        case 3: return normalize({sc, -1.0f, -tc});    // -Y, bottom
        case 4: return normalize({sc, -tc, 1.0f});     // +Z, front
        default: return normalize({-sc, -tc, -1.0f});  // -Z, back
    }
}

// Renders one face; texels near the horizon, where the skyline's edges are, get 2x2 samples.
static Canvas renderCubeFace(int face, int size, Rgba (*skyAt)(Vec3 direction, float texelAngle)) {
    Canvas canvas = makeCanvas(size, size, Rgba{});
    const float texelAngle = 2.0f / size;  // radians per texel at the face centre
    for (int row = 0; row < size; ++row)
        for (int col = 0; col < size; ++col) {
            float sc = 2.0f * (col + 0.5f) / size - 1.0f, tc = 2.0f * (row + 0.5f) / size - 1.0f;
            Vec3 d = cubeFaceDirection(face, sc, tc);
            // Only the band from just below the horizon to the top of the dome has edges
            // sharp enough to need more than one sample.
            if (d.y < -0.02f || d.y > 0.34f) {
                pixelAt(canvas, col, row) = skyAt(d, texelAngle);
                continue;
            }
            Rgba sum{0.0f, 0.0f, 0.0f, 0.0f};
            for (int k = 0; k < 4; ++k) {
                float ds = ((k & 1) ? 0.25f : -0.25f) * 2.0f / size, dt = ((k & 2) ? 0.25f : -0.25f) * 2.0f / size;
                Rgba c = skyAt(cubeFaceDirection(face, sc + ds, tc + dt), texelAngle);
                sum = {sum.r + c.r * 0.25f, sum.g + c.g * 0.25f, sum.b + c.b * 0.25f, 1.0f};
            }
            pixelAt(canvas, col, row) = sum;
        }
    return canvas;
}

// =======================================================================================
// [SECTION] Helsinki panorama
//
// A summer dusk seen from the harbour: the sun just set in the north-west, the cathedral on
// its hill straight ahead (+Z), the station tower and the harbour wheel on either side, the
// port cranes to the right, open sea with the fortress islands and a lighthouse behind.
// Everything near the horizon is laid out in degrees: x = azimuth (0 at +Z, +90 at +X),
// y = elevation (0 at the horizon).

constexpr int kHelsinkiFaceSize = 1024;
constexpr float kDeg = kPi / 180.0f;

struct Building {
    float left, right;  // azimuth, degrees
    float top;          // elevation of the roof line, degrees
    int roof;           // 0 flat, 1 pitched, 2 small spire
    int seed;
    float litShare;     // share of windows lit
};

struct Skyline {
    std::vector<Building> buildings;
    std::vector<short> byBin;  // building index per kBinsPerDegree of azimuth, -1 for none
};

constexpr float kBinsPerDegree = 20.0f;
constexpr float kSkylineFrom = -110.0f, kSkylineTo = 120.0f;

static Skyline makeSkyline(int seed, float minTop, float maxTop, float minWidth, float maxWidth, float gapShare) {
    Skyline s;
    float az = kSkylineFrom;
    int n = 0;
    while (az < kSkylineTo) {
        float w = lerp(minWidth, maxWidth, hash01(n, 1, seed));
        // Tall blocks cluster in the centre and around the port; the ends of the city taper.
        float centre = std::exp(-std::pow((az - 15.0f) / 70.0f, 2.0f));
        float top = lerp(minTop, maxTop, hash01(n, 2, seed) * (0.45f + 0.55f * centre));
        float taper = smoothstep(kSkylineFrom, kSkylineFrom + 20.0f, az) * (1.0f - smoothstep(kSkylineTo - 25.0f, kSkylineTo, az));
        if (hash01(n, 3, seed) > gapShare)
            s.buildings.push_back({az, az + w, top * (0.35f + 0.65f * taper), hash01(n, 4, seed) < 0.2f ? 1 : (hash01(n, 5, seed) < 0.06f ? 2 : 0),
                                   seed * 1000 + n, 0.25f + 0.4f * hash01(n, 6, seed)});
        az += w;
        ++n;
    }
    int bins = static_cast<int>((kSkylineTo - kSkylineFrom + 10.0f) * kBinsPerDegree);
    s.byBin.assign(bins, -1);
    for (size_t i = 0; i < s.buildings.size(); ++i) {
        const Building& b = s.buildings[i];
        int b0 = static_cast<int>((b.left - kSkylineFrom) * kBinsPerDegree);
        int b1 = static_cast<int>((b.right - kSkylineFrom) * kBinsPerDegree);
        for (int k = std::max(0, b0); k <= std::min(bins - 1, b1); ++k) s.byBin[k] = static_cast<short>(i);
    }
    return s;
}

static const Skyline& backSkyline() {
    static const Skyline s = makeSkyline(11, 2.5f, 9.0f, 1.6f, 4.5f, 0.05f);
    return s;
}

static const Skyline& frontSkyline() {
    static const Skyline s = makeSkyline(23, 1.2f, 4.5f, 2.0f, 5.5f, 0.25f);
    return s;
}

// Coverage of a building column at (x, y) with antialiasing width `aa` (degrees), and the
// building's index; windows are drawn by the caller.
static const Building* buildingAt(const Skyline& s, float x, float y, float aa, float& coverage) {
    coverage = 0.0f;
    int bin = static_cast<int>((x - kSkylineFrom) * kBinsPerDegree);
    if (bin < 0 || bin >= static_cast<int>(s.byBin.size()) || s.byBin[bin] < 0) return nullptr;
    const Building& b = s.buildings[s.byBin[bin]];
    float top = b.top;
    float mid = (b.left + b.right) * 0.5f, half = (b.right - b.left) * 0.5f;
    if (b.roof == 1) top += (half - std::fabs(x - mid)) * 0.6f;
    if (b.roof == 2 && std::fabs(x - mid) < half * 0.12f) top += 3.0f * (1.0f - std::fabs(x - mid) / (half * 0.12f));
    float side = std::min(x - b.left, b.right - x);
    coverage = smoothstep(-aa, aa, top - y) * smoothstep(-aa, aa, side) * smoothstep(-aa, aa, y + 0.2f);
    return &b;
}

// Window lights of a building: a grid of cells, some lit, in warm or cool tones.
static float windowLight(const Building& b, float x, float y, float aa, Rgba& tone) {
    const float cellW = 0.42f, cellH = 0.55f;
    float cx = (x - b.left) / cellW, cy = y / cellH;
    int ix = static_cast<int>(std::floor(cx)), iy = static_cast<int>(std::floor(cy));
    if (y > b.top - 0.35f || iy < 1) return 0.0f;
    float h = hash01(ix, iy, b.seed);
    if (h > b.litShare) return 0.0f;
    float fx = cx - ix, fy = cy - iy;
    float edge = aa / cellW;
    float inside = smoothstep(0.22f - edge, 0.22f + edge, fx) * smoothstep(0.22f - edge, 0.22f + edge, 1.0f - fx) *
                   smoothstep(0.28f - edge, 0.28f + edge, fy) * smoothstep(0.28f - edge, 0.28f + edge, 1.0f - fy);
    tone = hash01(ix, iy, b.seed + 7) < 0.8f ? mix(hex(0xffc56b), hex(0xffe6a8), h / b.litShare) : hex(0xcfe6ff);
    return inside * (0.6f + 0.4f * hash01(ix, iy, b.seed + 3));
}

static float roundedBox(float x, float y, float cx, float cy, float hw, float hh) {
    float qx = std::fabs(x - cx) - hw, qy = std::fabs(y - cy) - hh;
    return std::sqrt(std::max(qx, 0.0f) * std::max(qx, 0.0f) + std::max(qy, 0.0f) * std::max(qy, 0.0f)) +
           std::min(std::max(qx, qy), 0.0f);
}

// The cathedral: white colonnade on a broad stair, a green main dome on a drum with a
// lantern, four small corner domes. Returns coverage and writes the colour.
static float cathedralAt(float x, float y, float aa, Rgba& colour) {
    float best = 0.0f;
    auto layer = [&](float distance, Rgba c) {
        float cov = smoothstep(aa, -aa, distance);
        if (cov > 0.0f) {
            colour = best > 0.0f ? mix(colour, c, cov) : c;
            best = std::max(best, cov);
        }
    };
    const Rgba stone = hex(0xe9e2d0), shadowStone = hex(0xb9b2a8), copper = hex(0x5f9c86);
    float floodlight = 0.82f + 0.18f * smoothstep(12.0f, 2.0f, y);  // lit from the square below
    layer(roundedBox(x, y, 0.0f, 0.9f, 12.0f, 0.9f), scaled(shadowStone, 0.85f));                 // stair
    layer(roundedBox(x, y, 0.0f, 5.2f, 9.0f, 3.4f), scaled(stone, floodlight));                  // body
    layer(roundedBox(x, y, 0.0f, 6.0f, 4.2f, 2.6f), scaled(stone, floodlight * 1.03f));           // portico
    // Darker gaps between the six columns of the portico.
    float colPhase = (x + 4.2f) / (8.4f / 6.0f);
    if (std::fabs(x) < 4.0f && y > 3.6f && y < 7.4f && std::fabs(colPhase - std::floor(colPhase) - 0.5f) < 0.18f)
        layer(-1.0f, scaled(shadowStone, 0.7f));
    // The pediment, a low triangle above the portico.
    float pedY = 8.6f + 1.6f * (1.0f - std::fabs(x) / 4.6f);
    layer(std::max(std::fabs(x) - 4.6f, y - pedY), scaled(stone, floodlight));
    layer(roundedBox(x, y, 0.0f, 10.3f, 3.4f, 1.9f), scaled(stone, floodlight * 0.97f));           // drum
    float domeR = 3.6f;
    layer(std::sqrt(x * x / (domeR * domeR) + std::pow(std::max(0.0f, y - 12.0f) / 4.6f, 2.0f)) * domeR - domeR +
              (y < 12.0f ? 10.0f : 0.0f),
          copper);
    layer(roundedBox(x, y, 0.0f, 17.1f, 0.45f, 0.7f), scaled(stone, 0.9f));                         // lantern
    layer(roundedBox(x, y, 0.0f, 18.3f, 0.08f, 0.6f), hex(0xd9c27a));                               // cross
    for (float side : {-7.2f, 7.2f}) {
        layer(roundedBox(x, y, side, 9.6f, 1.0f, 0.9f), scaled(stone, floodlight));
        float r = std::sqrt((x - side) * (x - side) / 1.0f + std::pow(std::max(0.0f, y - 10.4f) / 1.5f, 2.0f));
        layer((r - 1.0f) + (y < 10.4f ? 10.0f : 0.0f), copper);
        layer(roundedBox(x, y, side, 12.1f, 0.05f, 0.35f), hex(0xd9c27a));
    }
    // A few lit windows in the drum.
    if (std::fabs(y - 10.3f) < 0.7f && std::fabs(x) < 3.0f && std::fabs(std::fmod(x + 30.0f, 1.0f) - 0.5f) < 0.16f)
        layer(-1.0f, hex(0xffd58a));
    return best;
}

// The station tower with its clock, right of the cathedral.
static float stationTowerAt(float x, float y, float aa, Rgba& colour) {
    const float cx = 34.0f;
    if (std::fabs(x - cx) > 1.5f || y > 12.0f) return 0.0f;
    float d = std::min(roundedBox(x, y, cx, 5.0f, 0.9f, 5.0f), roundedBox(x, y, cx, 10.6f, 0.55f, 0.8f));
    float cov = smoothstep(aa, -aa, d);
    colour = hex(0x3a3440);
    float clock = smoothstep(aa, -aa, std::sqrt((x - cx) * (x - cx) + (y - 8.4f) * (y - 8.4f)) - 0.5f);
    colour = mix(colour, hex(0xfff0c8), clock);
    return cov;
}

// The harbour wheel: a ring with spokes and lit gondolas.
constexpr float kWheelX = -38.0f, kWheelY = 5.2f, kWheelR = 4.2f;
constexpr int kGondolas = 16;

struct Gondolas {
    float x[kGondolas], y[kGondolas];
};

// Where the gondolas hang is the same for every sample: worked out once.
static Gondolas hangGondolas() {
    Gondolas g;
    for (int k = 0; k < kGondolas; ++k) {
        float a = k * 2.0f * kPi / 16.0f;
        g.x[k] = kWheelX + kWheelR * std::cos(a), g.y[k] = kWheelY + kWheelR * std::sin(a) - 0.25f;
    }
    return g;
}

static const Gondolas kGondolaAt = hangGondolas();

static float wheelAt(float x, float y, float aa, Rgba& colour) {
    const float cx = kWheelX, cy = kWheelY, r = kWheelR;
    if (std::fabs(x - cx) > r + 0.6f || y > cy + r + 0.6f) return 0.0f;
    float dx = x - cx, dy = y - cy;
    float dist = std::sqrt(dx * dx + dy * dy);
    float ring = std::fabs(dist - r) - 0.09f;
    float angle = std::atan2(dy, dx);
    float spokePhase = angle / (2.0f * kPi) * 16.0f;
    float spoke = dist < r ? std::fabs(spokePhase - std::round(spokePhase)) * 2.0f * kPi / 16.0f * dist - 0.03f : 1.0f;
    float legs = std::min(std::fabs(x - cx - (cy - y) * 0.45f), std::fabs(x - cx + (cy - y) * 0.45f)) - 0.08f;
    if (y > cy || y < 0.0f) legs = 1.0f;
    float structure = smoothstep(aa, -aa, std::min({ring, spoke, legs}));
    float gondola = 0.0f;
    for (int k = 0; k < kGondolas; ++k) {
        float gx = kGondolaAt.x[k], gy = kGondolaAt.y[k];
        gondola = std::max(gondola, smoothstep(aa, -aa, roundedBox(x, y, gx, gy, 0.16f, 0.18f)));
    }
    colour = mix(hex(0xf2f0ff), hex(0xffd27a), gondola > 0.0f ? 1.0f : 0.0f);
    return std::max(structure * 0.85f, gondola);
}

// Port cranes on the right: lattice towers with long jibs.
static float cranesAt(float x, float y, float aa, Rgba& colour) {
    colour = hex(0x262a3e);
    float best = 0.0f;
    if (x < 74.0f || x > 102.0f || y > 9.5f) return 0.0f;
    for (float cx : {78.0f, 86.5f, 95.0f}) {
        float mast = std::max(std::fabs(x - cx) - 0.18f, y - 9.0f);
        float jib = std::max(std::fabs(y - 8.6f) - 0.12f, std::max(cx - 3.0f - x, x - cx - 6.5f));
        float cable = std::max(std::fabs(x - (cx + 4.8f)) - 0.03f, std::max(y - 8.6f, 4.0f - y));
        float d = std::min({mast, jib, cable});
        if (y < 0.0f) d = 1.0f;
        best = std::max(best, smoothstep(aa, -aa, d));
    }
    return best;
}

static Vec3 sunDirection() {
    float az = -62.0f * kDeg, el = -2.5f * kDeg;
    return {std::sin(az) * std::cos(el), std::sin(el), std::cos(az) * std::cos(el)};
}

// The sun and the moon stand still: worked out once rather than for each of the millions
// of samples that look at them.
static const Vec3 kSun = sunDirection();
static const float kSunAzimuthDeg = std::atan2(kSun.x, kSun.z) / kDeg;
static const Vec3 kMoon = normalize({0.78f, 0.42f, -0.46f});
static const Vec3 kMoonShadowCentre = normalize(kMoon + Vec3{0.012f, 0.008f, 0.01f});
constexpr float kMoonR = 1.3f * kDeg;
// Below this cosine a direction is well outside the moon's glow (four radii), with room to
// spare for rounding, so the arc cosine that measures the distance can be skipped.
static const float kMoonGlowCos = std::cos(kMoonR * 4.0f) - 1e-3f;

// Elevation in degrees of a unit direction.
static float elevationDeg(Vec3 d) { return std::asin(std::max(-1.0f, std::min(1.0f, d.y))) / kDeg; }

// Sky colour, with clouds, moon and stars, for a direction above the horizon (or its
// mirror image, for the sea); elDeg is elevationDeg(d).
static Rgba helsinkiSkyAbove(Vec3 d, float elDeg, float aa, bool withStars) {
    Vec3 sun = kSun;
    float toSun = std::acos(std::max(-1.0f, std::min(1.0f, dot(d, sun))));
    // The sun's own glow shows below 12 degrees and in lit clouds; elsewhere it would be
    // added times zero, and its exponential is left out.
    auto sunGlow = [&] { return std::exp(-toSun * toSun / 0.35f); };
    const float sunCoreShare = 1.0f - smoothstep(0.0f, 12.0f, elDeg);
    float glow = sunCoreShare > 0.0f ? sunGlow() : 0.0f;
    // The wide glow tints the sky below 40 degrees, and dims the stars.
    float wideGlow = elDeg < 40.0f || withStars ? std::exp(-toSun * toSun / 2.2f) : 0.0f;

    const Rgba zenith = hex(0x0c1233), high = hex(0x25306a), low = hex(0x7c5a93), horizonAway = hex(0xc07a8c);
    const Rgba horizonSun = hex(0xffa45c), sunCore = hex(0xfff0c0);
    Rgba c = mix(high, zenith, smoothstep(20.0f, 80.0f, elDeg));
    c = mix(low, c, smoothstep(2.0f, 26.0f, elDeg));
    c = mix(horizonAway, c, smoothstep(0.0f, 9.0f, elDeg));
    if (elDeg < 40.0f) {  // above, the warm tint is mixed in times zero
        Rgba warm = mix(horizonSun, hex(0xd0708a), smoothstep(0.0f, 18.0f, elDeg));
        c = mix(c, warm, wideGlow * (1.0f - smoothstep(4.0f, 40.0f, elDeg)) * 0.85f);
    }
    if (sunCoreShare > 0.0f) c = added(c, sunCore, glow * 0.6f * sunCoreShare);

    // Stratus streaks, squashed noise in direction space so no seam can show.
    if (elDeg > 1.0f && elDeg < 40.0f) {
        float n = fbm(d.x * 2.6f + 3.1f, d.y * 14.0f, d.z * 2.6f - 1.7f, 5);
        float density = smoothstep(0.05f, 0.35f, n) * smoothstep(1.0f, 6.0f, elDeg) * (1.0f - smoothstep(22.0f, 40.0f, elDeg));
        if (density > 0.0f) {
            if (sunCoreShare <= 0.0f) glow = sunGlow();
            Rgba lit = mix(hex(0x54487a), hex(0xff9e7a), std::pow(wideGlow, 0.7f));
            lit = mix(lit, hex(0xffd8a8), glow * 0.7f);
            c = mix(c, lit, density * 0.8f);
        }
    }

    // A thin crescent moon high in the south-east.
    const float moonR = kMoonR;
    float toMoon = dot(d, kMoon);
    float moonDist = toMoon < kMoonGlowCos ? moonR * 4.0f : std::acos(std::max(-1.0f, std::min(1.0f, toMoon)));
    if (moonDist < moonR * 4.0f) {
        Vec3 shadowCentre = kMoonShadowCentre;
        float shadowDist = std::acos(std::max(-1.0f, std::min(1.0f, dot(d, shadowCentre))));
        float disc = smoothstep(moonR + aa, moonR - aa, moonDist) * smoothstep(moonR * 0.92f - aa, moonR * 0.92f + aa, shadowDist);
        c = mix(c, hex(0xfff6dc), disc);
        c = added(c, hex(0x4a4a70), std::exp(-moonDist * moonDist / (moonR * moonR * 6.0f)) * 0.35f);
    }

    // Stars on a 3D grid of cells, fading in with height and away from the sunset.
    float starShare = withStars ? smoothstep(14.0f, 45.0f, elDeg) * (1.0f - wideGlow) : 0.0f;
    if (starShare > 0.0f) {
        const float cells = 140.0f;
        Vec3 p = d * cells;
        int ix = static_cast<int>(std::floor(p.x)), iy = static_cast<int>(std::floor(p.y)), iz = static_cast<int>(std::floor(p.z));
        int seed = iz * 7919;
        if (hash01(ix, iy, seed) < 0.09f) {
            Vec3 star{ix + hash01(ix, iy, seed + 1), iy + hash01(ix, iy, seed + 2), iz + hash01(ix, iy, seed + 3)};
            float dist = length(p - star) / cells;
            float size = aa * 0.8f;
            float bright = hash01(ix, iy, seed + 4);
            c = added(c, mix(hex(0xbfd4ff), hex(0xfff2d8), bright), starShare * bright * std::exp(-dist * dist / (size * size)));
        }
    }
    return c;
}

// Skyline layers over the sky for a point (x, y) in degrees; returns coverage of anything
// solid and its colour.
static float helsinkiSkylineAt(float x, float y, float aa, Rgba& colour, Rgba sky) {
    if (y > 20.0f || y < -0.6f) return 0.0f;
    while (x > 180.0f) x -= 360.0f;
    while (x < -180.0f) x += 360.0f;
    // Away from the cathedral nothing stands above 12 degrees: the tallest block with a
    // spire, the station tower. Above that, with room for the antialiasing, nothing covers.
    if (std::fabs(x) >= 14.0f && y > 13.0f + aa) return 0.0f;
    float covered = 0.0f;
    colour = sky;
    auto over = [&](float cov, Rgba c) {
        if (cov <= 0.0f) return;
        colour = mix(colour, c, cov);
        covered = covered + cov * (1.0f - covered);
    };
    // Far blocks, hazy with the sky colour.
    float cov = 0.0f;
    if (const Building* b = buildingAt(backSkyline(), x, y, aa, cov)) {
        Rgba body = mix(hex(0x2a2c4a), sky, 0.35f);
        Rgba tone;
        float lit = windowLight(*b, x, y, aa, tone);
        over(cov, mix(body, scaled(tone, 0.8f), lit * 0.7f));
    }
    Rgba c;
    if (float k = cranesAt(x, y, aa, c)) over(k, c);
    if (float k = wheelAt(x, y, aa, c)) over(k, c);
    if (float k = stationTowerAt(x, y, aa, c)) over(k, c);
    if (std::fabs(x) < 14.0f)
        if (float k = cathedralAt(x, y, aa, c)) over(k, c);
    // Near blocks along the waterfront, darker, more lights; the cathedral square stays open.
    if (std::fabs(x) > 13.0f)
        if (const Building* b = buildingAt(frontSkyline(), x, y, aa, cov)) {
            Rgba body = hex(0x171a2c);
            Rgba tone;
            float lit = windowLight(*b, x, y, aa, tone);
            over(cov, mix(body, tone, lit));
        }
    // The quay: a dark strip with a row of lamps, wherever the city stands.
    float cityShare = smoothstep(kSkylineFrom - 2.0f, kSkylineFrom + 4.0f, x) * smoothstep(kSkylineTo + 2.0f, kSkylineTo - 4.0f, x);
    if (cityShare > 0.0f && y < 0.0f) {
        over(cityShare * smoothstep(-0.45f - aa, -0.45f + aa, y), hex(0x14151f));
        float lamp = std::fabs(std::fmod(x + 400.0f, 1.3f) - 0.65f);
        float lampCov = smoothstep(0.09f + aa, 0.09f - aa, std::sqrt(lamp * lamp + (y + 0.15f) * (y + 0.15f)));
        over(lampCov * cityShare, hex(0xffd9a0));
    }
    return covered;
}

// Islands and the lighthouse on the open-sea side.
static float helsinkiIslandsAt(float x, float y, float aa, Rgba& colour) {
    if (x < 0.0f) x += 360.0f;
    if (x < kSkylineTo || x > 360.0f + kSkylineFrom) return 0.0f;
    // Nothing here rises past 3.5 degrees (the lighthouse lamp's top); most of the sky and
    // of its reflection is far above.
    if (y > 4.0f + aa) return 0.0f;
    float hills = 0.9f * smoothstep(0.0f, 1.0f, std::sin((x - kSkylineTo) * 0.05f) * 0.5f + 0.5f) *
                  (0.6f + 0.4f * perlin(x * 0.21f, 0.5f, 0.3f));
    // Fortress walls: low flat stretches with notches.
    if (x > 185.0f && x < 215.0f) hills = std::max(hills, 0.7f + 0.15f * (std::fmod(x, 2.0f) < 1.0f ? 1.0f : 0.0f));
    float cov = smoothstep(-aa, aa, hills - y) * smoothstep(-aa, aa, y + 0.1f);
    colour = hex(0x141628);
    // Lighthouse
    const float lx = 168.0f;
    float tower = std::max(std::fabs(x - lx) - 0.22f + y * 0.02f, std::max(y - 3.0f, -y));
    float towerCov = smoothstep(aa, -aa, tower);
    if (towerCov > 0.0f) {
        float stripe = std::fmod(y, 1.0f) < 0.5f ? 1.0f : 0.0f;
        colour = mix(colour, mix(hex(0xd8d4de), hex(0xa03040), stripe), towerCov);
        cov = std::max(cov, towerCov);
    }
    float lamp = std::sqrt((x - lx) * (x - lx) + (y - 3.25f) * (y - 3.25f));
    float lampCov = smoothstep(0.25f + aa, 0.25f - aa, lamp);
    if (lampCov > 0.0f) {
        colour = mix(colour, hex(0xfff4c0), lampCov);
        cov = std::max(cov, lampCov);
    }
    // A ferry on its way out, lit decks.
    const float fx = 142.0f;
    float hull = roundedBox(x, y, fx, 0.35f, 4.5f, 0.35f);
    float cabin = roundedBox(x, y, fx + 0.5f, 1.1f, 3.2f, 0.45f);
    float funnel = roundedBox(x, y, fx + 1.8f, 1.9f, 0.3f, 0.4f);
    float ferry = smoothstep(aa, -aa, std::min({hull, cabin, funnel}));
    if (ferry > 0.0f) {
        Rgba f = hex(0xdfe3f0);
        if (cabin < 0.0f && std::fabs(std::fmod(x + 500.0f, 0.45f) - 0.22f) < 0.12f && std::fabs(std::fmod(y, 0.45f) - 0.22f) < 0.12f)
            f = hex(0xffe2a0);
        if (hull < 0.0f && y < 0.2f) f = hex(0x1b2a52);
        colour = mix(colour, f, ferry);
        cov = std::max(cov, ferry);
    }
    return cov;
}

// The whole panorama for one direction: sky, islands and city above the waterline; below
// it the sea, which mirrors all of that through ripples.
static Rgba helsinkiAt(Vec3 d, float texelAngle) {
    float aa = texelAngle / kDeg * 0.7f;
    float y = elevationDeg(d);
    // Nothing of the islands or the city reaches 20 degrees: up there the sky alone shows,
    // and the azimuth is not needed.
    if (y > 20.0f) return helsinkiSkyAbove(d, y, texelAngle, true);
    float x = std::atan2(d.x, d.z) / kDeg;
    if (y >= -0.6f) {
        Rgba sky = helsinkiSkyAbove(d, y, texelAngle, true);
        Rgba c = sky;
        Rgba island;
        float k = helsinkiIslandsAt(x, y, aa, island);
        c = mix(c, island, k);
        Rgba city;
        float cityCov = helsinkiSkylineAt(x, y, aa, city, c);
        c = mix(c, city, cityCov > 0.0f ? 1.0f : 0.0f);
        if (y >= 0.0f || cityCov > 0.0f || k > 0.0f) return c;
    }
    // The sea: the mirrored sky and skyline, broken up by ripples that grow towards the viewer.
    float depth = -y;
    float rippleX = fbm(x * 0.35f, depth * 3.0f, 0.5f, 3) * (0.15f + depth * 0.08f);
    float rippleY = fbm(x * 0.8f + 11.0f, depth * 6.0f, 1.5f, 3) * (0.05f + depth * 0.05f);
    float ry = std::max(0.0f, depth * 0.9f + rippleY);
    float rx = x + rippleX * 6.0f;
    Vec3 mirrored = normalize({std::sin(rx * kDeg) * std::cos(ry * kDeg), std::sin(ry * kDeg), std::cos(rx * kDeg) * std::cos(ry * kDeg)});
    Rgba refl = helsinkiSkyAbove(mirrored, elevationDeg(mirrored), texelAngle * 2.0f, false);
    Rgba solid;
    float k = helsinkiIslandsAt(rx, ry, aa * 2.0f, solid);
    refl = mix(refl, solid, k);
    float cityCov = helsinkiSkylineAt(rx, ry, aa * 2.0f, solid, refl);
    refl = mix(refl, solid, cityCov);
    // Grazing water reflects nearly all; looking down it turns to deep blue-black.
    float fresnel = 0.25f + 0.6f * std::exp(-depth / 7.0f);
    Rgba deep = mix(hex(0x0b1530), hex(0x04060d), smoothstep(5.0f, 80.0f, depth));
    Rgba c = mix(deep, refl, fresnel);
    // Sparkle: small bright ripple crests catching the sunset; none on water facing away.
    float sunward = std::max(0.0f, std::cos((x - kSunAzimuthDeg) * kDeg));
    float towardsSun = std::pow(sunward, 8.0f);
    if (towardsSun == 0.0f) return c;
    float crest = smoothstep(0.55f, 0.8f, perlin(x * 3.0f, depth * 9.0f, 2.0f));
    if (crest == 0.0f) return c;
    float sparkle = crest * std::exp(-depth / 5.0f);
    return added(c, hex(0xffb070), sparkle * towardsSun * 0.6f);
}

Canvas bakeHelsinkiRight(const Fonts&) { return renderCubeFace(0, kHelsinkiFaceSize, &helsinkiAt); }
Canvas bakeHelsinkiLeft(const Fonts&) { return renderCubeFace(1, kHelsinkiFaceSize, &helsinkiAt); }
Canvas bakeHelsinkiTop(const Fonts&) { return renderCubeFace(2, kHelsinkiFaceSize, &helsinkiAt); }
Canvas bakeHelsinkiBottom(const Fonts&) { return renderCubeFace(3, kHelsinkiFaceSize, &helsinkiAt); }
Canvas bakeHelsinkiFront(const Fonts&) { return renderCubeFace(4, kHelsinkiFaceSize, &helsinkiAt); }
Canvas bakeHelsinkiBack(const Fonts&) { return renderCubeFace(5, kHelsinkiFaceSize, &helsinkiAt); }

// =======================================================================================
// [SECTION] Sideways-tiling city skies
//
// The demo puts one image on all six faces of these cubes. Round the four side faces the
// right edge of one face meets the left edge of the next with its rows level (+Z, +X, -Z,
// -X, back to +Z), so an image that tiles sideways closes into one continuous horizon: every
// shape is drawn three times, shifted by one width either way, and the noise repeats across
// the width. The top and bottom faces cannot line up with that strip; both bands fade into
// one colour, so the seams where a top or bottom edge meets a top or bottom edge vanish.

//
// They are laid out in the pixels of a 512-pixel face and baked at twice that: a face spans
// about 1300 screen pixels at the demo's field of view. kPx is one layout pixel.

constexpr int kCitySkySize = 1024;
constexpr float kPx = kCitySkySize / 512.0f;

template <typename Draw>
static void wrapped(float width, Draw draw) {
    for (float dx : {-width, 0.0f, width}) draw(dx);
}

static Rgba sampleRowWrapped(const Canvas& c, float x, int y) {
    float fx = x - std::floor(x / c.width) * c.width - 0.5f;
    int x0 = static_cast<int>(std::floor(fx));
    float t = fx - x0;
    int a = (x0 % c.width + c.width) % c.width, b = (a + 1) % c.width;
    return mix(pixelAt(c, a, y), pixelAt(c, b, y), t);
}

// Water below `horizon`: the scene above, mirrored and pulled sideways by ripples that grow
// towards the viewer, fading into the water colour with depth.
static void reflectInWater(Canvas& c, int horizon, Rgba water, float keep, float ripple, int seed) {
    // Rows above the horizon are read and rows below it written, so the scene is read in
    // place; only a horizon at the very top reads a row it writes, and needs a copy.
    Canvas copy;
    const Canvas& above = horizon > 0 ? c : (copy = c);
    for (int y = horizon; y < c.height; ++y) {
        float depth = (y - horizon + 0.5f) / (c.height - horizon);
        int sy = std::max(0, horizon - 1 - static_cast<int>((y - horizon) * 1.15f));
        for (int x = 0; x < c.width; ++x) {
            float n = fbmWrapX(x * 16.0f / c.width, y * 0.35f / kPx, seed * 1.7f, 16, 3);
            float offset = n * ripple * kPx * (0.2f + 2.5f * depth);
            Rgba mirrored = sampleRowWrapped(above, x + 0.5f + offset, sy);
            float k = keep * (1.0f - 0.75f * depth) * (0.85f + 0.3f * n);
            pixelAt(c, x, y) = mix(water, mirrored, clamp01(k));
        }
    }
}

// Lit windows in a grid over a facade, some dark; `lit` and `warm` are the shares.
static void addWindows(Mask& mask, Vec2 min, Vec2 max, float cellW, float cellH, float fill, float lit, int seed) {
    cellW *= kPx;
    cellH *= kPx;
    int cols = static_cast<int>((max.x - min.x) / cellW), rows = static_cast<int>((max.y - min.y) / cellH);
    float ox = min.x + (max.x - min.x - cols * cellW) * 0.5f;
    for (int r = 0; r < rows; ++r)
        for (int q = 0; q < cols; ++q) {
            if (hash01(q, r, seed) > lit) continue;
            float x0 = ox + q * cellW + cellW * (1.0f - fill) * 0.5f, y0 = min.y + r * cellH + cellH * (1.0f - fill) * 0.5f;
            addRect(mask, {x0, y0}, {x0 + cellW * fill, y0 + cellH * fill * 0.9f});
        }
}

static Canvas skyGradient(int size, Rgba top, Rgba middle, Rgba horizon, float middleAt, float horizonAt) {
    Canvas c = makeCanvas(size, size, top);
    shadeCanvas(c, [&](float, float y) {
        float v = y / size;
        if (v < middleAt) return mix(top, middle, smoothstep(0.0f, middleAt, v));
        return mix(middle, horizon, smoothstep(middleAt, horizonAt, v));
    });
    return c;
}

static void addStars(Canvas& c, float untilY, int count, int seed) {
    Mask stars = makeMask(c.width, c.height);
    for (int i = 0; i < count; ++i) {
        float x = hash01(i, 1, seed) * c.width, y = hash01(i, 2, seed) * untilY * hash01(i, 3, seed);
        wrapped(static_cast<float>(c.width), [&](float dx) { addCircle(stars, {x + dx, y}, (0.5f + 0.7f * hash01(i, 4, seed)) * kPx); });
    }
    paintMask(c, stars, hex(0xf4f0ff, 0.8f));
}

// A plume of smoke from (x, y) drifting right and up, lit from below by `glow`.
static void addSmoke(Canvas& c, Vec2 from, float length, int seed, Rgba lit, Rgba dark) {
    Mask puff = makeMask(c.width, c.height);
    for (int i = 0; i < 26; ++i) {
        float t = i / 25.0f;
        float x = from.x + t * length + perlin(t * 3.0f, 0.5f, seed * 1.3f) * 10.0f * kPx;
        float y = from.y - t * length * 0.22f - (std::sqrt(t) * 18.0f - perlin(t * 4.0f, 1.5f, seed * 1.3f) * 6.0f) * kPx;
        float r = (5.0f + t * 20.0f) * kPx;
        wrapped(static_cast<float>(c.width), [&](float dx) { addCircle(puff, {x + dx, y}, r); });
    }
    Mask soft = blurredMask(puff, static_cast<int>(4 * kPx), true);
    paintMask(c, soft, [&](float x, float y) {
        float n = fbmWrapX(x * 8.0f / c.width, y * 8.0f / c.height, seed * 0.37f, 8, 4);
        float shade = clamp01((y - (from.y - 60.0f * kPx)) / (70.0f * kPx));
        return withAlpha(mix(dark, lit, shade), clamp01(0.55f + n * 0.8f) * 0.8f);
    });
}

// A tapered chimney with a dark band near the top; returns its top centre.
static Vec2 addChimney(Mask& body, Mask& band, float cx, float ground, float height, float baseWidth, float topWidth) {
    baseWidth *= kPx;
    topWidth *= kPx;
    float top = ground - height;
    wrapped(static_cast<float>(kCitySkySize), [&](float dx) {
        addPolygon(body, {{cx + dx - baseWidth * 0.5f, ground}, {cx + dx + baseWidth * 0.5f, ground},
                          {cx + dx + topWidth * 0.5f, top}, {cx + dx - topWidth * 0.5f, top}});
        addRect(band, {cx + dx - topWidth * 0.62f, top}, {cx + dx + topWidth * 0.62f, top + height * 0.05f});
        addRect(band, {cx + dx - topWidth * 0.56f, top + height * 0.09f}, {cx + dx + topWidth * 0.56f, top + height * 0.11f});
    });
    return {cx, top};
}

// ---- Two-shed city: a night of sheds, sodium lights and smoke ----

// A shed with a sawtooth roof: a long wall with a lit door and clerestory windows.
static void addShed(Canvas& c, float x0, float x1, float ground, float wallTop, float teeth, Rgba wall, int seed) {
    const float S = static_cast<float>(c.width);
    float toothW = (x1 - x0) / teeth, toothH = toothW * 0.55f;
    Mask body = makeMask(c.width, c.height), glass = makeMask(c.width, c.height);
    wrapped(S, [&](float dx) {
        std::vector<Vec2> outline{{x0 + dx, ground}, {x0 + dx, wallTop}};
        for (int k = 0; k < static_cast<int>(teeth); ++k) {
            float xk = x0 + dx + k * toothW;
            outline.push_back({xk + toothW, wallTop - toothH});
            outline.push_back({xk + toothW, wallTop});
            addPolygon(glass, {{xk + toothW - 3.0f * kPx, wallTop - toothH + 3.0f * kPx}, {xk + toothW - kPx, wallTop - toothH + 2.0f * kPx},
                               {xk + toothW - kPx, wallTop}, {xk + toothW - 3.0f * kPx, wallTop}});
        }
        outline.push_back({x1 + dx, ground});
        addPolygon(body, outline);
    });
    // Corrugated sheet: faint vertical ribs.
    paintMask(c, body, [&](float x, float y) {
        float rib = 0.9f + 0.1f * std::sin(x * 1.6f / kPx);
        float lift = 0.75f + 0.25f * (ground - y) / (ground - wallTop + toothH);
        return scaled(wall, rib * lift);
    });
    paintMask(c, glass, hex(0xffc46a));
    Mask lit = makeMask(c.width, c.height);
    wrapped(S, [&](float dx) {
        addWindows(lit, {x0 + dx + 6.0f * kPx, wallTop + 8.0f * kPx}, {x1 + dx - 6.0f * kPx, wallTop + 22.0f * kPx}, 11.0f, 12.0f, 0.6f, 0.8f, seed);
        float door = (x0 + x1) * 0.5f + dx;
        addRect(lit, {door - 14.0f * kPx, ground - 34.0f * kPx}, {door + 14.0f * kPx, ground});
    });
    Mask glow = blurredMask(lit, static_cast<int>(6 * kPx), true);
    paintMask(c, glow, hex(0xff9a3a, 0.45f));
    paintMask(c, lit, [&](float x, float y) { return mix(hex(0xffd88a), hex(0xffb04a), clamp01((y - wallTop) / (60.0f * kPx) + 0.1f * std::sin(x / kPx))); });
}

Canvas bakeTwoShedCitySky(const Fonts&) {
    const int S = kCitySkySize;
    const float Sf = static_cast<float>(S);
    const float ground = Sf * 0.66f;
    Canvas c = skyGradient(S, hex(0x070a1a), hex(0x1a1c3c), hex(0xc2683a), 0.38f, 0.66f);
    addStars(c, Sf * 0.45f, 140, 5);
    // Sodium haze over the city, in a band that depends on the row alone.
    std::vector<float> hazeBand(S);
    for (int row = 0; row < S; ++row) hazeBand[row] = std::exp(-std::pow((row + 0.5f - ground * 0.88f) / (Sf * 0.09f), 2.0f));
    shadeCanvas(c, [&](float x, float y) {
        Rgba p = pixelAt(c, static_cast<int>(x), static_cast<int>(y));
        float n = fbmWrapX(x * 4.0f / Sf, y * 10.0f / Sf, 0.3f, 4, 4);
        float band = hazeBand[static_cast<int>(y)];
        return added(p, hex(0xff8a3a), band * clamp01(0.3f + n) * 0.35f);
    });
    // Distant blocks.
    // Blocks run on past the width by their first offset; the seam then falls inside a block
    // (drawn at both ends) rather than on a building's edge.
    Mask far = makeMask(S, S), farLit = makeMask(S, S);
    for (int i = 0, lx = 7; lx < 512 + 7; ++i) {
        int lw = 14 + static_cast<int>(hash01(i, 0, 31) * 26.0f);
        float x = lx * kPx, w = lw * kPx;
        float h = Sf * (0.05f + 0.14f * hash01(i, 1, 31));
        wrapped(Sf, [&](float dx) {
            addRect(far, {x + dx, ground - h}, {x + w + dx + kPx, ground});
            addWindows(farLit, {x + dx + 2.0f * kPx, ground - h + 4.0f * kPx}, {x + w + dx - 2.0f * kPx, ground - 4.0f * kPx}, 5.0f, 6.0f, 0.5f, 0.3f, i * 13);
        });
        lx += lw;
    }
    paintMask(c, far, hex(0x2a2240));
    paintMask(c, farLit, hex(0xe8a860, 0.7f));
    // Gas holder: a drum in a lattice frame.
    const float gx = Sf * 0.5f, gr = Sf * 0.085f, gh = Sf * 0.17f;
    Mask drum = makeMask(S, S), frame = makeMask(S, S);
    addRect(drum, {gx - gr, ground - gh * 0.8f}, {gx + gr, ground});
    for (int k = 0; k <= 4; ++k) {
        float px = gx - gr * 1.08f + k * gr * 2.16f / 4.0f;
        addSegment(frame, {px, ground}, {px, ground - gh}, 2.5f * kPx);
        if (k < 4) {
            addSegment(frame, {px, ground - gh * 0.5f}, {px + gr * 0.54f, ground - gh}, 1.2f * kPx);
            addSegment(frame, {px, ground - gh * 0.5f}, {px + gr * 0.54f, ground}, 1.2f * kPx);
        }
    }
    for (float r : {0.0f, 0.5f, 1.0f}) addSegment(frame, {gx - gr * 1.1f, ground - gh * r}, {gx + gr * 1.1f, ground - gh * r}, 2.0f * kPx);
    paintMask(c, drum, [&](float x, float) { return mix(hex(0x3b3f55), hex(0x23263a), std::fabs(x - gx) / gr); });
    paintMask(c, frame, hex(0x15161f));
    // Chimneys with smoke, behind the sheds.
    Mask chimneys = makeMask(S, S), bands = makeMask(S, S);
    Vec2 tops[] = {addChimney(chimneys, bands, Sf * 0.47f - gr * 1.6f, ground, Sf * 0.36f, 16.0f, 10.0f),
                   addChimney(chimneys, bands, Sf * 0.97f, ground, Sf * 0.30f, 14.0f, 9.0f)};
    for (int i = 0; i < 2; ++i) addSmoke(c, tops[i], Sf * 0.45f, 3 + i, hex(0xd08a62), hex(0x4a4258));
    paintMask(c, chimneys, hex(0x3a2a2e));
    paintMask(c, bands, hex(0x1a1216));
    for (Vec2 t : tops) {
        Mask light = makeMask(S, S);
        addCircle(light, {t.x, t.y - 3.0f * kPx}, 2.2f * kPx);
        paintMask(c, blurredMask(light, static_cast<int>(3 * kPx), true), hex(0xff3020, 0.8f));
        paintMask(c, light, hex(0xff6a50));
    }
    // The two sheds.
    addShed(c, Sf * 0.04f, Sf * 0.40f, ground, ground - Sf * 0.11f, 5.0f, hex(0x4a5266), 101);
    addShed(c, Sf * 0.58f, Sf * 0.93f, ground, ground - Sf * 0.13f, 4.0f, hex(0x5a4a52), 202);
    // A crane between them.
    Mask crane = makeMask(S, S);
    const float cx = Sf * 0.445f, craneTop = ground - Sf * 0.30f;
    const float q = kPx;
    addSegment(crane, {cx - 4 * q, ground}, {cx - 4 * q, craneTop}, 2 * q);
    addSegment(crane, {cx + 4 * q, ground}, {cx + 4 * q, craneTop}, 2 * q);
    for (float y = ground; y > craneTop + 8 * q; y -= 8 * q) addSegment(crane, {cx - 4 * q, y}, {cx + 4 * q, y - 8 * q}, 1.2f * q);
    addSegment(crane, {cx - 30 * q, craneTop}, {cx + 70 * q, craneTop}, 3 * q);
    addSegment(crane, {cx, craneTop - 14 * q}, {cx + 70 * q, craneTop}, 1.2f * q);
    addSegment(crane, {cx, craneTop - 14 * q}, {cx - 30 * q, craneTop}, 1.2f * q);
    addSegment(crane, {cx + 52 * q, craneTop}, {cx + 52 * q, craneTop + 50 * q}, 0.8f * q);
    addRect(crane, {cx - 32 * q, craneTop}, {cx - 20 * q, craneTop + 8 * q});
    paintMask(c, crane, hex(0x11121a));
    // Wet ground throwing back the lights, and a rail line across it.
    reflectInWater(c, static_cast<int>(ground), hex(0x0b0c14), 0.7f, 3.0f, 17);
    Mask rails = makeMask(S, S);
    addRect(rails, {0.0f, ground + 3.0f * kPx}, {Sf, ground + 5.0f * kPx});
    addRect(rails, {0.0f, ground + 9.0f * kPx}, {Sf, ground + 11.0f * kPx});
    paintMask(c, rails, hex(0x8a6a5a, 0.6f));
    fadeTopAndBottom(c, hex(0x06070f), S / 10);
    return c;
}

// ---- Duck city: a bright day of pastel towers, rubber ducks and a pond ----

// A rubber duck floating with its waterline at `at`; facing right unless `facing` is -1.
static void addRubberDuck(Canvas& c, Vec2 at, float size, float facing) {
    Mask body = makeMask(c.width, c.height), beak = makeMask(c.width, c.height), eye = makeMask(c.width, c.height);
    Mask wing = makeMask(c.width, c.height), shine = makeMask(c.width, c.height);
    auto p = [&](float dx, float dy) { return Vec2{at.x + dx * size * facing, at.y + dy * size}; };
    wrapped(static_cast<float>(c.width), [&](float dx) {
        auto q = [&](float ux, float uy) { return p(ux, uy) + Vec2{dx, 0.0f}; };
        addEllipse(body, q(0.0f, -0.28f), {1.0f * size, 0.55f * size});
        addPolygon(body, {q(-0.75f, -0.45f), q(-1.25f, -0.95f), q(-0.95f, -0.25f)});
        addCircle(body, q(0.5f, -0.98f), 0.42f * size);
        addEllipse(beak, q(0.98f, -0.86f), {0.3f * size, 0.12f * size});
        addCircle(eye, q(0.62f, -1.08f), 0.075f * size);
        addEllipse(wing, q(-0.15f, -0.36f), {0.45f * size, 0.22f * size});
        addCircle(shine, q(0.38f, -1.2f), 0.1f * size);
    });
    // Only what is above the waterline shows.
    for (Mask* m : {&body, &beak, &wing})
        for (int y = std::max(0, static_cast<int>(at.y)); y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) m->coverage[static_cast<size_t>(y) * c.width + x] *= clamp01((at.y - y) / kPx + 0.5f);
    paintMask(c, body, [&](float, float y) { return mix(hex(0xffe95a), hex(0xf0b000), clamp01((y - (at.y - 1.4f * size)) / (1.4f * size))); });
    paintMask(c, wing, hex(0xe8a800, 0.8f));
    paintMask(c, beak, hex(0xff7a1a));
    paintMask(c, eye, hex(0x1a1a22));
    paintMask(c, shine, hex(0xffffff, 0.7f));
    Mask ripple = makeMask(c.width, c.height);
    wrapped(static_cast<float>(c.width), [&](float dx) { addRing(ripple, {at.x + dx, at.y + kPx}, 0.0f, kPx); });
    Mask line = makeMask(c.width, c.height);
    wrapped(static_cast<float>(c.width), [&](float dx) {
        addEllipse(line, {at.x + dx, at.y + 1.5f * kPx}, {1.3f * size, 0.12f * size});
    });
    paintMask(c, line, hex(0xffffff, 0.35f));
}

// A fluffy cloud: overlapping discs on a flat base, white with a blue underside.
static void addCloud(Canvas& c, Vec2 at, float size, int seed) {
    Mask m = makeMask(c.width, c.height);
    wrapped(static_cast<float>(c.width), [&](float dx) {
        for (int k = 0; k < 6; ++k) {
            float u = k / 5.0f - 0.5f;
            float r = size * (0.35f + 0.3f * hash01(k, 1, seed)) * (1.0f - std::fabs(u) * 0.9f);
            addCircle(m, {at.x + dx + u * size * 1.8f, at.y - r * 0.6f}, r);
        }
        addRoundedRect(m, {at.x + dx - size * 0.95f, at.y - size * 0.25f}, {at.x + dx + size * 0.95f, at.y + size * 0.05f}, size * 0.15f);
    });
    paintMask(c, m, [&](float, float y) { return mix(hex(0xffffff), hex(0xc9e3fa), clamp01((y - (at.y - size * 0.6f)) / (size * 0.7f))); });
}

// Relative luminances (linear light) of the duck city.
constexpr float kTowerLuminance = 0.55f;  // every tower wall, whatever its hue
constexpr float kHazeLuminance = 0.5f;    // what the haze pulls every colour towards
constexpr float kHazeKeeps = 0.2f;        // of each colour's distance from it

Canvas bakeDuckCitySky(const Fonts&) {
    const int S = kCitySkySize;
    const float Sf = static_cast<float>(S);
    const float ground = Sf * 0.64f;
    Canvas c = skyGradient(S, hex(0x5a9fe2), hex(0x78b8f2), hex(0xb4e4ff), 0.3f, 0.64f);
    // Sun with a soft halo.
    Mask sun = makeMask(S, S);
    addCircle(sun, {Sf * 0.16f, Sf * 0.2f}, Sf * 0.05f);
    paintMask(c, blurredMask(sun, static_cast<int>(18 * kPx), true), hex(0xfff7c0, 0.7f));
    paintMask(c, sun, hex(0xfffbe0));
    addCloud(c, {Sf * 0.42f, Sf * 0.2f}, Sf * 0.09f, 1);
    addCloud(c, {Sf * 0.8f, Sf * 0.13f}, Sf * 0.06f, 2);
    addCloud(c, {Sf * 0.02f, Sf * 0.34f}, Sf * 0.05f, 3);
    // A cloud shaped like a duck, of course.
    {
        Mask m = makeMask(S, S);
        Vec2 d{Sf * 0.66f, Sf * 0.3f};
        addEllipse(m, d, {Sf * 0.07f, Sf * 0.035f});
        addCircle(m, d + Vec2{Sf * 0.05f, -Sf * 0.045f}, Sf * 0.028f);
        addEllipse(m, d + Vec2{Sf * 0.083f, -Sf * 0.04f}, {Sf * 0.016f, Sf * 0.008f});
        addPolygon(m, {d + Vec2{-Sf * 0.05f, -Sf * 0.02f}, d + Vec2{-Sf * 0.085f, -Sf * 0.05f}, d + Vec2{-Sf * 0.065f, 0.0f}});
        paintMask(c, blurredMask(m, static_cast<int>(2 * kPx), true), hex(0xffffff, 0.92f));
    }
    // Pastel towers with window grids; every few a duck's head on the roof. The towers
    // differ in hue, not in brightness: the camera whips across them several times a
    // second, and towers of unlike brightness would flicker past like a strobe.
    const Rgba pastels[] = {
        atLuminance(hex(0xf7a8c4), kTowerLuminance), atLuminance(hex(0x9ee6c1), kTowerLuminance),
        atLuminance(hex(0xc3b1f0), kTowerLuminance), atLuminance(hex(0xffc59e), kTowerLuminance),
        atLuminance(hex(0xfff0a0), kTowerLuminance), atLuminance(hex(0x9fd4f5), kTowerLuminance),
    };
    // The towers' widths are stretched to fill the width exactly, so that the seam falls in
    // the gap between the last tower and the first.
    const int towers = 11;
    float widthSum = 0.0f;
    for (int i = 0; i < towers; ++i) widthSum += 34.0f + 30.0f * hash01(i, 0, 71);
    float x = 0.0f;
    for (int i = 0; i < towers; ++i) {
        float w = (34.0f + 30.0f * hash01(i, 0, 71)) * Sf / widthSum;
        float h = Sf * (0.14f + 0.22f * hash01(i, 1, 71));
        if (i == 3) h = Sf * 0.42f;  // the duck tower
        Rgba colour = pastels[i % 6];
        // Only every fourth tower wears a duck's head; the others need no masks for one.
        const bool duckHead = i % 4 == 3;
        Mask body = makeMask(S, S), glass = makeMask(S, S), head, beak, eye;
        if (duckHead) head = makeMask(S, S), beak = makeMask(S, S), eye = makeMask(S, S);
        float x0 = x + 3.0f * kPx, x1 = x + w - 3.0f * kPx;
        wrapped(Sf, [&](float dx) {
            addRoundedRect(body, {x0 + dx, ground - h}, {x1 + dx, ground + 4.0f * kPx}, (i % 2 ? 10.0f : 3.0f) * kPx);
            addWindows(glass, {x0 + dx + 4.0f * kPx, ground - h + 10.0f * kPx}, {x1 + dx - 4.0f * kPx, ground - 6.0f * kPx}, 9.0f, 11.0f, 0.62f, 0.92f, i * 7);
            if (duckHead) {
                float hx = (x0 + x1) * 0.5f + dx, r = (x1 - x0) * 0.32f;
                addCircle(head, {hx, ground - h - r * 0.8f}, r);
                addEllipse(beak, {hx + r * 1.05f, ground - h - r * 0.65f}, {r * 0.6f, r * 0.22f});
                addCircle(eye, {hx + r * 0.35f, ground - h - r * 1.05f}, r * 0.16f);
            }
        });
        // Shading goes by the position across the tower, counted round the wrap, and the sheen
        // on the glass repeats four times across the width.
        const Rgba lit = atLuminance(colour, kTowerLuminance * 1.0f), shaded = atLuminance(colour, kTowerLuminance * 0.94f);
        paintMask(c, body, [&](float px, float) {
            float across = std::fmod(px - x0 + Sf, Sf) / (x1 - x0);
            return across < 0.2f ? lit : shaded;
        });
        // The glass differs from the walls in hue, hardly in brightness: when the camera
        // whips round, a grid of light panes on darker walls flickers over the whole screen.
        paintMask(c, glass, [&](float px, float py) {
            float sheen = (px + py) / (128.0f * kPx);
            sheen -= std::floor(sheen);
            Rgba pane = mix(hex(0xe8f7ff), hex(0x9fd0f0), sheen);
            return atLuminance(pane, kTowerLuminance * (1.0f + 0.08f * sheen));
        });
        if (duckHead) {
            paintMask(c, head, hex(0xffd83a));
            paintMask(c, beak, hex(0xff8a1a));
            paintMask(c, eye, hex(0x20202a));
        }
        x += w;
    }
    // Park hedge along the shore.
    Mask hedge = makeMask(S, S);
    for (int k = 0; k < 40; ++k)
        wrapped(Sf, [&](float dx) { addCircle(hedge, {k * Sf / 40.0f + dx, ground + 2.0f * kPx}, (7.0f + 3.0f * hash01(k, 0, 9)) * kPx); });
    addRect(hedge, {0.0f, ground}, {Sf, ground + 6.0f * kPx});
    paintMask(c, hedge, [&](float, float y) { return mix(hex(0x74d27e), hex(0x56ac66), clamp01((y - ground + 8.0f * kPx) / (14.0f * kPx))); });
    // The pond, and its ducks.
    const float shore = ground + 6.0f * kPx;
    reflectInWater(c, static_cast<int>(shore), hex(0x4aa2d2), 0.55f, 2.5f, 41);
    shadeCanvas(c, [&](float x, float y) {
        Rgba p = pixelAt(c, static_cast<int>(x), static_cast<int>(y));
        if (y < shore) return p;
        float glint = smoothstep(0.6f, 0.75f, fbmWrapX(x * 16.0f / Sf, y * 0.5f / kPx, 3.0f, 16, 2));
        return added(p, hex(0xffffff), glint * 0.35f);
    });
    const float duckSizes[] = {9.0f, 12.0f, 16.0f, 22.0f, 30.0f};
    for (int k = 0; k < 5; ++k) {
        float y = ground + (18.0f + k * k * 7.0f + k * 6.0f) * kPx;
        addRubberDuck(c, {Sf * (0.12f + 0.23f * k + 0.1f * hash01(k, 0, 5)), y}, duckSizes[k] * kPx, k % 2 ? -1.0f : 1.0f);
    }
    fadeTopAndBottom(c, hex(0x5a9fe2), S / 10);
    // A summer haze over it all: the lights a little dimmer, the shadows lifted, the hues
    // kept, so that nothing whipping past differs much in brightness from what it covers.
    shadeCanvas(c, [&](float x, float y) {
        Rgba p = pixelAt(c, static_cast<int>(x), static_cast<int>(y));
        return towardsLuminance(p, kHazeLuminance, kHazeKeeps);
    });
    return c;
}

// ---- Tampere: red-brick mills and chimneys between two lakes, a summer dusk ----

// A mill: brick walls with mortar courses, rows of tall arched windows, a dark roof.
static void addBrickMill(Canvas& c, float x0, float x1, float ground, float top, int floors, int seed) {
    const float S = static_cast<float>(c.width);
    Mask wall = makeMask(c.width, c.height), roof = makeMask(c.width, c.height), windows = makeMask(c.width, c.height);
    float floorH = (ground - top) / floors;
    wrapped(S, [&](float dx) {
        addRect(wall, {x0 + dx, top}, {x1 + dx, ground});
        const float q = kPx;
        addPolygon(roof, {{x0 + dx - 2 * q, top + q}, {x0 + dx + 8 * q, top - 9 * q}, {x1 + dx - 8 * q, top - 9 * q}, {x1 + dx + 2 * q, top + q}});
        int cols = static_cast<int>((x1 - x0) / (10.0f * q));
        float cw = (x1 - x0) / cols;
        for (int f = 0; f < floors; ++f)
            for (int k = 0; k < cols; ++k) {
                if (hash01(k, f, seed) > 0.62f) continue;
                float wx = x0 + dx + k * cw + cw * 0.3f, ww = cw * 0.4f;
                float wy0 = top + f * floorH + floorH * 0.3f, wy1 = top + (f + 1) * floorH - floorH * 0.12f;
                addRect(windows, {wx, wy0 + ww * 0.5f}, {wx + ww, wy1});
                addCircle(windows, {wx + ww * 0.5f, wy0 + ww * 0.5f}, ww * 0.5f);
            }
    });
    paintMask(c, wall, [&](float x, float y) {
        // Running bond: courses 3 layout pixels high, bricks 8 long, every other course
        // shifted by half.
        int course = static_cast<int>(std::floor(y / (3.0f * kPx)));
        float bx = x / (8.0f * kPx) + (course % 2) * 0.5f;
        bool mortar = y - course * 3.0f * kPx < 0.7f * kPx || bx - std::floor(bx) < 0.1f;
        float v = 0.85f + 0.3f * hash01(static_cast<int>(std::floor(bx)) % 64, course, seed);
        Rgba brick = scaled(hex(0x9a4c36), v * (0.75f + 0.25f * (ground - y) / (ground - top)));
        return mortar ? hex(0x5a3a32) : brick;
    });
    paintMask(c, roof, hex(0x2a2426));
    paintMask(c, blurredMask(windows, static_cast<int>(4 * kPx), true), hex(0xffa040, 0.5f));
    paintMask(c, windows, [&](float x, float y) { return mix(hex(0xffe2a0), hex(0xffb55a), hash01(static_cast<int>(x / (6.0f * kPx)), static_cast<int>(y / (10.0f * kPx)), seed)); });
}

Canvas bakeTampereSky(const Fonts&) {
    const int S = kCitySkySize;
    const float Sf = static_cast<float>(S);
    const float shore = Sf * 0.62f;
    Canvas c = skyGradient(S, hex(0x0f1934), hex(0x3b4f82), hex(0xf4a65a), 0.33f, 0.6f);
    // Long thin clouds lit from below.
    shadeCanvas(c, [&](float x, float y) {
        Rgba p = pixelAt(c, static_cast<int>(x), static_cast<int>(y));
        float band = smoothstep(Sf * 0.12f, Sf * 0.3f, y) * (1.0f - smoothstep(Sf * 0.45f, Sf * 0.55f, y));
        if (band == 0.0f) return p;  // outside the band the clouds are mixed in times zero
        float n = fbmWrapX(x * 4.0f / Sf, y * 26.0f / Sf, 5.0f, 4, 5);
        Rgba lit = mix(hex(0x7a5a8a), hex(0xff9a70), clamp01((y - Sf * 0.15f) / (Sf * 0.35f)));
        return mix(p, lit, smoothstep(0.1f, 0.4f, n) * band * 0.85f);
    });
    addStars(c, Sf * 0.2f, 60, 8);
    // The forest ridge across the lake, with pine tops.
    Mask ridge = makeMask(S, S);
    std::vector<Vec2> outline{{-Sf, shore + 2.0f * kPx}};
    for (int k = 0; k <= 3 * 128; ++k) {
        float x = -Sf + k * 3.0f * Sf / (3 * 128);
        float u = x / Sf;
        float h = Sf * (0.09f + 0.05f * fbmWrapX(u * 4.0f, 0.5f, 2.0f, 4, 3));
        // One width is 128 steps, so the pine tops repeat with it.
        float spike = (k % 2) ? 5.0f * kPx * hash01(k % 128, 0, 4) : 0.0f;
        outline.push_back({x, shore - h - spike});
    }
    outline.push_back({2.0f * Sf, shore + 2.0f * kPx});
    addPolygon(ridge, outline);
    paintMask(c, ridge, hex(0x1d2a34));
    // The observation tower on the ridge: a slender shaft, a disc pod, a mast.
    Mask tower = makeMask(S, S), pod = makeMask(S, S), lamps = makeMask(S, S);
    const float tx = Sf * 0.8f, tBase = shore - Sf * 0.06f, tTop = Sf * 0.2f;
    wrapped(Sf, [&](float dx) {
        const float q = kPx, x = tx + dx;
        addPolygon(tower, {{x - 4 * q, tBase}, {x + 4 * q, tBase}, {x + 2.5f * q, tTop}, {x - 2.5f * q, tTop}});
        addEllipse(pod, {x, tTop - 3 * q}, {15 * q, 6 * q});
        addRect(pod, {x - 9 * q, tTop - 12 * q}, {x + 9 * q, tTop - 5 * q});
        addSegment(tower, {x, tTop - 12 * q}, {x, tTop - 42 * q}, 1.6f * q);
        for (int k = -5; k <= 5; ++k) addCircle(lamps, {x + k * 2.6f * q, tTop - 3.5f * q}, 0.9f * q);
        addCircle(lamps, {x, tTop - 43 * q}, 1.5f * q);
    });
    paintMask(c, tower, hex(0x3a4452));
    paintMask(c, pod, hex(0x4a5462));
    paintMask(c, blurredMask(lamps, static_cast<int>(2 * kPx), true), hex(0xff5040, 0.7f));
    paintMask(c, lamps, hex(0xffd0a0));
    // Chimneys and their smoke, then the mills in front of them.
    Mask chimneys = makeMask(S, S), bands = makeMask(S, S);
    const float ground = shore + kPx;
    Vec2 tops[] = {addChimney(chimneys, bands, Sf * 0.13f, ground, Sf * 0.38f, 18.0f, 11.0f),
                   addChimney(chimneys, bands, Sf * 0.42f, ground, Sf * 0.31f, 15.0f, 9.0f),
                   addChimney(chimneys, bands, Sf * 0.92f, ground, Sf * 0.27f, 14.0f, 9.0f)};
    for (int i = 0; i < 3; ++i) addSmoke(c, tops[i], Sf * 0.35f, 11 + i, hex(0xf0b088), hex(0x5a5070));
    paintMask(c, chimneys, [&](float x, float y) {
        int course = static_cast<int>(y / (3.0f * kPx));
        return scaled(hex(0x8e4a34), 0.8f + 0.2f * hash01(static_cast<int>(x / (5.0f * kPx)), course, 3));
    });
    paintMask(c, bands, hex(0x4a2018));
    addBrickMill(c, Sf * 0.02f, Sf * 0.3f, ground, ground - Sf * 0.15f, 5, 61);
    addBrickMill(c, Sf * 0.3f, Sf * 0.56f, ground, ground - Sf * 0.1f, 3, 62);
    addBrickMill(c, Sf * 0.66f, Sf * 0.99f, ground, ground - Sf * 0.13f, 4, 63);
    // The lake, with the rapids tumbling out between the mills.
    reflectInWater(c, static_cast<int>(ground), hex(0x14233a), 0.7f, 2.0f, 23);
    shadeCanvas(c, [&](float x, float y) {
        Rgba p = pixelAt(c, static_cast<int>(x), static_cast<int>(y));
        float across = std::fabs(x - Sf * 0.61f) / (Sf * 0.04f + (y - ground) * 0.25f);
        if (y < ground - Sf * 0.02f || across > 1.0f) return p;
        float foam = smoothstep(0.0f, 0.6f, fbmWrapX(x * 32.0f / Sf, y * 0.2f / kPx, 9.0f, 32, 3)) * (1.0f - across) *
                     (1.0f - smoothstep(ground, ground + Sf * 0.2f, y));
        return mix(p, hex(0xe8f0f8), foam * 0.8f);
    });
    fadeTopAndBottom(c, hex(0x0c1324), S / 10);
    return c;
}

}  // namespace bake
