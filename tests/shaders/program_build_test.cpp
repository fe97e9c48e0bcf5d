// The seventeen programs built from the real shader sources on the real driver: they
// compile and link silently, read their vertex attributes where the vertex arrays they
// are drawn with put them, read only uniforms their scenes feed, and never leave a 2D
// and a cube sampler on one texture unit.
#include "gfx/shader_program.h"
#include "gl_context.h"
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>


namespace {

// The vertex arrays a program can be drawn with.
enum Layout : unsigned {
    kMesh          = 1 << 0,   // 0 position, 1 normal, 2 uv, 3 tangent, 4 bitangent, 5 bone ids, 6 weights
    kSkybox        = 1 << 1,   // 0 position
    kTexturedQuad  = 1 << 2,   // 0 position, 1 colour, 2 uv
    kInstancedQuad = 1 << 3,   // 0 position, 1 uv, 2 per-instance offset
    kScreenQuad    = 1 << 4,   // 0 position
    kCube          = 1 << 5,   // 0 position, 1 uv
};

struct BufferAttribute {
    int components;
    bool integer;
};

std::map<int, BufferAttribute> attributesOf(Layout layout) {
    switch (layout) {
    case kMesh:
        return {{0, {3, false}}, {1, {3, false}}, {2, {2, false}}, {3, {3, false}},
                {4, {3, false}}, {5, {4, true}},  {6, {4, false}}};
    case kSkybox:        return {{0, {3, false}}};
    case kTexturedQuad:  return {{0, {3, false}}, {1, {3, false}}, {2, {2, false}}};
    case kInstancedQuad: return {{0, {3, false}}, {1, {2, false}}, {2, {2, false}}};
    case kScreenQuad:    return {{0, {3, false}}};
    case kCube:          return {{0, {3, false}}, {1, {2, false}}};
    }
    return {};
}

const std::vector<std::string> kQuadUniforms   = {"u_resolution", "u_time", "view", "projection", "model"};
const std::vector<std::string> kModelUniforms  = {"view", "projection", "model"};
const std::vector<std::string> kCityUniforms   = {"transform3", "time", "end", "mixItUp", "projection", "view"};
const std::vector<std::string> kTileUniforms   = {"projection", "view", "model", "offsets", "timer"};

struct ProgramCase {
    const char* name;
    const char* vertex;
    const char* fragment;
    const char* sampler;              // set once at start-up, or null
    int unit;
    unsigned drawnWith;               // Layout bits
    std::vector<std::string> fed;     // uniforms the scene sets, besides samplers
};

// name                  vertex file                     fragment file                                sampler       unit  drawn with             fed
const ProgramCase kPrograms[] = {
    {"pointLastShader",    "pointTest3-texture.vs",        "pointTestLast.fs",                          nullptr,      0, kTexturedQuad,         kQuadUniforms},
    {"point12Shader",      "pointTest2.vs",                "pointTest12.fs",                            nullptr,      0, kScreenQuad,           kQuadUniforms},
    {"point15Shader",      "pointTest3-texture.vs",        "pointTest15-texture.fs",                    "texture15",  2, kTexturedQuad,         kQuadUniforms},
    {"planetShader",       "10.3.planet.vs",               "10.3.planet.fs",                            nullptr,      0, kMesh,                 kModelUniforms},
    {"fragCoordSkyShader", "6.FragCoordTest.skybox.vs",    "6.Alt.FragCoordTest.skybox2.fs",            "skybox",     0, kSkybox,               kCityUniforms},
    {"planetShader2",      "10.3.planet.vs",               "10.3.planet.fs",                            nullptr,      0, kMesh,                 kModelUniforms},
    {"reflectShader",      "1.reflect.model_loading.vs",   "1.reflect.model_loading.fs",                nullptr,      0, kMesh,                 kModelUniforms},
    {"wellSkyShader",      "well.skybox.vs",               "6.2.skybox.fs",                             "skybox",     0, kSkybox,               {"transform4", "projection", "view"}},
    {"titleSkyShader",     "6.5.skybox.vs",                "6.2.skybox.fs",                             "skybox",     0, kSkybox,               {"transform3", "projection", "view"}},
    {"model13Shader",      "1.3.model_loading.vs",         "1.model_loading.fs",                        nullptr,      0, kMesh,                 {"view", "projection", "transform2", "model"}},
    {"forestSkyShader",    "6.FragCoordTest.skybox.vs",    "6.Refr.FragCoordTest.Forest.skybox.fs",     "skybox",     0, kSkybox,               kCityUniforms},
    {"refractShader",      "1.refract.model_loading.vs",   "1.refract.model_loading.fs",                nullptr,      0, kMesh | kCube,         kModelUniforms},
    {"duckCitySkyShader",  "DuckCity.VertexS.vs",          "6.2.skybox.fs",                             "skybox",     0, kSkybox,               {"projection", "view"}},
    {"modelShader",        "1.model_loading.vs",           "1.model_loading.fs",                        nullptr,      0, kMesh,                 kModelUniforms},
    {"tampereSkyShader",   "6.Tampere.skybox.vs",          "6.Tampere.skybox.fs",                       "skybox",     0, kSkybox,               {"transform3", "time", "projection", "view"}},
    {"instancingShader",   "instancing2.vs",               "instancing3.fs",                            "texture1",   0, kInstancedQuad,        kTileUniforms},
    {"stencilColorShader", "instancing2.vs",               "2.stencil_single_color.fs",                 nullptr,      0, kInstancedQuad,        kTileUniforms},
};

std::string sourcePath(const char* file) { return std::string(NORRVALE_SHADER_DIR) + "/" + file; }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The driver's log for one stage compiled on its own; empty when it has nothing to say.
std::string compileLog(GLenum stage, const std::string& path) {
    std::string source = readFile(path);
    const char* text = source.c_str();
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(length > 0 ? length : 0, '\0');
    if (length > 0) glGetShaderInfoLog(shader, length, nullptr, log.data());
    glDeleteShader(shader);
    return log.c_str();
}

struct ActiveVariable {
    std::string name;
    GLenum type;
    GLint location;
};

std::vector<ActiveVariable> activeAttributes(GLuint program) {
    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &count);
    std::vector<ActiveVariable> result;
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLint size = 0;
        GLenum type = 0;
        glGetActiveAttrib(program, GLuint(i), sizeof name, nullptr, &size, &type, name);
        if (std::string(name).rfind("gl_", 0) == 0) continue;
        result.push_back({name, type, glGetAttribLocation(program, name)});
    }
    return result;
}

