// The test-local resources: programs that declare exactly the uniforms each scene
// feeds, with their types, and use them all, so that a misspelt name finds no location
// and a set of the wrong type is a GL error; real geometry; a one-triangle donut.
#include "scene_rig.h"

#include <cmath>
#include "gfx/gl.h"
#include <GLFW/glfw3.h>

namespace {

struct Uniform {
    const char* type;
    const char* name;
};

std::string usageOf(const Uniform& u) {
    const std::string type = u.type, name = u.name;
    if (type == "mat4") return name + "[0][0]";
    if (name == "offsets[36]") return "offsets[gl_InstanceID % 36].x";
    return type == "vec2" ? name + ".x" : name;
}

ShaderProgram testProgram(const TempDir& dir, const std::string& label,
                          std::vector<Uniform> uniforms, const std::string& sampler) {
    std::string vertex = "#version 330 core\nlayout(location = 0) in vec3 position;\n";
    std::string sum = "0.0";
    for (const Uniform& u : uniforms) {
        vertex += std::string("uniform ") + u.type + " " + u.name + ";\n";
        sum += " + " + usageOf(u);
    }
    vertex += "void main() { gl_Position = vec4(position, 1.0) + vec4(" + sum + "); }\n";
    const bool cube = sampler == "skybox";
    const std::string fragment = std::string("#version 330 core\nout vec4 colour;\nuniform ") +
                                 (cube ? "samplerCube " : "sampler2D ") + sampler +
                                 ";\nvoid main() { colour = texture(" + sampler +
                                 (cube ? ", vec3(1.0)); }\n" : ", vec2(0.5)); }\n");
    writeTextFile(dir.file(label + ".vs"), vertex);
    writeTextFile(dir.file(label + ".fs"), fragment);
    ShaderProgram program(dir.file(label + ".vs").c_str(), dir.file(label + ".fs").c_str());
    GLint linked = 0;
    glGetProgramiv(program.id, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_TRUE) << label;
    return program;
}

unsigned freshTexture() {
    unsigned name = 0;
    glGenTextures(1, &name);
    return name;
}

SceneRig buildRig() {
    SceneRig rig;
    SceneResources& res = rig.res;
    TempDir dir;
    const Uniform view{"mat4", "view"}, projection{"mat4", "projection"}, model{"mat4", "model"};
    const Uniform resolution{"vec2", "u_resolution"}, time{"float", "u_time"};
    res.point15Shader = testProgram(dir, "point15", {resolution, time, view, projection, model},
                                    "texture15");
    res.pointLastShader = testProgram(dir, "pointLast", {resolution, time, view, projection, model},
                                      "logo");
    res.model13Shader = testProgram(dir, "model13", {view, projection, {"mat4", "transform2"}, model},
                                    "texture_diffuse1");
    res.titleSkyShader = testProgram(dir, "titleSky", {{"mat4", "transform3"}, projection, view},
                                     "skybox");
    res.planetShader = testProgram(dir, "planet", {view, projection, model}, "texture_diffuse1");
    res.wellSkyShader = testProgram(dir, "wellSky", {{"mat4", "transform4"}, projection, view},
                                    "skybox");
    res.instancingShader = testProgram(
        dir, "instancing", {projection, view, model, {"vec2", "offsets[36]"}, {"float", "timer"}},
        "texture1");
    res.tampereSkyShader = testProgram(
        dir, "tampereSky", {{"mat4", "transform3"}, {"float", "time"}, projection, view}, "skybox");

    writeTextFile(dir.file("donut.obj"),
                  "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n");
    res.donutModel = Model(dir.file("donut.obj"));
    res.donutModel2 = Model(dir.file("donut.obj"));
    EXPECT_EQ(res.donutModel.meshes.size(), 1u);

    setupQuadOffsets(res.geometry);
    setupInstancedQuad(res.geometry);
    setupSkybox(res.geometry);
    setupTexturedQuad(res.geometry);

    unsigned* logos[] = {&res.greetLogo1, &res.greetLogo2,  &res.greetLogo3,  &res.greetLogo4,
                         &res.greetLogo5, &res.greetLogo6,  &res.greetLogo7,  &res.greetLogo8,
                         &res.greetLogo9, &res.greetLogo10, &res.greetLogo11, &res.greetLogo12,
                         &res.greetLogo13};
    for (unsigned* logo : logos) *logo = freshTexture();
    res.molvanianTexture = freshTexture();
    res.titleCubemap = freshTexture();
    res.creditsCubemap = freshTexture();
    res.tampereCubemap = freshTexture();
    return rig;
}

}  // namespace

