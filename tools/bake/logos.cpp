// Logo recipes: the twelve greeting cards, the closing logo, the Molvanian seal of approval,
// and the two lettered skies (title and credits).
//
// [SECTION] Greeting cards
// [SECTION] Closing logo
// [SECTION] Molvanian seal
// [SECTION] Lettered skies
#include "recipes.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace bake {

// Text drawn in white over a dark outline and a soft shadow, so that it reads at any size.
static void paintOutlinedText(Canvas& c, const Mask& text, Rgba fill, Rgba outline, float outlineWidth) {
    Mask edge = grownMask(text, outlineWidth);
    paintMask(c, blurredMask(edge, static_cast<int>(outlineWidth) + 2), withAlpha(outline, 0.5f * outline.a));
    paintMask(c, edge, outline);
    paintMask(c, text, fill);
}

// =======================================================================================
// [SECTION] Greeting cards
//
// Logos 1 to 12 appear on 36 small square quads at once, so each is a square card: a bold
// name under "greetings to", one emblem, a frame, a colourful ground; the corners outside
// the rounded card are transparent black. Cards are drawn on a 512 grid and stored at 384,
// which is more than the quads ever show and a little over half the decoding time.

constexpr int kCardSize = 512;
constexpr int kCardStoredSize = 384;

struct GreetingStyle {
    const char* project;
    const char* tagline;
    unsigned top, bottom;  // background gradient
    unsigned accent;       // frame and emblem highlights
};

// Where and how big the emblem is drawn: a square of `size` pixels around `centre`.
struct EmblemBox {
    Vec2 centre;
    float size;
};

static Canvas greetingCard(const Fonts& fonts, const GreetingStyle& style) {
    const float S = static_cast<float>(kCardSize);
    Canvas c = makeCanvas(kCardSize, kCardSize, Rgba{0.0f, 0.0f, 0.0f, 0.0f});
    Mask card = makeMask(kCardSize, kCardSize);
    addRoundedRect(card, {8.0f, 8.0f}, {S - 8.0f, S - 8.0f}, 44.0f);
    const Rgba top = hex(style.top), bottom = hex(style.bottom);
    paintMask(c, card, [&](float x, float y) {
        Rgba g = mix(top, bottom, smoothstep(0.0f, S, y));
        // Diagonal bands and a glow behind the emblem give the flat colour some depth.
        float band = std::fmod(x + y + 4096.0f, 48.0f) < 24.0f ? 1.0f : 0.0f;
        g = scaled(g, 1.0f + 0.05f * band);
        float glow = std::exp(-((x - S * 0.5f) * (x - S * 0.5f) + (y - S * 0.45f) * (y - S * 0.45f)) / (S * S * 0.06f));
        return added(g, hex(0xffffff), glow * 0.18f);
    });
    Mask frame = makeMask(kCardSize, kCardSize);
    addRoundedRectOutline(frame, {26.0f, 26.0f}, {S - 26.0f, S - 26.0f}, 30.0f, 7.0f);
    paintMask(c, frame, hex(style.accent));
    Mask inner = makeMask(kCardSize, kCardSize);
    addRoundedRectOutline(inner, {38.0f, 38.0f}, {S - 38.0f, S - 38.0f}, 22.0f, 2.0f);
    paintMask(c, inner, hex(0xffffff, 0.55f));

    Mask greeting = makeMask(kCardSize, kCardSize);
    addTextCentred(greeting, fonts.sansBold, "greetings to", S * 0.5f, 100.0f, 46.0f, 1.0f);
    paintOutlinedText(c, greeting, hex(0xffffff), hex(0x000000, 0.6f), 3.0f);

    Mask name = makeMask(kCardSize, kCardSize);
    float size = fitTextSize(fonts.sansBold, style.project, S * 0.78f, 124.0f, 2.0f);
    addTextCentred(name, fonts.sansBold, style.project, S * 0.5f, 408.0f, size, 2.0f);
    paintOutlinedText(c, name, hex(0xffffff), hex(0x10101a, 0.9f), 5.0f);

    Mask tagline = makeMask(kCardSize, kCardSize);
    addTextCentred(tagline, fonts.sansBold, style.tagline, S * 0.5f, 452.0f, 28.0f, 0.5f);
    paintOutlinedText(c, tagline, hex(0xffffff, 0.92f), hex(0x000000, 0.45f), 2.0f);
    return c;
}

static const EmblemBox kEmblem{{kCardSize * 0.5f, 222.0f}, 168.0f};

// Paints `shape` with a soft dark drop shadow first, so emblems stand off the card.
static void paintRaised(Canvas& c, const Mask& shape, Rgba colour) {
    Mask shadow = makeMask(shape.width, shape.height);
    for (int y = 0; y < shape.height; ++y)
        for (int x = 0; x < shape.width; ++x) {
            int sx = x - 4, sy = y - 6;
            if (sx >= 0 && sy >= 0) shadow.coverage[static_cast<size_t>(y) * shape.width + x] = shape.coverage[static_cast<size_t>(sy) * shape.width + sx];
        }
    paintMask(c, blurredMask(shadow, 4), hex(0x000000, 0.35f));
    paintMask(c, shape, colour);
}

