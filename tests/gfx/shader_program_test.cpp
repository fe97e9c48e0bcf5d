// Shader programs against the real driver: what a broken file, source or link
// prints, and where the uniform setters put their values.
#include "gfx/shader_program.h"

#include "gl_context.h"
#include "gl_recorder.h"

#include <glm/gtc/matrix_transform.hpp>
#include <string>
#include <vector>

namespace {

const char* const kVertexSource = R"(#version 330 core
layout (location = 0) in vec3 aPos;
uniform mat4 model;
uniform vec2 shift;
uniform float scale;
void main() { gl_Position = model * vec4(aPos.xy * scale + shift, aPos.z, 1.0); }
)";

const char* const kFragmentSource = R"(#version 330 core
out vec4 FragColor;
uniform sampler2D picture;
uniform float level;
void main() { FragColor = texture(picture, vec2(0.5)) * level; }
)";

// Compiles on its own but cannot link: a vertex stage needs an entry point.
const char* const kVertexWithoutMain = R"(#version 330 core
layout (location = 0) in vec3 aPos;
vec4 unused() { return vec4(aPos, 1.0); }
)";

const char* const kFragmentWithSyntaxError = R"(#version 330 core
out vec4 FragColor;
void main() { FragColor = vec4(1.0) }
)";

// One undeclared name per line: the driver logs an error for each, far past what
// the report buffer holds.
std::string fragmentWithManyErrors() {
    std::string source = "#version 330 core\nout vec4 FragColor;\nvoid main() {\n";
    for (int i = 0; i < 200; ++i)
        source += "    FragColor = undeclaredName" + std::to_string(i) + ";\n";
    return source + "}\n";
}

const std::string kReadFailure = "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ\n";
const std::string kSeparator = "\n -- " + std::string(51, '-') + " -- \n";

std::string compileRecord(const std::string& kind, const std::string& log) {
    return "ERROR::SHADER_COMPILATION_ERROR of type: " + kind + "\n" + log + kSeparator;
}

std::string linkRecord(const std::string& log) {
    return "ERROR::PROGRAM_LINKING_ERROR of type: PROGRAM\n" + log + kSeparator;
}

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::string fullShaderLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(length), '\0');
    if (length > 0)
        glGetShaderInfoLog(shader, length, nullptr, &log[0]);
    return log.c_str();
}

std::string fullProgramLog(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(length), '\0');
    if (length > 0)
        glGetProgramInfoLog(program, length, nullptr, &log[0]);
    return log.c_str();
}

// A shader compiled here, outside the code under test, to know what the driver says.
GLuint compiledShader(GLenum type, const std::string& source) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    return shader;
}

std::string driverCompileLog(GLenum type, const std::string& source) {
    GLuint shader = compiledShader(type, source);
    std::string log = fullShaderLog(shader);
    glDeleteShader(shader);
    return log;
}

// The shaders still attached to a built program, found by stage. They were flagged
// for deletion, but stay queryable while attached.
GLuint attachedShader(GLuint program, GLenum type) {
    GLuint shaders[4] = {};
    GLsizei count = 0;
    glGetAttachedShaders(program, 4, &count, shaders);
    for (GLsizei i = 0; i < count; ++i) {
        GLint shaderType = 0;
        glGetShaderiv(shaders[i], GL_SHADER_TYPE, &shaderType);
        if (static_cast<GLenum>(shaderType) == type)
            return shaders[i];
    }
    return 0;
}

std::string attachedSource(GLuint program, GLenum type) {
    GLuint shader = attachedShader(program, type);
    char text[4096] = {};
    glGetShaderSource(shader, sizeof(text), nullptr, text);
    return text;
}

GLint linkStatus(GLuint program) {
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    return status;
}

struct shaderProgram : GlTest {
    TempDir dir;
    StdoutCapture output;

    std::string write(const std::string& name, const std::string& text) {
        writeTextFile(dir.file(name), text);
        return dir.file(name);
    }

    // Builds a program from two files and returns what the constructor printed.
    std::string build(ShaderProgram& program, const std::string& vertexPath,
                      const std::string& fragmentPath) {
        output.begin();
        program = ShaderProgram(vertexPath.c_str(), fragmentPath.c_str());
        return output.end();
    }

    void TearDown() override {
        glUseProgram(0);
        GlTest::TearDown();
    }
};

}  // namespace

// ---------------------------------------------------------------------------------
// Building

TEST_F(shaderProgram, good_pair_links_silently_and_keeps_no_shader) {
    ShaderProgram program;
    std::string printed = build(program, write("a.vs", kVertexSource), write("a.fs", kFragmentSource));

    EXPECT_EQ(printed, "");
    ASSERT_NE(program.id, 0u);
    EXPECT_EQ(linkStatus(program.id), GL_TRUE);
    for (GLenum type : {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER}) {
        GLuint shader = attachedShader(program.id, type);
        ASSERT_NE(shader, 0u);
        GLint flaggedForDeletion = GL_FALSE;
        glGetShaderiv(shader, GL_DELETE_STATUS, &flaggedForDeletion);
        EXPECT_EQ(flaggedForDeletion, GL_TRUE);
    }
}

