// Sub-sampled pictures for the tools that write the demo out (capture, stills): one
// picture is the average of several sub-frames, each displaced by its own sub-pixel
// offset (anti-aliasing) and drawn at its own instant within a shutter (motion blur).
// The displacement is a clip-space translation added to the scene programs' vertex
// shaders as the tools build them; the files in shdrs/ and the demo stay as they are.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SceneResources;
struct LoopValues;
struct Picture;

// Most sub-frames in one picture: their 8-bit sums must fit 16 bits.
constexpr int kMaxSamples = 256;
// Film's 180 degrees: the shutter is open for half of each frame interval.
constexpr double kDefaultShutter = 0.5;

struct SubFrame {
    double dx = 0.0, dy = 0.0;  // offset in the picture's pixels, x right, y up
    double when = 0.0;          // instant, in frame intervals from the picture's own
};

// `samples` sub-frames in the order they are drawn (by instant, so that what the scenes
// carry from frame to frame moves forwards). The offsets are a Halton (2, 3) set spread
// over the pixel and moved so that they average exactly to zero: the picture stays
// where the plain one is. The instants are one per equal slice of the shutter, centred
// on the picture's own, taken in the offsets' order. One sample is the plain frame:
// no offset, no shift in time.
std::vector<SubFrame> subFramePlan(int samples, double shutter);

// ---------------------------------------------------------------------------------
// Displacing the scene programs
// ---------------------------------------------------------------------------------

// The uniform the displaced vertex shaders add, in clip units per w.
constexpr const char* kClipOffsetUniform = "u_subFrameOffset";

// A vertex shader source whose picture moves by kClipOffsetUniform: its main is renamed
// and called from a new main that shifts gl_Position afterwards. Empty when the source
// has no main to wrap.
std::string withClipOffset(const std::string& vertexSource);

// Rebuilds every scene program from its files (read relative to the stage folder)
// with the displaced vertex shader. False with the compiler's words when one fails;
// the programs rebuilt so far stay rebuilt.
bool displaceScenePrograms(SceneResources& res, std::string& log);

// Sets the offset, in pixels of the 1920 x 1080 picture, on every displaced program.
// The current program is left as it was.
void setSceneOffset(SceneResources& res, double dx, double dy);

// ---------------------------------------------------------------------------------
// Averaging
// ---------------------------------------------------------------------------------

// Sums of 8-bit sub-frames in 16 bits per channel, and their rounded mean: the sum
// keeps what lies between two 8-bit levels until the last step, so a dark gradient
// drawn at 16 offsets comes out in its own shades rather than in bands.
struct FrameAverage {
    int samples = 1;
    int added = 0;
    std::vector<uint16_t> sum;
    std::vector<unsigned char> mean;
    std::vector<unsigned char> divide;  // rounded sum / samples for every possible sum
};

void beginAverage(FrameAverage& average, size_t bytes, int samples);
// Adds one sub-frame; true when it was the last of a picture, whose mean is then in
// `average.mean` (and the sums start again).
bool addToAverage(FrameAverage& average, const unsigned char* pixels);

// ---------------------------------------------------------------------------------
// Stills
// ---------------------------------------------------------------------------------

// The picture at demoTime, as the capture would make it at `fps`: after the lead-in,
// the plain frame for a plan of one, else the mean of the plan's sub-frames (the
// programs displaced already). Displaced programs are set back to no offset first.
// Rows top to bottom.
Picture drawSubSampled(float demoTime, const std::vector<SubFrame>& plan, double fps,
                       SceneResources& res, LoopValues& loop);