Canvas bakeGreetGlfw(const Fonts& fonts) {
    const GreetingStyle style{"GLFW", "windows, input, clock", 0xff9a3c, 0xc0392b, 0xffe08a};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    Mask window = makeMask(kCardSize, kCardSize), bar = makeMask(kCardSize, kCardSize), dots = makeMask(kCardSize, kCardSize);
    addRoundedRect(window, o + Vec2{-0.55f * u, -0.4f * u}, o + Vec2{0.55f * u, 0.4f * u}, 14.0f);
    addRoundedRect(bar, o + Vec2{-0.55f * u, -0.4f * u}, o + Vec2{0.55f * u, -0.22f * u}, 14.0f);
    addRect(bar, o + Vec2{-0.55f * u, -0.3f * u}, o + Vec2{0.55f * u, -0.22f * u});
    for (int k = 0; k < 3; ++k) addCircle(dots, o + Vec2{(0.44f - 0.1f * k) * u, -0.31f * u}, 0.032f * u);
    paintRaised(c, window, hex(0xfdf6ec));
    paintMask(c, bar, hex(0x3a2a4a));
    paintMask(c, dots, hex(0xffd166));
    // An Escape key inside the window: the one key the demo listens to.
    Mask key = makeMask(kCardSize, kCardSize), keyText = makeMask(kCardSize, kCardSize);
    addRoundedRect(key, o + Vec2{-0.36f * u, -0.12f * u}, o + Vec2{0.06f * u, 0.28f * u}, 10.0f);
    addTextCentred(keyText, fonts.sansBold, "Esc", o.x - 0.15f * u, o.y + 0.15f * u, 0.22f * u);
    paintRaised(c, key, hex(0xe9e1d6));
    paintMask(c, keyText, hex(0x3a2a4a));
    Mask cursor = makeMask(kCardSize, kCardSize);
    Vec2 t = o + Vec2{0.16f * u, -0.08f * u};
    std::vector<Vec2> arrow{t, t + Vec2{0.0f, 0.34f * u}, t + Vec2{0.08f * u, 0.26f * u}, t + Vec2{0.14f * u, 0.38f * u},
                            t + Vec2{0.19f * u, 0.35f * u}, t + Vec2{0.13f * u, 0.23f * u}, t + Vec2{0.24f * u, 0.23f * u}};
    addPolygon(cursor, arrow);
    paintMask(c, grownMask(cursor, 2.5f), hex(0xffffff));
    paintMask(c, cursor, hex(0x1a1a22));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetGlm(const Fonts& fonts) {
    const GreetingStyle style{"glm", "all the maths", 0x1fc8a8, 0x0b5e52, 0xb8fff0};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    Mask brackets = makeMask(kCardSize, kCardSize), digits = makeMask(kCardSize, kCardSize);
    for (float side : {-1.0f, 1.0f}) {
        float x = o.x + side * 0.5f * u, inward = -side * 0.12f * u;
        addPolyline(brackets, {{x + inward, o.y - 0.45f * u}, {x, o.y - 0.45f * u}, {x, o.y + 0.45f * u}, {x + inward, o.y + 0.45f * u}}, 9.0f);
    }
    // The identity matrix, the first thing every transform starts from.
    for (int r = 0; r < 3; ++r)
        for (int q = 0; q < 3; ++q)
            addTextCentred(digits, fonts.mono, r == q ? "1" : "0", o.x + (q - 1) * 0.3f * u, o.y + (r - 1) * 0.3f * u + 0.1f * u, 0.3f * u);
    paintRaised(c, brackets, hex(0xffffff));
    paintRaised(c, digits, hex(0xffffff));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetAssimp(const Fonts& fonts) {
    const GreetingStyle style{"assimp", "every model we load", 0xa55eea, 0x4a1f7a, 0xffc8ff};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    // An isometric wire cube: six outer corners round the centre, three edges from it.
    Vec2 corner[7];
    for (int k = 0; k < 6; ++k) {
        float a = kPi / 6.0f + k * kPi / 3.0f;
        corner[k] = o + Vec2{std::cos(a), std::sin(a)} * (0.48f * u);
    }
    corner[6] = o;
    Mask top = makeMask(kCardSize, kCardSize), left = makeMask(kCardSize, kCardSize), right = makeMask(kCardSize, kCardSize);
    addPolygon(top, {corner[6], corner[5], corner[4], corner[3]});
    addPolygon(left, {corner[6], corner[3], corner[2], corner[1]});
    addPolygon(right, {corner[6], corner[1], corner[0], corner[5]});
    paintMask(c, top, hex(0xffffff, 0.55f));
    paintMask(c, left, hex(0xffffff, 0.25f));
    paintMask(c, right, hex(0xffffff, 0.38f));
    Mask wire = makeMask(kCardSize, kCardSize), dots = makeMask(kCardSize, kCardSize);
    for (int k = 0; k < 6; ++k) addSegment(wire, corner[k], corner[(k + 1) % 6], 6.0f);
    for (int k : {1, 3, 5}) addSegment(wire, corner[6], corner[k], 6.0f);
    for (const Vec2& p : corner) addCircle(dots, p, 11.0f);
    paintRaised(c, wire, hex(0xffffff));
    paintMask(c, dots, hex(style.accent));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetStb(const Fonts& fonts) {
    const GreetingStyle style{"stb", "one header at a time", 0x3aa0e8, 0x16406e, 0xbfe6ff};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    Mask page = makeMask(kCardSize, kCardSize), fold = makeMask(kCardSize, kCardSize);
    Vec2 a = o + Vec2{-0.36f * u, -0.48f * u}, b = o + Vec2{0.36f * u, 0.48f * u};
    float f = 0.2f * u;
    addPolygon(page, {a, {b.x - f, a.y}, {b.x, a.y + f}, b, {a.x, b.y}});
    addPolygon(fold, {{b.x - f, a.y}, {b.x - f, a.y + f}, {b.x, a.y + f}});
    paintRaised(c, page, hex(0xfbfbff));
    paintMask(c, fold, hex(0xb8cde0));
    Mask lines = makeMask(kCardSize, kCardSize), label = makeMask(kCardSize, kCardSize);
    for (int k = 0; k < 4; ++k) {
        float y = a.y + 0.32f * u + k * 0.1f * u;
        float w = (0.35f + 0.3f * hash01(k, 0, 4)) * u;
        addSegment(lines, {a.x + 0.1f * u, y}, {a.x + 0.1f * u + w, y}, 7.0f);
    }
    addTextCentred(label, fonts.mono, ".h", o.x, b.y - 0.1f * u, 0.36f * u);
    paintMask(c, lines, hex(0x9ab4cc));
    paintMask(c, label, hex(0x16406e));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetSdl(const Fonts& fonts) {
    const GreetingStyle style{"SDL", "sound and more", 0x3f5bd8, 0x141a5a, 0x9ad8ff};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre + Vec2{-0.12f * u, 0.0f};
    Mask speaker = makeMask(kCardSize, kCardSize), waves = makeMask(kCardSize, kCardSize);
    addRoundedRect(speaker, o + Vec2{-0.42f * u, -0.15f * u}, o + Vec2{-0.2f * u, 0.15f * u}, 6.0f);
    addPolygon(speaker, {o + Vec2{-0.24f * u, -0.15f * u}, o + Vec2{0.04f * u, -0.4f * u}, o + Vec2{0.04f * u, 0.4f * u},
                         o + Vec2{-0.24f * u, 0.15f * u}});
    for (int k = 0; k < 3; ++k) addArc(waves, o + Vec2{0.04f * u, 0.0f}, (0.2f + 0.15f * k) * u, -0.8f, 0.8f, 10.0f);
    paintRaised(c, speaker, hex(0xffffff));
    paintRaised(c, waves, hex(style.accent));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetMesa(const Fonts& fonts) {
    const GreetingStyle style{"Mesa", "pixels without a GPU", 0xffb347, 0x9c3a10, 0xfff0b0};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    // A setting sun cut by stripes behind a flat-topped mesa.
    Mask sun = makeMask(kCardSize, kCardSize), cuts = makeMask(kCardSize, kCardSize);
    addCircle(sun, o + Vec2{0.0f, -0.05f * u}, 0.42f * u);
    for (int k = 0; k < 4; ++k) {
        float y = o.y + (0.02f + 0.09f * k) * u;
        addRect(cuts, {o.x - u, y}, {o.x + u, y + (2.0f + 2.5f * k)});
    }
    subtractMask(sun, cuts);
    paintMask(c, sun, [&](float, float y) { return mix(hex(0xfff3a0), hex(0xff5a5a), clamp01((y - (o.y - 0.47f * u)) / (0.8f * u))); });
    Mask mesa = makeMask(kCardSize, kCardSize);
    addPolygon(mesa, {o + Vec2{-0.62f * u, 0.42f * u}, o + Vec2{-0.42f * u, 0.12f * u}, o + Vec2{-0.1f * u, 0.1f * u},
                      o + Vec2{0.05f * u, 0.16f * u}, o + Vec2{0.3f * u, 0.15f * u}, o + Vec2{0.4f * u, 0.26f * u},
                      o + Vec2{0.62f * u, 0.28f * u}, o + Vec2{0.62f * u, 0.42f * u}});
    paintRaised(c, mesa, hex(0x5a2418));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetLame(const Fonts& fonts) {
    const GreetingStyle style{"LAME", "ain't an MP3 encoder", 0xf0509a, 0x6a1248, 0xffd0ea};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    Mask bars = makeMask(kCardSize, kCardSize);
    const int count = 11;
    for (int k = 0; k < count; ++k) {
        float x = o.x + (k - (count - 1) * 0.5f) * 0.11f * u;
        float h = (0.15f + 0.8f * std::fabs(std::sin(k * 1.7f + 0.4f)) * (1.0f - std::fabs(k - 5.0f) / 7.0f)) * u * 0.5f;
        addRoundedRect(bars, {x - 0.035f * u, o.y - h}, {x + 0.035f * u, o.y + h}, 0.035f * u);
    }
    paintRaised(c, bars, hex(0xffffff));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetDebian(const Fonts& fonts) {
    const GreetingStyle style{"Debian", "our whole system", 0xe0245e, 0x5a0a28, 0xffc0d4};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    // A spiral that thickens as it winds out.
    Mask spiral = makeMask(kCardSize, kCardSize);
    const int steps = 220;
    Vec2 prev = o;
    for (int k = 1; k <= steps; ++k) {
        float t = static_cast<float>(k) / steps;
        float angle = -t * 2.6f * 2.0f * kPi;
        float r = t * 0.46f * u;
        Vec2 p = o + Vec2{std::cos(angle), std::sin(angle)} * r;
        addSegment(spiral, prev, p, 3.0f + 15.0f * t);
        prev = p;
    }
    paintRaised(c, spiral, hex(0xffffff));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetGcc(const Fonts& fonts) {
    const GreetingStyle style{"GCC", "C++17, -O2", 0x4cd07a, 0x12502c, 0xd8ffd0};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    Mask gear = makeMask(kCardSize, kCardSize), hole = makeMask(kCardSize, kCardSize);
    const int teeth = 12;
    std::vector<Vec2> outline;
    for (int k = 0; k < teeth * 4; ++k) {
        float a = (k / 4.0f) * 2.0f * kPi / teeth;
        float r = (k % 4 == 1 || k % 4 == 2) ? 0.5f : 0.4f;
        outline.push_back(o + Vec2{std::cos(a), std::sin(a)} * (r * u));
    }
    addPolygon(gear, outline);
    addCircle(hole, o, 0.27f * u);
    subtractMask(gear, hole);
    paintRaised(c, gear, hex(0xffffff));
    Mask code = makeMask(kCardSize, kCardSize);
    addTextCentred(code, fonts.mono, "{ }", o.x, o.y + 0.1f * u, 0.3f * u);
    paintMask(c, code, hex(0xffffff));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetCmake(const Fonts& fonts) {
    const GreetingStyle style{"CMake", "builds it all", 0x5f7890, 0x1c2833, 0xffd34d};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    // Building blocks, stacked.
    struct Block {
        float x, y, w;
        unsigned colour;
    };
    const Block blocks[] = {
        {-0.42f, 0.22f, 0.4f, 0xe74c3c}, {0.02f, 0.22f, 0.4f, 0x3498db},
        {-0.2f, -0.06f, 0.4f, 0x2ecc71}, {-0.06f, -0.34f, 0.22f, 0xf1c40f},
    };
    for (const Block& b : blocks) {
        Mask m = makeMask(kCardSize, kCardSize), shine = makeMask(kCardSize, kCardSize);
        Vec2 p0 = o + Vec2{b.x * u, b.y * u}, p1 = p0 + Vec2{b.w * u, 0.26f * u};
        addRoundedRect(m, p0, p1, 8.0f);
        addRoundedRect(shine, p0 + Vec2{8.0f, 6.0f}, Vec2{p1.x - 8.0f, p0.y + 14.0f}, 4.0f);
        paintRaised(c, m, hex(b.colour));
        paintMask(c, shine, hex(0xffffff, 0.45f));
    }
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetGlad(const Fonts& fonts) {
    const GreetingStyle style{"glad", "every GL entry point", 0xffd23f, 0xd98a00, 0xfff6c0};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    Mask face = makeMask(kCardSize, kCardSize), features = makeMask(kCardSize, kCardSize);
    addCircle(face, o, 0.46f * u);
    addEllipse(features, o + Vec2{-0.16f * u, -0.12f * u}, {0.055f * u, 0.085f * u});
    addEllipse(features, o + Vec2{0.16f * u, -0.12f * u}, {0.055f * u, 0.085f * u});
    addArc(features, o + Vec2{0.0f, 0.0f}, 0.27f * u, 0.35f, kPi - 0.35f, 11.0f);
    paintRaised(c, face, hex(0xfffbe8));
    paintMask(c, features, hex(0x3a2a10));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

Canvas bakeGreetXvfb(const Fonts& fonts) {
    const GreetingStyle style{"Xvfb", "the screen nobody sees", 0x24313d, 0x06090c, 0x39e58c};
    Canvas c = greetingCard(fonts, style);
    const float u = kEmblem.size;
    const Vec2 o = kEmblem.centre;
    // A dashed monitor: the framebuffer that is only in memory.
    Mask dashes = makeMask(kCardSize, kCardSize), stand = makeMask(kCardSize, kCardSize), cross = makeMask(kCardSize, kCardSize);
    Vec2 a = o + Vec2{-0.56f * u, -0.42f * u}, b = o + Vec2{0.56f * u, 0.26f * u};
    const Vec2 corners[4] = {a, {b.x, a.y}, b, {a.x, b.y}};
    for (int side = 0; side < 4; ++side) {
        Vec2 p = corners[side], q = corners[(side + 1) % 4];
        float len = length(q - p);
        int n = static_cast<int>(len / 22.0f);
        for (int k = 0; k < n; ++k) {
            float t0 = (k + 0.15f) / n, t1 = (k + 0.7f) / n;
            addSegment(dashes, p + (q - p) * t0, p + (q - p) * t1, 8.0f);
        }
    }
    addRect(stand, o + Vec2{-0.06f * u, 0.3f * u}, o + Vec2{0.06f * u, 0.42f * u});
    addRoundedRect(stand, o + Vec2{-0.26f * u, 0.4f * u}, o + Vec2{0.26f * u, 0.47f * u}, 5.0f);
    addSegment(cross, o + Vec2{-0.2f * u, -0.3f * u}, o + Vec2{0.2f * u, 0.14f * u}, 22.0f);
    addSegment(cross, o + Vec2{0.2f * u, -0.3f * u}, o + Vec2{-0.2f * u, 0.14f * u}, 22.0f);
    paintMask(c, blurredMask(cross, 8), hex(style.accent, 0.6f));
    paintRaised(c, dashes, hex(style.accent));
    paintMask(c, stand, hex(style.accent));
    paintMask(c, cross, hex(0xe8fff2));
    return downsampled(c, kCardStoredSize, kCardStoredSize);
}

// =======================================================================================
// [SECTION] Closing logo
//
// Shown flat over the middle of the screen, 960 × 540 pixels, so it is baked at exactly that
// size: the name over a northern valley at night with an aurora.

Canvas bakeClosingLogo(const Fonts& fonts) {
    const int W = 960, H = 540;
    Canvas c = makeCanvas(W, H, hex(0x050814));
    // Aurora: curtains of green fading to violet at their tops, rippling sideways. Where a
    // curtain hangs and how its rays run depend on the column alone, so they are worked out
    // once a column rather than once a pixel.
    std::vector<float> curtainAt(W), raysAt(W);
    for (int col = 0; col < W; ++col) {
        float x = col + 0.5f;
        curtainAt[col] = fbm(x * 0.004f, 0.5f, 1.0f, 3);
        raysAt[col] = 0.6f + 0.4f * std::sin(x * 0.09f + fbm(x * 0.01f, 1.5f, 2.0f, 2) * 9.0f);
    }
    shadeCanvas(c, [&](float x, float y) {
        Rgba sky = mix(hex(0x03050f), hex(0x142a4a), smoothstep(0.0f, H * 0.8f, y));
        int col = static_cast<int>(x);
        float centreY = H * (0.34f + 0.12f * curtainAt[col]);
        float height = H * 0.2f;
        float v = (centreY - y) / height;
        float body = v > -0.15f && v < 1.0f ? std::exp(-std::pow((v - 0.2f) / 0.45f, 2.0f)) * raysAt[col] : 0.0f;
        if (body == 0.0f) return sky;  // no aurora here: its light would be added times zero
        float fadeBottom = smoothstep(-0.15f, 0.05f, v);
        Rgba light = mix(hex(0x3dffa0), hex(0xa05aff), clamp01(v));
        return added(sky, light, body * fadeBottom * 0.55f * (0.6f + 0.4f * fbm(x * 0.02f, y * 0.002f, 3.0f, 2)));
    });
    Mask stars = makeMask(W, H);
    for (int i = 0; i < 260; ++i)
        addCircle(stars, {hash01(i, 0, 77) * W, hash01(i, 1, 77) * H * 0.7f}, 0.4f + 0.8f * hash01(i, 2, 77));
    paintMask(c, stars, hex(0xf0f4ff, 0.85f));
    // Three ridges closing into a valley, each lighter with distance.
    const unsigned ridgeColours[] = {0x1a2a44, 0x101a30, 0x070b16};
    for (int layer = 0; layer < 3; ++layer) {
        Mask ridge = makeMask(W, H);
        std::vector<Vec2> outline{{0.0f, static_cast<float>(H)}};
        for (int k = 0; k <= 96; ++k) {
            float x = k * W / 96.0f;
            float valley = std::fabs(x / W - 0.5f) * 2.0f;  // 0 in the middle, 1 at the sides
            float base = H * (0.62f + 0.08f * layer) - H * (0.1f + 0.1f * layer) * valley;
            float peaks = fbm(x * 0.006f, layer * 3.1f, 0.7f, 4) * H * (0.08f + 0.03f * layer);
            outline.push_back({x, base - peaks});
        }
        outline.push_back({static_cast<float>(W), static_cast<float>(H)});
        addPolygon(ridge, outline);
        paintMask(c, ridge, hex(ridgeColours[layer]));
    }
    Mask title = makeMask(W, H);
    float size = fitTextSize(fonts.sansBold, "NORRVALE", W * 0.8f, 190.0f, 14.0f);
    addTextCentred(title, fonts.sansBold, "NORRVALE", W * 0.5f, H * 0.56f, size, 14.0f);
    paintMask(c, blurredMask(grownMask(title, 4.0f), 14), hex(0x3dffa0, 0.5f));
    paintMask(c, grownMask(title, 3.0f), hex(0x061018));
    paintMask(c, title, [&](float, float y) { return mix(hex(0xffffff), hex(0x9ad8ff), smoothstep(H * 0.36f, H * 0.56f, y)); });
    Mask thanks = makeMask(W, H);
    addTextCentred(thanks, fonts.sans, "thanks for watching", W * 0.5f, H * 0.68f, 44.0f, 6.0f);
    paintOutlinedText(c, thanks, hex(0xdff6ff), hex(0x000000, 0.7f), 3.0f);
    return c;
}

// =======================================================================================
// [SECTION] Molvanian seal
//
// The opening picture: a certificate from the Ministry of Demos of the Republic of Molvania,
// with a gold seal, a red stamp and a signature line. The picture quad spans 1.55 × 1.15 of
// half the screen, 1488 × 621 pixels, so the picture has that shape (2.4 : 1).

Canvas bakeMolvanianSeal(const Fonts& fonts) {
    // Just past 1024 × 428: with neither side a power of two, the driver builds this
    // picture's mipmaps with the code it already compiled for the closing logo.
    const int W = 1026, H = 429;
    const Rgba ink = hex(0x1f4a38), gold = hex(0xc9a227), red = hex(0xb0242a);
    Canvas c = makeCanvas(W, H, hex(0xf3ead2));
    // Security paper: two families of fine waves crossing.
    shadeCanvas(c, [&](float x, float y) {
        Rgba p = mix(hex(0xf6efd9), hex(0xeadcb8), smoothstep(0.0f, static_cast<float>(W), x * 0.6f + y));
        float w1 = y + 7.0f * std::sin(x * 0.045f) + 3.0f * std::sin(x * 0.013f + y * 0.02f);
        float w2 = y - 6.0f * std::sin(x * 0.037f + 1.3f);
        float d1 = std::fabs(std::fmod(w1 + 1000.0f, 9.0f) - 4.5f), d2 = std::fabs(std::fmod(w2 + 1000.0f, 13.0f) - 6.5f);
        p = mix(p, hex(0xb9d4c0), smoothstep(0.9f, 0.2f, d1) * 0.35f);
        return mix(p, hex(0xe6b8b0), smoothstep(0.9f, 0.2f, d2) * 0.3f);
    });
    Mask border = makeMask(W, H);
    addRect(border, {10.0f, 10.0f}, {W - 10.0f, 18.0f});
    addRect(border, {10.0f, H - 18.0f}, {W - 10.0f, H - 10.0f});
    addRect(border, {10.0f, 10.0f}, {18.0f, H - 10.0f});
    addRect(border, {W - 18.0f, 10.0f}, {W - 10.0f, H - 10.0f});
    addRoundedRectOutline(border, {28.0f, 28.0f}, {W - 28.0f, H - 28.0f}, 6.0f, 1.6f);
    for (Vec2 corner : {Vec2{28.0f, 28.0f}, Vec2{W - 28.0f, 28.0f}, Vec2{28.0f, H - 28.0f}, Vec2{W - 28.0f, H - 28.0f}}) {
        addCircle(border, corner, 9.0f);
        addRing(border, corner, 15.0f, 2.0f);
    }
    paintMask(c, border, ink);

    // The seal: a serrated gold disc, ribbon tails, lettering round a crest.
    const Vec2 sc{205.0f, 200.0f};
    const float R = 150.0f;
    Mask ribbons = makeMask(W, H);
    for (float side : {-1.0f, 1.0f})
        addPolygon(ribbons, {sc + Vec2{side * 30.0f, 60.0f}, sc + Vec2{side * 95.0f, 205.0f}, sc + Vec2{side * 62.0f, 188.0f},
                             sc + Vec2{side * 45.0f, 222.0f}, sc + Vec2{side * -10.0f, 80.0f}});
    paintMask(c, blurredMask(ribbons, 3), hex(0x000000, 0.25f));
    paintMask(c, ribbons, [&](float x, float) { return scaled(red, 0.85f + 0.15f * std::sin(x * 0.15f)); });
    Mask disc = makeMask(W, H);
    std::vector<Vec2> serration;
    for (int k = 0; k < 96; ++k) {
        float a = k * 2.0f * kPi / 96.0f;
        serration.push_back(sc + Vec2{std::cos(a), std::sin(a)} * (k % 2 ? R : R - 9.0f));
    }
    addPolygon(disc, serration);
    paintMask(c, blurredMask(disc, 5), hex(0x000000, 0.3f));
    paintMask(c, disc, [&](float x, float y) {
        float light = clamp01(0.5f + ((sc.x - x) + (sc.y - y)) / (3.0f * R));
        return mix(scaled(gold, 0.75f), hex(0xf2d46a), light);
    });
    Mask rims = makeMask(W, H), lettering = makeMask(W, H);
    addRing(rims, sc, R - 20.0f, 3.0f);
    addRing(rims, sc, R - 62.0f, 2.5f);
    addTextOnArc(lettering, fonts.serifBold, "MINISTRY OF DEMOS", sc, R - 54.0f, 0.0f, 27.0f, 2.0f, false);
    addTextOnArc(lettering, fonts.serifBold, "REPUBLIC OF MOLVANIA", sc, R - 30.0f, kPi, 24.0f, 1.5f, true);
    for (float a : {-1.78f, 1.78f}) addCircle(lettering, sc + Vec2{std::sin(a), -std::cos(a)} * (R - 42.0f), 4.0f);
    paintMask(c, rims, hex(0x6a5010));
    paintMask(c, lettering, hex(0x5a420c));
    // The crest: a castle of three towers over the year of founding.
    Mask crest = makeMask(W, H);
    const float base = sc.y + 26.0f;
    addRect(crest, sc + Vec2{-48.0f, -10.0f}, Vec2{sc.x + 48.0f, base});
    addRect(crest, sc + Vec2{-16.0f, -44.0f}, Vec2{sc.x + 16.0f, base});
    for (float tx : {-48.0f, 32.0f}) addRect(crest, sc + Vec2{tx, -30.0f}, sc + Vec2{tx + 16.0f, -10.0f});
    for (float tx : {-48.0f, -38.0f, 32.0f, 42.0f}) addRect(crest, sc + Vec2{tx, -38.0f}, sc + Vec2{tx + 6.0f, -30.0f});
    for (float tx : {-16.0f, -5.0f, 6.0f}) addRect(crest, sc + Vec2{tx, -52.0f}, sc + Vec2{tx + 10.0f, -44.0f});
    Mask gate = makeMask(W, H);
    addRoundedRect(gate, sc + Vec2{-9.0f, 2.0f}, Vec2{sc.x + 9.0f, base + 2.0f}, 8.0f);
    subtractMask(crest, gate);
    paintMask(c, crest, hex(0x6a1a1e));
    Mask year = makeMask(W, H);
    addTextCentred(year, fonts.serifBold, "EST. 1362", sc.x, base + 30.0f, 20.0f, 1.5f);
    paintMask(c, year, hex(0x5a420c));

    // The wording.
    const float left = 400.0f;
    Mask heading = makeMask(W, H), body = makeMask(W, H), small = makeMask(W, H), rules = makeMask(W, H);
    addText(heading, fonts.serifBold, "OFFICIAL SEAL OF APPROVAL", {left, 92.0f}, fitTextSize(fonts.serifBold, "OFFICIAL SEAL OF APPROVAL", 580.0f, 44.0f, 1.0f), 1.0f);
    addText(body, fonts.serif, "Ministry of Demos \xc2\xb7 Republic of Molvania", {left, 130.0f}, 25.0f);
    addRect(rules, {left, 148.0f}, {W - 60.0f, 150.0f});
    addText(body, fonts.serif, "This production has been inspected and found to contain", {left, 186.0f}, 22.0f);
    addText(body, fonts.serif, "no fewer than the statutory number of rotating objects,", {left, 214.0f}, 22.0f);
    addText(body, fonts.serif, "one donut, and music of approved loudness.", {left, 242.0f}, 22.0f);
    addText(small, fonts.mono, "CERTIFICATE No. 0042-B", {left, 290.0f}, 19.0f, 1.0f);
    addText(small, fonts.mono, "VALID IN ALL PROVINCES", {left, 314.0f}, 19.0f, 1.0f);
    addRect(rules, {left + 300.0f, 356.0f}, {W - 60.0f, 357.5f});
    addTextCentred(small, fonts.serif, "Chief Inspector of Demos", (left + 300.0f + W - 60.0f) * 0.5f, 380.0f, 19.0f);
    paintMask(c, heading, ink);
    paintMask(c, body, hex(0x2a2a2a));
    paintMask(c, small, hex(0x3a3a3a));
    paintMask(c, rules, ink);
    // The signature: a looping flourish above the line.
    Mask signature = makeMask(W, H);
    std::vector<Vec2> flourish;
    for (int k = 0; k <= 600; ++k) {
        float t = k / 600.0f;
        // Cursive strokes: the pen runs right while circling, each turn of its own height; a
        // tall opening capital, and a swash back under the name at the end.
        float turns = t * 8.0f;
        float height = 10.0f + 20.0f * hash01(static_cast<int>(turns), 0, 5) + (t < 0.1f ? 16.0f : 0.0f);
        float x = left + 318.0f + t * 230.0f + 9.0f * std::sin(turns * 2.0f * kPi);
        float y = 340.0f - height * (0.5f - 0.5f * std::cos(turns * 2.0f * kPi));
        if (t > 0.9f) {
            float back = (t - 0.9f) / 0.1f;
            x = left + 318.0f + 0.9f * 230.0f + 20.0f - back * 180.0f;
            y = 342.0f + 4.0f * std::sin(back * kPi);
        }
        flourish.push_back({x, y});
    }
    addPolyline(signature, flourish, 2.2f);
    paintMask(c, signature, hex(0x1b2a6a));
    // The stamp across the corner, slightly worn.
    Mask stamp = makeMask(W, H);
    const Vec2 st{855.0f, 280.0f};
    const float angle = -0.22f;
    auto turned = [&](float x, float y) {
        return st + Vec2{x * std::cos(angle) - y * std::sin(angle), x * std::sin(angle) + y * std::cos(angle)};
    };
    Mask outer = makeMask(W, H), inner = makeMask(W, H);
    addPolygon(outer, {turned(-132, -40), turned(132, -40), turned(132, 40), turned(-132, 40)});
    addPolygon(inner, {turned(-125, -33), turned(125, -33), turned(125, 33), turned(-125, 33)});
    subtractMask(outer, inner);
    addTextRotated(stamp, fonts.sansBold, "APPROVED", st, 40.0f, angle, 3.0f);
    for (size_t i = 0; i < stamp.coverage.size(); ++i) stamp.coverage[i] = std::max(stamp.coverage[i], outer.coverage[i]);
    paintMask(c, stamp, [&](float x, float y) {
        // Ink that did not take: patches where the stamp pressed lightly.
        float wear = smoothstep(-0.45f, 0.05f, fbm(x * 0.05f, y * 0.05f, 4.0f, 3));
        return withAlpha(red, 0.82f * wear);
    });
    return c;
}

// =======================================================================================
// [SECTION] Lettered skies
//
// These are seen from inside a cube. Cube-map faces follow GL's left-handed face table, so
// from inside, in the demo's right-handed world, every face reads mirrored left to right
// (looking along +Z, screen right is -X, and s grows with +X). The lettering is therefore
// baked mirrored, to read correctly in the demo. Each image also ends in a plain border of
// one colour, so the six copies meet at their seams without a visible step.

// Both are laid out in the pixels of a 512-pixel face and baked at twice that, as a face
// spans about 1300 screen pixels; kLayoutPx is one layout pixel.
constexpr int kLetteredSkySize = 1024;
constexpr float kLayoutPx = kLetteredSkySize / 512.0f;

static void addPlainBorder(Canvas& c, Rgba colour, float width) {
    Mask edge = makeMask(c.width, c.height);
    addRect(edge, {0.0f, 0.0f}, {static_cast<float>(c.width), width});
    addRect(edge, {0.0f, c.height - width}, {static_cast<float>(c.width), static_cast<float>(c.height)});
    addRect(edge, {0.0f, 0.0f}, {width, static_cast<float>(c.height)});
    addRect(edge, {c.width - width, 0.0f}, {static_cast<float>(c.width), static_cast<float>(c.height)});
    paintMask(c, edge, colour);
}

Canvas bakeTitleSky(const Fonts& fonts) {
    const int S = kLetteredSkySize;
    const float Sf = static_cast<float>(S);
    const Rgba edge = hex(0x04060e);
    Canvas c = makeCanvas(S, S, edge);
    // The aurora's height and rays depend on the column alone: worked out once a column.
    std::vector<float> waveAt(S), raysAt(S);
    for (int col = 0; col < S; ++col) {
        const float lx = (col + 0.5f) / kLayoutPx;
        waveAt[col] = fbm(lx * 0.01f, 0.3f, 0.0f, 3);
        raysAt[col] = 0.6f + 0.4f * std::sin(lx * 0.12f + 6.0f * fbm(lx * 0.013f, 2.0f, 0.0f, 2));
    }
    shadeCanvas(c, [&](float x, float y) {
        float r = length(Vec2{x - Sf * 0.5f, y - Sf * 0.5f}) / (Sf * 0.5f);
        Rgba base = mix(hex(0x16244a), edge, smoothstep(0.2f, 1.05f, r));
        int col = static_cast<int>(x);
        float band = std::exp(-std::pow((y - Sf * (0.36f + 0.05f * waveAt[col])) / (Sf * 0.09f), 2.0f));
        float rays = raysAt[col];
        return added(base, mix(hex(0x3dffa0), hex(0x8a5aff), clamp01((Sf * 0.4f - y) / (Sf * 0.2f))), band * rays * 0.4f * (1.0f - smoothstep(0.6f, 1.0f, r)));
    });
    Mask stars = makeMask(S, S);
    for (int i = 0; i < 120; ++i) addCircle(stars, {hash01(i, 0, 13) * Sf, hash01(i, 1, 13) * Sf}, (0.5f + 0.8f * hash01(i, 2, 13)) * kLayoutPx);
    paintMask(c, stars, hex(0xeaf2ff, 0.7f));
    Mask title = makeMask(S, S);
    const float q = kLayoutPx;
    float size = fitTextSize(fonts.sansBold, "NORRVALE", Sf * 0.8f, 110.0f * q, 6.0f * q);
    addTextCentred(title, fonts.sansBold, "NORRVALE", Sf * 0.5f, Sf * 0.56f, size, 6.0f * q);
    paintMask(c, blurredMask(grownMask(title, 3.0f * q), static_cast<int>(10 * q)), hex(0x3dffa0, 0.55f));
    paintMask(c, title, [&](float, float y) { return mix(hex(0xffffff), hex(0x9ad8ff), smoothstep(Sf * 0.45f, Sf * 0.56f, y)); });
    Mask line = makeMask(S, S);
    addRect(line, {Sf * 0.2f, Sf * 0.6f}, {Sf * 0.8f, Sf * 0.6f + 2.0f * q});
    addTextCentred(line, fonts.sans, "a real-time demo", Sf * 0.5f, Sf * 0.67f, 30.0f * q, 4.0f * q);
    paintMask(c, line, hex(0xcfe6ff, 0.9f));
    addPlainBorder(c, edge, 6.0f * q);
    flipHorizontally(c);
    return c;
}

Canvas bakeCreditsSky(const Fonts& fonts) {
    const int S = kLetteredSkySize;
    const float Sf = static_cast<float>(S);
    const Rgba edge = hex(0x0a0a10), gold = hex(0xe8c46a);
    Canvas c = makeCanvas(S, S, edge);
    shadeCanvas(c, [&](float x, float y) {
        float r = length(Vec2{x - Sf * 0.5f, y - Sf * 0.5f}) / (Sf * 0.5f);
        return mix(hex(0x1e1630), edge, smoothstep(0.3f, 1.05f, r));
    });
    const float q = kLayoutPx;
    Mask frame = makeMask(S, S);
    addRoundedRectOutline(frame, {34 * q, 34 * q}, {Sf - 34 * q, Sf - 34 * q}, 18 * q, 3 * q);
    addRoundedRectOutline(frame, {44 * q, 44 * q}, {Sf - 44 * q, Sf - 44 * q}, 12 * q, 1.2f * q);
    paintMask(c, frame, withAlpha(gold, 0.8f));
    Mask heading = makeMask(S, S), roles = makeMask(S, S), names = makeMask(S, S), tools = makeMask(S, S);
    addTextCentred(heading, fonts.serifBold, "CREDITS", Sf * 0.5f, 118 * q, 58 * q, 8 * q);
    struct Line {
        const char* role;
        const char* who;
    };
    // role              by
    const Line lines[] = {
        {"code",     "Norrvale"},
        {"music",    "Norrvale"},
        {"graphics", "Norrvale"},
        {"models",   "Norrvale"},
    };
    float y = 196 * q;
    for (const Line& l : lines) {
        float wRole = textWidth(fonts.serif, l.role, 30 * q);
        addText(roles, fonts.serif, l.role, {Sf * 0.47f - wRole, y}, 30 * q);
        addText(names, fonts.serifBold, l.who, {Sf * 0.53f, y}, 30 * q);
        y += 46 * q;
    }
    addTextCentred(tools, fonts.sans, "made with GLFW \xc2\xb7 glm \xc2\xb7 assimp \xc2\xb7 stb", Sf * 0.5f, 408 * q, 20 * q);
    addTextCentred(tools, fonts.sans, "SDL \xc2\xb7 Mesa \xc2\xb7 LAME \xc2\xb7 GCC \xc2\xb7 CMake \xc2\xb7 Debian", Sf * 0.5f, 436 * q, 20 * q);
    paintMask(c, blurredMask(heading, static_cast<int>(6 * q)), withAlpha(gold, 0.5f));
    paintMask(c, heading, gold);
    paintMask(c, roles, hex(0xc8c0e0));
    paintMask(c, names, hex(0xffffff));
    paintMask(c, tools, hex(0xb0a8c8));
    Mask rule = makeMask(S, S);
    addSegment(rule, {Sf * 0.3f, 140 * q}, {Sf * 0.7f, 140 * q}, 1.5f * q);
    addCircle(rule, {Sf * 0.5f, 140 * q}, 4 * q);
    addSegment(rule, {Sf * 0.25f, 378 * q}, {Sf * 0.75f, 378 * q}, q);
    paintMask(c, rule, withAlpha(gold, 0.8f));
    addPlainBorder(c, edge, 6 * q);
    flipHorizontally(c);
    return c;
}

}  // namespace bake
