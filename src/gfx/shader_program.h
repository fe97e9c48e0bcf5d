// A linked GL program built from one vertex and one fragment source file, with
// uniform setters that look the location up by name on every call.
#pragma once
#include <string>
#include <glm/glm.hpp>

struct ShaderProgram {
    unsigned id = 0;

    ShaderProgram() = default;
    // Never throws and never stops the run: unreadable files, compile and link
    // errors are printed on standard output and `id` still names a program.
    ShaderProgram(const char* vertexPath, const char* fragmentPath);

    // The setters go to whichever program is current; call use() first.
    void use() const;
    void setInt(const std::string& name, int value) const;
    void setFloat(const std::string& name, float value) const;
    void setVec2(const std::string& name, const glm::vec2& value) const;
    void setMat4(const std::string& name, const glm::mat4& value) const;
};

// Prints the driver's log for a shader ("VERTEX", "FRAGMENT", ...) or, when the kind is
// exactly "PROGRAM", for a program, if its build status is 0.
void checkBuildStatus(unsigned object, const std::string& kind);
