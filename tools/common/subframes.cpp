// Sub-frame plans, displaced scene programs and the 16-bit average of sub-frames.
#include "subframes.h"
#include "demo_frames.h"
#include "app/resources.h"
#include "gfx/gl.h"
#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

// The fraction whose digits in `base` are those of `index` mirrored about the point.
double radicalInverse(int index, int base) {
    double result = 0.0, digit = 1.0 / base;
    for (; index > 0; index /= base, digit /= base) result += digit * (index % base);
    return result;
}

std::string fileText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::vector<SubFrame> subFramePlan(int samples, double shutter) {
    std::vector<SubFrame> plan(size_t(std::max(samples, 1)));
    const size_t n = plan.size();
    // Halton from index 1: index 0 would put a sample on the pixel's corner every time.
    double meanX = 0.0, meanY = 0.0;
    for (size_t i = 0; i < n; ++i) {
        plan[i].dx = radicalInverse(int(i) + 1, 2);
        plan[i].dy = radicalInverse(int(i) + 1, 3);
        meanX += plan[i].dx / double(n);
        meanY += plan[i].dy / double(n);
    }
    for (SubFrame& s : plan) {
        s.dx -= meanX;
        s.dy -= meanY;
    }
    // Any prefix of the Halton set is itself spread over the pixel, so taking the
    // offsets in their own order for the slices keeps early and late sub-frames alike.
    for (size_t slice = 0; slice < n; ++slice)
        plan[slice].when = ((double(slice) + 0.5) / double(n) - 0.5) * shutter;
    return plan;
}

// =================================================================================
// Displacing the scene programs
// =================================================================================

std::string withClipOffset(const std::string& vertexSource) {
    static const std::regex mainSignature(R"(\bvoid\s+main\s*\(\s*(void\s*)?\))");
    std::smatch found;
    if (!std::regex_search(vertexSource, found, mainSignature)) return {};
    // Moving the clip position by offset * w moves the picture by the same amount after
    // the perspective divide, for every depth alike, skies drawn at w = z included.
    return found.prefix().str() + "void sceneMain()" + found.suffix().str() +
           "\nuniform vec2 " + kClipOffsetUniform + ";\n"
           "void main()\n"
           "{\n"
           "    sceneMain();\n"
           "    gl_Position.xy += " + kClipOffsetUniform + " * gl_Position.w;\n"
           "}\n";
}

bool displaceScenePrograms(SceneResources& res, std::string& log) {
    for (const SceneProgramSource& row : kSceneProgramSources) {
        std::string vertex = withClipOffset(fileText(row.vertexPath));
        if (vertex.empty()) {
            log = std::string(row.vertexPath) + ": no main to wrap";
            return false;
        }
        std::string why;
        if (!rebuildSceneProgram(res.*row.program, vertex, fileText(row.fragmentPath), why)) {
            log = std::string(row.vertexPath) + ": " + why;
            return false;
        }
    }
    return true;
}

void setSceneOffset(SceneResources& res, double dx, double dy) {
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    // Clip space spans two units across the picture.
    const float x = float(2.0 * dx / kFrameWidth), y = float(2.0 * dy / kFrameHeight);
    for (const SceneProgramSource& row : kSceneProgramSources) {
        GLuint id = (res.*row.program).id;
        glUseProgram(id);
        glUniform2f(glGetUniformLocation(id, kClipOffsetUniform), x, y);
    }
    glUseProgram(GLuint(current));
}

// =================================================================================
// Averaging
// =================================================================================

void beginAverage(FrameAverage& average, size_t bytes, int samples) {
    average.samples = std::clamp(samples, 1, kMaxSamples);
    average.added = 0;
    average.sum.assign(bytes, 0);
    average.mean.assign(bytes, 0);
    // A table instead of a division per channel: 64 KiB that stays in the cache.
    const int most = 255 * average.samples;
    average.divide.resize(size_t(most) + 1);
    for (int s = 0; s <= most; ++s)
        average.divide[size_t(s)] = static_cast<unsigned char>((s + average.samples / 2) / average.samples);
}

bool addToAverage(FrameAverage& average, const unsigned char* pixels) {
    uint16_t* sum = average.sum.data();
    const size_t bytes = average.sum.size();
    for (size_t i = 0; i < bytes; ++i) sum[i] = uint16_t(sum[i] + pixels[i]);
    if (++average.added < average.samples) return false;
    const unsigned char* divide = average.divide.data();
    unsigned char* mean = average.mean.data();
    for (size_t i = 0; i < bytes; ++i) mean[i] = divide[sum[i]];
    std::fill(average.sum.begin(), average.sum.end(), uint16_t(0));
    average.added = 0;
    return true;
}

// =================================================================================
// Stills
// =================================================================================

Picture drawSubSampled(float demoTime, const std::vector<SubFrame>& plan, double fps,
                       SceneResources& res, LoopValues& loop) {
    // Programs that were never displaced ignore the offset: GL drops a uniform at -1.
    setSceneOffset(res, 0.0, 0.0);
    if (plan.size() == 1) {
        drawFrameAfterLeadIn(demoTime, res, loop);
        return readFrame();
    }
    auto instant = [&](const SubFrame& sub) { return float(double(demoTime) + sub.when / fps); };
    drawFrameAfterLeadIn(instant(plan.front()), res, loop);
    FrameAverage average;
    Picture still;
    for (const SubFrame& sub : plan) {
        setSceneOffset(res, sub.dx, sub.dy);
        drawFrameAt(instant(sub), res, loop);
        Picture drawn = readFrame();
        if (average.sum.empty()) beginAverage(average, drawn.rgb.size(), int(plan.size()));
        if (addToAverage(average, drawn.rgb.data())) {
            still = drawn;
            still.rgb = average.mean;
        }
    }
    return still;
}