std::vector<ActiveVariable> activeUniforms(GLuint program) {
    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    std::vector<ActiveVariable> result;
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program, GLuint(i), sizeof name, nullptr, &size, &type, name);
        result.push_back({name, type, glGetUniformLocation(program, name)});
    }
    return result;
}

// Components and integer-ness of an attribute type.
BufferAttribute shapeOf(GLenum type) {
    switch (type) {
    case GL_FLOAT:      return {1, false};
    case GL_FLOAT_VEC2: return {2, false};
    case GL_FLOAT_VEC3: return {3, false};
    case GL_FLOAT_VEC4: return {4, false};
    case GL_INT:        return {1, true};
    case GL_INT_VEC2:   return {2, true};
    case GL_INT_VEC3:   return {3, true};
    case GL_INT_VEC4:   return {4, true};
    }
    return {0, false};
}

bool isSampler(GLenum type) { return type == GL_SAMPLER_2D || type == GL_SAMPLER_CUBE; }

// The samplers a mesh points at its own textures: a family name and a number.
bool isMeshSampler(const std::string& name) {
    for (const char* family : {"texture_diffuse", "texture_specular", "texture_normal", "texture_height"})
        if (name.rfind(family, 0) == 0) return true;
    return false;
}

// The name a scene sets an array element by, without its index ("offsets[0]" -> "offsets").
std::string baseName(const std::string& name) { return name.substr(0, name.find('[')); }

// Builds one program from the sources and gives it its start-up sampler setting.
GLuint buildProgram(const ProgramCase& c) {
    ShaderProgram program(sourcePath(c.vertex).c_str(), sourcePath(c.fragment).c_str());
    if (c.sampler) {
        program.use();
        program.setInt(c.sampler, c.unit);
        glUseProgram(0);
    }
    return program.id;
}