// ---------------------------------------------------------------------------------
// Unreadable files

TEST_F(shaderProgram, missing_vertex_file_reports_once_and_builds_from_nothing) {
    ShaderProgram program;
    std::string printed = build(program, dir.file("absent.vs"), write("a.fs", kFragmentSource));

    EXPECT_EQ(printed.rfind(kReadFailure, 0), 0u) << printed;
    EXPECT_EQ(countOf(printed, "FILE_NOT_SUCCESFULLY_READ"), 1);
    // The fragment file was readable, yet its text is dropped with the vertex text.
    EXPECT_EQ(attachedSource(program.id, GL_FRAGMENT_SHADER), "");
    EXPECT_EQ(attachedSource(program.id, GL_VERTEX_SHADER), "");
    EXPECT_NE(program.id, 0u);
    EXPECT_EQ(linkStatus(program.id), GL_FALSE);
    EXPECT_NE(printed.find(linkRecord(fullProgramLog(program.id))), std::string::npos) << printed;
}

TEST_F(shaderProgram, missing_fragment_file_drops_the_vertex_text_too) {
    ShaderProgram program;
    std::string printed = build(program, write("a.vs", kVertexSource), dir.file("absent.fs"));

    EXPECT_EQ(printed.rfind(kReadFailure, 0), 0u) << printed;
    EXPECT_EQ(countOf(printed, "FILE_NOT_SUCCESFULLY_READ"), 1);
    EXPECT_EQ(attachedSource(program.id, GL_VERTEX_SHADER), "");
    EXPECT_EQ(linkStatus(program.id), GL_FALSE);
    EXPECT_NE(printed.find(linkRecord(fullProgramLog(program.id))), std::string::npos) << printed;
}

TEST_F(shaderProgram, empty_file_is_no_read_failure) {
    ShaderProgram program;
    std::string printed = build(program, write("empty.vs", ""), write("a.fs", kFragmentSource));

    EXPECT_EQ(printed.find("FILE_NOT_SUCCESFULLY_READ"), std::string::npos) << printed;
    // The readable fragment text survives, so the read path did not fail.
    EXPECT_EQ(attachedSource(program.id, GL_FRAGMENT_SHADER), kFragmentSource);
    EXPECT_EQ(linkStatus(program.id), GL_FALSE);
    EXPECT_NE(printed.find(linkRecord(fullProgramLog(program.id))), std::string::npos) << printed;
}

// ---------------------------------------------------------------------------------
// Driver reports

TEST_F(shaderProgram, compile_error_prints_the_driver_log_then_the_link_report) {
    ShaderProgram program;
    std::string printed = build(program, write("a.vs", kVertexSource),
                                write("bad.fs", kFragmentWithSyntaxError));

    std::string log = driverCompileLog(GL_FRAGMENT_SHADER, kFragmentWithSyntaxError);
    ASSERT_FALSE(log.empty());
    std::string compile = compileRecord("FRAGMENT", log);
    EXPECT_EQ(printed.rfind(compile, 0), 0u) << printed;
    EXPECT_EQ(printed.find("of type: VERTEX"), std::string::npos);
    // Linking is still attempted after the failed compile, and reports on its own.
    EXPECT_EQ(printed.substr(compile.size()), linkRecord(fullProgramLog(program.id)));
}

TEST_F(shaderProgram, long_compile_log_is_cut_to_1023_characters) {
    std::string source = fragmentWithManyErrors();
    std::string fullLog = driverCompileLog(GL_FRAGMENT_SHADER, source);
    ASSERT_GT(fullLog.size(), 1023u) << "the driver's log is too short to be cut";

    ShaderProgram program;
    std::string printed = build(program, write("a.vs", kVertexSource), write("many.fs", source));

    const std::string head = "ERROR::SHADER_COMPILATION_ERROR of type: FRAGMENT\n";
    ASSERT_EQ(printed.rfind(head, 0), 0u) << printed.substr(0, 200);
    size_t separatorAt = printed.find(kSeparator);
    ASSERT_NE(separatorAt, std::string::npos);
    std::string printedLog = printed.substr(head.size(), separatorAt - head.size());
    EXPECT_EQ(printedLog.size(), 1023u);
    EXPECT_EQ(printedLog, fullLog.substr(0, 1023));
}

TEST_F(shaderProgram, link_error_prints_only_the_program_report) {
    ShaderProgram program;
    std::string printed = build(program, write("nomain.vs", kVertexWithoutMain),
                                write("a.fs", kFragmentSource));

    ASSERT_EQ(linkStatus(program.id), GL_FALSE);
    std::string log = fullProgramLog(program.id);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(printed, linkRecord(log));
}

