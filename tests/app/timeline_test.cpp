// The timeline's bounds and the frame's clear, recorded on the real driver.
#include "app/resources.h"
#include "app/timeline.h"
#include "gl_context.h"
#include "gl_recorder.h"
#include "input/input.h"

namespace {

struct Timeline : GlTest {
    SceneResources res;
    LoopValues loop;
};

void expectOnlyTheClear(const std::vector<GlCall>& calls) {
    ASSERT_EQ(callNames(calls), (std::vector<std::string>{"glClearColor", "glClear"}));
    EXPECT_EQ(calls[0].floats, (std::vector<float>{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(calls[1].ints[0], 0x4100);  // colour and depth
}

} // namespace

TEST_F(Timeline, frame_on_a_bound_draws_nothing_and_is_presented) {
    for (float bound : {20.0f, 40.0f, 95.0f, 130.0f, 160.0f, 247.0f, 265.0f}) {
        SCOPED_TRACE(bound);
        startRecording();
        bool presented = drawFrame(bound, res, loop);
        expectOnlyTheClear(stopRecording());
        EXPECT_TRUE(presented);
    }
}

TEST_F(Timeline, first_frame_past_the_end_is_cleared_but_not_presented) {
    startRecording();
    bool presented = drawFrame(265.001f, res, loop);
    expectOnlyTheClear(stopRecording());
    EXPECT_FALSE(presented);
    EXPECT_FALSE(drawFrame(1000.0f, res, loop));
}

TEST_F(Timeline, window_close_requested_before_the_first_frame_draws_nothing) {
    glfwSetWindowShouldClose(testWindow(), GLFW_TRUE);
    startRecording();
    LoopEnd how = runFrameLoop(testWindow(), res, loop);
    std::vector<GlCall> calls = stopRecording();
    glfwSetWindowShouldClose(testWindow(), GLFW_FALSE);
    EXPECT_EQ(how, LoopEnd::closeRequested);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Timeline, loop_past_the_end_stops_on_its_own) {
    glfwSetTime(265.5 + 13.0);
    startRecording();
    LoopEnd how = runFrameLoop(testWindow(), res, loop);
    std::vector<GlCall> calls = stopRecording();
    EXPECT_EQ(how, LoopEnd::timelineOver);
    expectOnlyTheClear(calls);
}

TEST_F(Timeline, resize_sets_the_viewport_even_when_minimised) {
    GLint saved[4];
    glGetIntegerv(GL_VIEWPORT, saved);
    for (auto [w, h] : {std::pair{800, 600}, std::pair{0, 0}}) {
        onFramebufferResize(testWindow(), w, h);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], w);
        EXPECT_EQ(viewport[3], h);
    }
    glViewport(saved[0], saved[1], saved[2], saved[3]);
}

TEST_F(Timeline, shutdown_deletes_the_arrays_of_its_path_in_order) {
    Geometry g;
    g.texturedQuadVAO = 11; g.instancedQuadVAO = 12; g.skyboxVAO = 13; g.cubeVAO = 14;
    g.instancedQuadVBO = 21; g.texturedQuadVBO = 22; g.skyboxVBO = 23; g.cubeVBO = 24;
    g.texturedQuadEBO = 25; g.instancedQuadEBO = 26;
    auto deleted = [&](LoopEnd how) {
        startRecording();
        deleteShutdownGeometry(g, how);
        std::vector<long long> names;
        for (const GlCall& call : stopRecording()) {
            EXPECT_EQ(call.ints[0], 1) << "one name per call";
            names.push_back((call.name == "glDeleteVertexArrays" ? 100 : 200) + call.ints[1]);
        }
        return names;
    };
    EXPECT_EQ(deleted(LoopEnd::closeRequested),
              (std::vector<long long>{111, 112, 113, 114, 221, 222, 223, 224, 225, 226}));
    EXPECT_EQ(deleted(LoopEnd::timelineOver), (std::vector<long long>{113, 114, 223, 224}));
}