struct programs : GlTest {};

TEST_F(programs, build_with_nothing_printed_and_link) {
    for (const ProgramCase& c : kPrograms) {
        SCOPED_TRACE(c.name);
        StdoutCapture capture;
        capture.begin();
        ShaderProgram program(sourcePath(c.vertex).c_str(), sourcePath(c.fragment).c_str());
        std::string printed = capture.end();
        EXPECT_EQ(printed, "");
        GLint linked = 0;
        glGetProgramiv(program.id, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
    }
}

TEST_F(programs, draw_no_driver_warning_from_either_stage_or_the_link) {
    for (const ProgramCase& c : kPrograms) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(compileLog(GL_VERTEX_SHADER, sourcePath(c.vertex)), "") << c.vertex;
        EXPECT_EQ(compileLog(GL_FRAGMENT_SHADER, sourcePath(c.fragment)), "") << c.fragment;
        GLuint program = buildProgram(c);
        GLint length = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
        std::string log(length > 0 ? length : 0, '\0');
        if (length > 0) glGetProgramInfoLog(program, length, nullptr, log.data());
        EXPECT_EQ(std::string(log.c_str()), "");
    }
}

TEST_F(programs, read_attributes_where_their_vertex_arrays_put_them) {
    for (const ProgramCase& c : kPrograms) {
        SCOPED_TRACE(c.name);
        std::vector<ActiveVariable> attributes = activeAttributes(buildProgram(c));
        EXPECT_FALSE(attributes.empty()) << "nothing reads a position";
        for (const ActiveVariable& a : attributes) {
            BufferAttribute shape = shapeOf(a.type);
            for (unsigned bit = 1; bit <= kCube; bit <<= 1) {
                if (!(c.drawnWith & bit)) continue;
                std::map<int, BufferAttribute> layout = attributesOf(Layout(bit));
                auto slot = layout.find(a.location);
                if (slot == layout.end()) {
                    ADD_FAILURE() << a.name << " at location " << a.location << " is fed by nothing";
                    continue;
                }
                EXPECT_EQ(shape.integer, slot->second.integer) << a.name;
                // Missing components read as (0, 0, 0, 1), so a vec4 of a three-float position is fine.
                EXPECT_TRUE(shape.components <= slot->second.components || shape.components == 4) << a.name;
            }
        }
    }
}

TEST_F(programs, read_only_uniforms_their_scenes_feed) {
    for (const ProgramCase& c : kPrograms) {
        SCOPED_TRACE(c.name);
        std::set<std::string> fed(c.fed.begin(), c.fed.end());
        for (const ActiveVariable& u : activeUniforms(buildProgram(c))) {
            if (isSampler(u.type)) continue;
            EXPECT_TRUE(fed.count(baseName(u.name))) << u.name << " is never set, so it reads as zero";
        }
    }
}

TEST_F(programs, never_put_a_2d_and_a_cube_sampler_on_one_unit) {
    for (const ProgramCase& c : kPrograms) {
        SCOPED_TRACE(c.name);
        GLuint program = buildProgram(c);
        std::map<GLint, std::set<GLenum>> kindsOnUnit;
        bool meshSamplers = false;
        bool cubeSamplers = false;
        for (const ActiveVariable& u : activeUniforms(program)) {
            if (!isSampler(u.type)) continue;
            cubeSamplers |= u.type == GL_SAMPLER_CUBE;
            // A mesh points these at units 0, 1, ... when it draws, whatever they hold now.
            if ((c.drawnWith & kMesh) && isMeshSampler(u.name)) {
                EXPECT_EQ(u.type, GLenum(GL_SAMPLER_2D)) << u.name;
                meshSamplers = true;
                continue;
            }
            GLint unit = -1;
            glGetUniformiv(program, u.location, &unit);
            kindsOnUnit[unit].insert(u.type);
        }
        for (const auto& [unit, kinds] : kindsOnUnit)
            EXPECT_EQ(kinds.size(), 1u) << "unit " << unit << " is sampled as 2D and as a cube";
        EXPECT_FALSE(meshSamplers && cubeSamplers) << "the mesh's 2D maps land on the cube map's unit";
    }
}

} // namespace
