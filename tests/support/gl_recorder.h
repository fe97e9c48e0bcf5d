// Records the GL calls a piece of code makes, by swapping glad's function pointers
// for wrappers that log the call and forward it to the driver.
#pragma once
#include <string>
#include <vector>

struct GlCall {
    std::string name;              // e.g. "glUniformMatrix4fv"
    std::vector<long long> ints;   // integer and enum arguments, in order
    std::vector<float> floats;     // float arguments, or the floats a pointer argument points at
    // For glGetUniformLocation the name looked up; for glUniform* the name of the
    // lookup that immediately preceded the call (the setters always look up first).
    std::string uniform;
    unsigned program = 0;          // the program current when the call was made
};

// Starts recording (clears any earlier record). Recording only sees calls made
// through glad's pointers, which is every call in the program.
void startRecording();
std::vector<GlCall> stopRecording();

// Helpers over a record.
std::vector<GlCall> callsNamed(const std::vector<GlCall>& calls, const std::string& name);
// Every glUniform* call whose uniform name matches, in order.
std::vector<GlCall> uniformSets(const std::vector<GlCall>& calls, const std::string& uniform);
// The names of the calls, in order, keeping only those in `keep` (all when empty).
std::vector<std::string> callNames(const std::vector<GlCall>& calls,
                                   const std::vector<std::string>& keep = {});
