// ShaderProgram: one vertex/fragment file pair read, compiled and linked into a GL
// program, with the by-name uniform setters the scenes use every frame.
#include "gfx/shader_program.h"
#include "gfx/gl.h"

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// Driver logs are read into a fixed buffer; anything past it is cut off.
constexpr int kLogBufferSize = 1024;

const char* const kLogSeparator = "\n -- --------------------------------------------------- -- ";

GLuint compileShader(GLenum type, const std::string& source, const std::string& kind) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    checkBuildStatus(shader, kind);
    return shader;
}

}  // namespace

ShaderProgram::ShaderProgram(const char* vertexPath, const char* fragmentPath) {
    std::string vertexCode;
    std::string fragmentCode;
    std::ifstream vertexFile;
    std::ifstream fragmentFile;
    // Armed before opening, so a missing file raises as well as a failed read.
    vertexFile.exceptions(std::ifstream::failbit | std::ifstream::badbit);
    fragmentFile.exceptions(std::ifstream::failbit | std::ifstream::badbit);
    try {
        vertexFile.open(vertexPath);
        fragmentFile.open(fragmentPath);
        // Copying an empty file marks only the string stream as failed, and that one
        // raises nothing: an empty source is not a read error.
        std::stringstream vertexStream;
        std::stringstream fragmentStream;
        vertexStream << vertexFile.rdbuf();
        fragmentStream << fragmentFile.rdbuf();
        vertexFile.close();
        fragmentFile.close();
        // Assigned only once both files are through, so a failure leaves both empty.
        vertexCode = vertexStream.str();
        fragmentCode = fragmentStream.str();
    } catch (const std::ios_base::failure&) {
        std::cout << "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ" << std::endl;
    }

    // Every step runs even after a failure, so the driver's own complaints get printed
    // and `id` always names a program.
    GLuint vertex = compileShader(GL_VERTEX_SHADER, vertexCode, "VERTEX");
    GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentCode, "FRAGMENT");

    id = glCreateProgram();
    glAttachShader(id, vertex);
    glAttachShader(id, fragment);
    glLinkProgram(id);
    checkBuildStatus(id, "PROGRAM");

    // The linked program keeps what it needs; the shader objects are not kept.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
}

void ShaderProgram::use() const {
    glUseProgram(id);
}

// No location is cached: each set is one lookup and one upload, cheap at the few
// uniforms a scene sets per frame.
void ShaderProgram::setInt(const std::string& name, int value) const {
    glUniform1i(glGetUniformLocation(id, name.c_str()), value);
}

void ShaderProgram::setFloat(const std::string& name, float value) const {
    glUniform1f(glGetUniformLocation(id, name.c_str()), value);
}

void ShaderProgram::setVec2(const std::string& name, const glm::vec2& value) const {
    glUniform2fv(glGetUniformLocation(id, name.c_str()), 1, &value[0]);
}

void ShaderProgram::setMat4(const std::string& name, const glm::mat4& value) const {
    glUniformMatrix4fv(glGetUniformLocation(id, name.c_str()), 1, GL_FALSE, &value[0][0]);
}

void checkBuildStatus(unsigned object, const std::string& kind) {
    GLint success = 0;
    GLchar log[kLogBufferSize] = {};
    if (kind == "PROGRAM") {
        glGetProgramiv(object, GL_LINK_STATUS, &success);
        if (!success) {
            glGetProgramInfoLog(object, kLogBufferSize, nullptr, log);
            std::cout << "ERROR::PROGRAM_LINKING_ERROR of type: " << kind << "\n"
                      << log << kLogSeparator << std::endl;
        }
    } else {
        glGetShaderiv(object, GL_COMPILE_STATUS, &success);
        if (!success) {
            glGetShaderInfoLog(object, kLogBufferSize, nullptr, log);
            std::cout << "ERROR::SHADER_COMPILATION_ERROR of type: " << kind << "\n"
                      << log << kLogSeparator << std::endl;
        }
    }
}
