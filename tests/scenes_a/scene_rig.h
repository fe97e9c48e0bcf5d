// A test-local set of scene resources and a recorded run of one scene at a chosen
// demoTime, with the checks the scene tests share.
#pragma once
#include <string>
#include <vector>
#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>
#include "app/resources.h"
#include "gl_context.h"
#include "gl_recorder.h"

struct SceneRig {
    SceneResources res;
    LoopValues loop;
};
// Built on first use, with the test context current.
SceneRig& rig();

// One scene call, recorded, with the clock read just before and just after it.
struct Frame {
    std::vector<GlCall> calls;
    double before = 0.0, after = 0.0;
    // Covers the microseconds between the scene's own clock readings and ours.
    float slack() const { return float(1e-4 + 50.0 * (after - before)); }
};
using SceneFn = void (*)(float, SceneResources&, LoopValues&);
Frame runScene(SceneFn scene, float demoTime);

// The sets of `uniform` made while `program` was current.
std::vector<GlCall> setsOn(const Frame& frame, const ShaderProgram& program,
                           const std::string& uniform);
// Each call as its uniform's name when it sets one, else as its GL name; lookups dropped.
std::vector<std::string> labels(const Frame& frame);
// The draw calls, each with the program it drew with.
std::vector<std::pair<std::string, unsigned>> draws(const Frame& frame);

glm::mat4 matrixOf(const GlCall& set);
// Angle times unit axis of a rotation matrix (angle in [0, pi)).
glm::vec3 rotationVector(const glm::mat4& m);
GLint boundInteger(GLenum what);

// Every component of `actual` lies between formula(before) and formula(after).
template <typename Formula>
void expectOverClock(const Frame& frame, const float* actual, Formula formula) {
    const auto lo = formula(frame.before), hi = formula(frame.after);
    // glm's vectors and matrices are plain packed floats.
    const float* a = reinterpret_cast<const float*>(&lo);
    const float* b = reinterpret_cast<const float*>(&hi);
    for (size_t i = 0; i < sizeof(lo) / sizeof(float); ++i) {
        EXPECT_GE(actual[i], std::min(a[i], b[i]) - frame.slack()) << "component " << i;
        EXPECT_LE(actual[i], std::max(a[i], b[i]) + frame.slack()) << "component " << i;
    }
}
// The one matrix set of `uniform` on `program` against a formula in the clock.
template <typename Formula>
void expectMatrix(const Frame& frame, const ShaderProgram& program, const std::string& uniform,
                  Formula formula) {
    const std::vector<GlCall> sets = setsOn(frame, program, uniform);
    ASSERT_EQ(sets.size(), 1u) << uniform;
    ASSERT_EQ(sets[0].name, "glUniformMatrix4fv") << uniform;
    EXPECT_EQ(sets[0].ints, (std::vector<long long>{sets[0].ints[0], 1, GL_FALSE})) << uniform;
    SCOPED_TRACE(uniform);
    expectOverClock(frame, sets[0].floats.data(), formula);
}
inline auto fixed(const glm::mat4& m) {
    return [m](double) { return m; };
}
// projection * view * model of `program` takes the unit quad's corners (+-0.5, +-0.5, 0)
// to (+-reach.x, +-reach.y, 0.9, 1).
void expectQuadReaches(const Frame& frame, const ShaderProgram& program, glm::vec2 reach);
// The labels of a sky drawn last, feeding `uniforms` in this order.
std::vector<std::string> skyLabels(std::vector<std::string> uniforms);
