// The donut and the duck as the recipes build them. Every triangle corner becomes a vertex
// of its own on import and the donut is drawn right in front of the camera, so their
// triangle counts decide much of the opening's and duck city's frame time; the dough is
// only built where the glaze does not cover it, and must still close the donut.
#include "recipes.h"
#include <gtest/gtest.h>
#include <cmath>
#include <map>

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kRingRadius = 0.45f;   // the donut's tube centre circle, from its recipe

size_t triangleCount(const bake::BakedModel& model) {
    size_t n = 0;
    for (const bake::ObjPart& part : model.parts) n += part.triangles.size();
    return n;
}

const bake::ObjPart& partNamed(const bake::BakedModel& model, const std::string& name) {
    for (const bake::ObjPart& part : model.parts)
        if (part.name == name) return part;
    throw std::runtime_error("no part " + name);
}

// A point of the torus in ring angle phi, angle round the tube theta (0 at the outer
// equator, pi/2 on top) and distance from the tube's centre circle. Theta runs from -1.5
// to 2 pi - 1.5, so that it does not jump anywhere along the glaze.
struct TubePoint {
    float phi, theta, radius;
};

TubePoint tubePoint(const bake::Vec3& p) {
    float ring = std::sqrt(p.x * p.x + p.z * p.z);
    float across = ring - kRingRadius;
    float theta = std::atan2(p.y, across);
    if (theta < -1.5f) theta += 2.0f * kPi;
    return {std::atan2(-p.z, p.x), theta, std::sqrt(across * across + p.y * p.y)};
}

// The part's vertices, grouped by ring angle (one group per grid column).
std::map<int, std::vector<TubePoint>> columns(const bake::ObjPart& part) {
    std::map<int, std::vector<TubePoint>> byPhi;
    for (const bake::ObjVertex& v : part.vertices) {
        TubePoint t = tubePoint(v.position);
        byPhi[int(std::lround(t.phi * 1000.0f))].push_back(t);
    }
    return byPhi;
}

// The glaze column nearest in ring angle.
const std::vector<TubePoint>& nearestColumn(const std::map<int, std::vector<TubePoint>>& byPhi, float phi) {
    const std::vector<TubePoint>* best = nullptr;
    float bestGap = 1e9f;
    for (const auto& [key, column] : byPhi) {
        float gap = std::fabs(std::remainder(column.front().phi - phi, 2.0f * kPi));
        if (gap < bestGap) bestGap = gap, best = &column;
    }
    return *best;
}

// The glaze's distance from the tube centre at angle theta along one column, or -1 where
// the glaze does not reach.
float glazeRadiusAt(const std::vector<TubePoint>& column, float theta) {
    for (size_t i = 0; i + 1 < column.size(); ++i) {
        float a = column[i].theta, b = column[i + 1].theta;
        if ((theta - a) * (theta - b) <= 0.0f && a != b)
            return column[i].radius + (column[i + 1].radius - column[i].radius) * (theta - a) / (b - a);
    }
    return -1.0f;
}

} // namespace

TEST(tessellation, donut_and_duck_stay_within_their_triangle_budgets) {
    // The opening draws one donut and duck city four ducks every frame.
    EXPECT_LE(triangleCount(bake::bakeDonut()), 4600u);
    EXPECT_LE(triangleCount(bake::bakeRubberDuck()), 3000u);
}

TEST(tessellation, dough_edges_lie_under_the_glaze_all_round_the_ring) {
    bake::BakedModel donut = bake::bakeDonut();
    auto glaze = columns(partNamed(donut, "glaze"));
    auto dough = columns(partNamed(donut, "dough"));
    ASSERT_GT(glaze.size(), 16u);
    ASSERT_GT(dough.size(), 16u);
    for (const auto& [key, column] : dough) {
        // The dough runs from just past the inner equator under the donut to just short
        // of the outer equator: its first and last rows are its two edges.
        for (const TubePoint& edge : {column.front(), column.back()}) {
            SCOPED_TRACE("ring angle " + std::to_string(edge.phi) + ", tube angle " + std::to_string(edge.theta));
            float over = glazeRadiusAt(nearestColumn(glaze, edge.phi), edge.theta);
            ASSERT_GT(over, 0.0f) << "the glaze does not reach over the dough's edge";
            EXPECT_GT(over, edge.radius + 0.002f) << "the dough's edge shows through the glaze";
        }
        // Between its edges the dough goes round under the donut, where no glaze is.
        bool passesUnderneath = false;
        for (const TubePoint& p : column) passesUnderneath |= std::fabs(std::remainder(p.theta + 0.5f * kPi, 2.0f * kPi)) < 0.2f;
        EXPECT_TRUE(passesUnderneath) << "ring angle " << column.front().phi;
    }
}