std::vector<std::string> skyLabels(std::vector<std::string> uniforms) {
    uniforms.insert(uniforms.begin(), {"glDepthFunc", "glUseProgram"});
    uniforms.insert(uniforms.end(), {"glBindVertexArray", "glActiveTexture", "glBindTexture",
                                     "glDrawArrays", "glBindVertexArray", "glDepthFunc"});
    return uniforms;
}

SceneRig& rig() {
    static SceneRig built = buildRig();
    return built;
}

Frame runScene(SceneFn scene, float demoTime) {
    SceneRig& r = rig();
    Frame frame;
    glfwSetTime(double(demoTime) + 13.0);
    startRecording();
    frame.before = glfwGetTime();
    scene(demoTime, r.res, r.loop);
    frame.after = glfwGetTime();
    frame.calls = stopRecording();
    // The programs declare every uniform the scenes are meant to feed, and no other.
    for (const GlCall& call : frame.calls) {
        if (call.name.rfind("glUniform", 0) == 0) EXPECT_NE(call.ints[0], -1) << call.uniform;
    }
    return frame;
}

std::vector<GlCall> setsOn(const Frame& frame, const ShaderProgram& program,
                           const std::string& uniform) {
    std::vector<GlCall> sets;
    for (const GlCall& call : uniformSets(frame.calls, uniform)) {
        if (call.program == program.id) sets.push_back(call);
    }
    return sets;
}

std::vector<std::string> labels(const Frame& frame) {
    std::vector<std::string> out;
    for (const GlCall& call : frame.calls) {
        if (call.name == "glGetUniformLocation") continue;
        out.push_back(call.name.rfind("glUniform", 0) == 0 ? call.uniform : call.name);
    }
    return out;
}

std::vector<std::pair<std::string, unsigned>> draws(const Frame& frame) {
    std::vector<std::pair<std::string, unsigned>> out;
    for (const GlCall& call : frame.calls) {
        if (call.name.rfind("glDraw", 0) == 0) out.emplace_back(call.name, call.program);
    }
    return out;
}

glm::mat4 matrixOf(const GlCall& set) {
    return glm::make_mat4(set.floats.data());
}

glm::vec3 rotationVector(const glm::mat4& m) {
    const glm::vec3 twiceSine(m[1][2] - m[2][1], m[2][0] - m[0][2], m[0][1] - m[1][0]);
    const float sine = glm::length(twiceSine) / 2.0f;
    const float cosine = (m[0][0] + m[1][1] + m[2][2] - 1.0f) / 2.0f;
    const float angle = std::atan2(sine, cosine);
    return sine < 1e-6f ? twiceSine / 2.0f : twiceSine * (angle / (2.0f * sine));
}

void expectQuadReaches(const Frame& frame, const ShaderProgram& program, glm::vec2 reach) {
    const auto only = [&](const char* uniform) {
        const std::vector<GlCall> sets = setsOn(frame, program, uniform);
        EXPECT_EQ(sets.size(), 1u) << uniform;
        return sets.empty() ? glm::mat4(0.0f) : matrixOf(sets[0]);
    };
    const glm::mat4 clip = only("projection") * only("view") * only("model");
    for (float x : {-0.5f, 0.5f}) {
        for (float y : {-0.5f, 0.5f}) {
            const glm::vec4 corner = clip * glm::vec4(x, y, 0.0f, 1.0f);
            const glm::vec4 expected(2.0f * x * reach.x, 2.0f * y * reach.y, 0.9f, 1.0f);
            expectOverClock(frame, glm::value_ptr(corner), [&](double) { return expected; });
        }
    }
}

GLint boundInteger(GLenum what) {
    GLint value = 0;
    glGetIntegerv(what, &value);
    return value;
}