// ---------------------------------------------------------------------------------
// checkBuildStatus

TEST_F(shaderProgram, any_kind_but_exactly_program_checks_a_compile) {
    GLuint shader = compiledShader(GL_FRAGMENT_SHADER, kFragmentWithSyntaxError);
    std::string log = fullShaderLog(shader);
    for (const std::string kind : {"program", "PROGRAM ", "PROGRA", "PROGRAMS", "GEOMETRY", ""}) {
        output.begin();
        checkBuildStatus(shader, kind);
        EXPECT_EQ(output.end(), compileRecord(kind, log)) << "kind '" << kind << "'";
    }
    glDeleteShader(shader);
}

// ---------------------------------------------------------------------------------
// Uniform setters

TEST_F(shaderProgram, setters_write_to_the_current_program) {
    std::string vs = write("a.vs", kVertexSource), fs = write("a.fs", kFragmentSource);
    ShaderProgram current, other;
    build(current, vs, fs);
    build(other, vs, fs);

    current.use();
    other.setFloat("level", 0.25f);

    GLfloat inCurrent = -1.0f, inOther = -1.0f;
    glGetUniformfv(current.id, glGetUniformLocation(current.id, "level"), &inCurrent);
    glGetUniformfv(other.id, glGetUniformLocation(other.id, "level"), &inOther);
    EXPECT_EQ(inCurrent, 0.25f);
    EXPECT_EQ(inOther, 0.0f);
}

TEST_F(shaderProgram, every_set_looks_the_location_up_again) {
    ShaderProgram program;
    build(program, write("a.vs", kVertexSource), write("a.fs", kFragmentSource));
    program.use();

    startRecording();
    program.setFloat("level", 1.0f);
    program.setFloat("level", 2.0f);
    program.setInt("picture", 0);
    program.setVec2("shift", glm::vec2(1.0f, 2.0f));
    program.setMat4("model", glm::mat4(1.0f));
    std::vector<GlCall> calls = stopRecording();

    EXPECT_EQ(callNames(calls), (std::vector<std::string>{
                  "glGetUniformLocation", "glUniform1f", "glGetUniformLocation", "glUniform1f",
                  "glGetUniformLocation", "glUniform1i", "glGetUniformLocation", "glUniform2fv",
                  "glGetUniformLocation", "glUniformMatrix4fv"}));
    std::vector<GlCall> lookups = callsNamed(calls, "glGetUniformLocation");
    std::vector<std::string> names;
    for (const GlCall& lookup : lookups)
        names.push_back(lookup.uniform);
    EXPECT_EQ(names, (std::vector<std::string>{"level", "level", "picture", "shift", "model"}));
    EXPECT_EQ(uniformSets(calls, "level").size(), 2u);
}

TEST_F(shaderProgram, values_arrive_unchanged) {
    ShaderProgram program;
    build(program, write("a.vs", kVertexSource), write("a.fs", kFragmentSource));
    program.use();

    // Not symmetric, so a transposed upload would show.
    glm::mat4 model = glm::translate(glm::mat4(1.0f), glm::vec3(3.0f, -4.0f, 5.0f));
    model = glm::rotate(model, 0.7f, glm::vec3(0.0f, 0.0f, 1.0f));
    program.setMat4("model", model);
    program.setVec2("shift", glm::vec2(-1.5f, 2.5f));
    program.setFloat("scale", 0.125f);
    program.setInt("picture", 3);

    GLfloat matrix[16] = {}, shift[2] = {}, scale = 0.0f;
    GLint picture = -1;
    glGetUniformfv(program.id, glGetUniformLocation(program.id, "model"), matrix);
    glGetUniformfv(program.id, glGetUniformLocation(program.id, "shift"), shift);
    glGetUniformfv(program.id, glGetUniformLocation(program.id, "scale"), &scale);
    glGetUniformiv(program.id, glGetUniformLocation(program.id, "picture"), &picture);
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(matrix[column * 4 + row], model[column][row]) << column << "," << row;
    EXPECT_EQ(shift[0], -1.5f);
    EXPECT_EQ(shift[1], 2.5f);
    EXPECT_EQ(scale, 0.125f);
    EXPECT_EQ(picture, 3);
}

TEST_F(shaderProgram, unknown_uniform_is_ignored_quietly) {
    ShaderProgram program;
    build(program, write("a.vs", kVertexSource), write("a.fs", kFragmentSource));
    program.use();

    output.begin();
    program.setFloat("noSuchUniform", 1.0f);
    program.setInt("noSuchUniform", 1);
    program.setVec2("noSuchUniform", glm::vec2(1.0f));
    program.setMat4("noSuchUniform", glm::mat4(1.0f));
    EXPECT_EQ(output.end(), "");
    // The fixture checks that no GL error was raised.
}
