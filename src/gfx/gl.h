// One include for the GL entry points: glad's generated loader, always before GLFW
// so that GLFW does not pull in a system GL header of its own.
#pragma once
#include <glad/gl.h>
