// Small files and GL objects the model tests build for themselves: PNG images, a
// program with every model sampler, and a colour target to draw into.
#pragma once
#include <string>
#include <vector>

#include "gfx/gl.h"
#include "gfx/shader_program.h"
#include "gl_context.h"

struct Rgba {
    unsigned char r, g, b, a;
};

// A width x height RGBA PNG, pixels row by row from the top.
void writePng(const std::string& path, int width, int height, const std::vector<Rgba>& pixels);
// A one-colour 2 x 2 PNG.
void writeSolidPng(const std::string& path, Rgba colour);

// A linked program reading position (0) and texture coordinates (2), whose fragment
// colour is texture_diffuse1 times the uniform "diffuseWeight"; it declares and uses
// texture_diffuse1/2, texture_specular1, texture_normal1, texture_height1 and shadowMap.
unsigned buildSamplerProgram();

// A fixture whose body runs with the sampler program current.
struct SamplerProgramTest : GlTest {
    ShaderProgram program;
    void SetUp() override {
        GlTest::SetUp();
        program.id = buildSamplerProgram();
        glUseProgram(program.id);
    }
    void TearDown() override {
        glUseProgram(0);
        glDeleteProgram(program.id);
        GlTest::TearDown();
    }
};

// The sampler unit a program's uniform holds, or -1 when the program has no such uniform.
int samplerUnit(unsigned program, const char* name);

// An offscreen RGBA8 colour target of the given size, bound with its viewport while alive.
struct ColourTarget {
    unsigned framebuffer = 0;
    unsigned colour = 0;
    int width = 0;
    int height = 0;
    int savedViewport[4] = {0, 0, 0, 0};
    ColourTarget(int width, int height);
    ~ColourTarget();
    Rgba pixel(int x, int y) const;
};
