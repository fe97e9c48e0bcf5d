// The capture's figures, with the real staged content:
//   speed        a slice from the middle of each scene window rendered, read back,
//                averaged and encoded exactly as the capture tool does it, for each
//                sample count; where a frame's time goes; the whole demo's capture time
//   convergence  PSNR of 1, 4, 8 and 16 samples against 64 at five instants
//   edges        pixels across high-contrast edges that take values between the two
//                sides, one sample against sixteen
//   averaging    the 16-bit sums on the CPU against additive blending into a float
//                target on the GL side, per sub-frame
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/capture/capture_bench
//       [--seconds 0.5] [--fps 60] [--samples 1,4,16] [--sync-readback] [--preset NAME]
//       [--crf N] [--size WxH] [--speed-only | --quality-only]
#include "capture.h"
#include "app/resources.h"
#include "app/timeline.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// Instants where sub-sampling has the most to do.
struct Instant {
    float demoTime;
    const char* what;
};
//  demoTime  what
constexpr Instant kConvergenceInstants[] = {
    {  10.0f, "opening: spinning donut before the title"},
    {  41.5f, "tunnel: thin bright lines"},
    {  78.0f, "Helsinki: the ship sweeping past"},
    { 115.0f, "two-shed city: crane and masts"},
    { 142.0f, "duck city: ducks swinging fast"},
};
constexpr int kReferenceSamples = 64;
constexpr int kConvergenceSamples[] = {1, 4, 8, 16};
constexpr double kConvergenceGoalDb = 40.0;

//  demoTime  what
constexpr Instant kEdgeInstants[] = {
    {  78.0f, "Helsinki: the ship against the sky"},
    { 115.0f, "two-shed city: crane (in the sky's image)"},
    { 142.0f, "duck city: the ducks' outlines"},
    { 190.0f, "greetings: tilted logo quads"},
};
constexpr int kEdgeSamples = 16;
// Luminance steps across a pixel at least this large count as a high-contrast edge;
// a value more than this share of the step from either side is an in-between one.
constexpr double kEdgeStep = 64.0;
constexpr double kBetweenShare = 0.2;

constexpr int kAveragingRounds = 32;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double psnr(const Picture& a, const Picture& b) {
    double squares = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        double d = double(a.rgb[i]) - double(b.rgb[i]);
        squares += d * d;
    }
    double mse = squares / double(a.rgb.size());
    return mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : INFINITY;
}

double meanChange(const Picture& a, const Picture& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return sum / double(a.rgb.size());
}

struct EdgeCount {
    long edges = 0, between = 0;
};

// Pixels with a high-contrast step across them (left to right or top to bottom), and
// those of them whose own value lies well inside the step: a stair-stepped edge has
// none, an anti-aliased one has one or more per row or column it crosses.
EdgeCount countEdges(const Picture& p) {
    auto luma = [&](int x, int y) {
        const unsigned char* c = p.at(x, y);
        return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
    };
    EdgeCount count;
    for (int y = 1; y + 1 < p.height; ++y)
        for (int x = 1; x + 1 < p.width; ++x) {
            const double here = luma(x, y);
            bool edge = false, between = false;
            for (auto [a, b] : {std::pair{luma(x - 1, y), luma(x + 1, y)}, {luma(x, y - 1), luma(x, y + 1)}}) {
                double low = std::min(a, b), high = std::max(a, b), step = high - low;
                if (step < kEdgeStep) continue;
                edge = true;
                between |= here > low + kBetweenShare * step && here < high - kBetweenShare * step;
            }
            count.edges += edge;
            count.between += between;
        }
    return count;
}

std::vector<int> numberList(const std::string& text) {
    std::vector<int> numbers;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) numbers.push_back(std::atoi(item.c_str()));
    return numbers;
}

// ---------------------------------------------------------------------------------
// speed
// ---------------------------------------------------------------------------------

bool speed(DemoState& demo, CaptureOptions defaults, double seconds, const std::vector<int>& sampleCounts) {
    std::string out = (std::filesystem::temp_directory_path() /
                       ("capture-bench-" + std::to_string(getpid()) + ".mp4")).string();
    std::printf("\ncapture speed, %g s from the middle of each window at %g fps, shutter %g, %s readback, "
                "drawn 1920x1080, encoded %dx%d, libx264 %s crf %d\n",
                seconds, defaults.fps, defaults.shutter, defaults.pboReadback ? "two-PBO" : "direct",
                defaults.outWidth, defaults.outHeight, defaults.preset.c_str(), defaults.crf);
    std::printf("ms per frame: draw (finished before its readback), readback, averaging, handing to ffmpeg\n");
    std::printf("%-7s %-6s %-12s %6s %8s %8s %8s %8s %8s %8s %8s\n", "samples", "window", "demo seconds",
                "frames", "fps", "x real", "draw", "read", "average", "encode", "Mbit/s");
    FrameSource source{drawDemoFrame, &demo, nullptr};
    bool displaced = false;
    std::vector<std::string> summary;
    for (int samples : sampleCounts) {
        CaptureOptions options = defaults;
        options.samples = samples;
        options.timeSteps = true;
        if (samples > 1 && !displaced) {
            std::string error;
            if (!demoFrameSource(demo, options, source, error)) {
                std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
                return false;
            }
            displaced = true;
        }
        double estimate = 0.0, totalFrames = 0.0;
        double steps[4] = {0.0, 0.0, 0.0, 0.0};
        for (int number = 1; number <= kTimelineWindowCount; ++number) {
            const double start = kTimelineWindows[number - 1].from, end = kTimelineWindows[number - 1].to;
            options.fromDemo = (start + end) / 2.0 - seconds / 2.0;
            options.toDemo = options.fromDemo + seconds;
            options.outPath = out;
            options.warmupRate = 0.0;
            CaptureResult r = runCapture(demo.window, options, AudioPlan{}, source, true);
            if (!r.ok) {
                std::fprintf(stderr, "capture_bench: %s\n", r.error.c_str());
                return false;
            }
            const double rate = r.framesWritten / r.loopSeconds, perFrame = 1000.0 / r.framesWritten;
            char range[32];
            std::snprintf(range, sizeof range, "%.1f-%.1f", options.fromDemo, options.toDemo);
            // The encoder's bit rate: what the preset and quality trade for speed.
            std::error_code noSize;
            const double megabits = double(std::filesystem::file_size(out, noSize)) * 8e-6;
            std::printf("%-7d %-6d %-12s %6ld %8.2f %8.3f %8.1f %8.1f %8.1f %8.1f %8.1f\n", samples, number,
                        range, r.framesWritten, rate, rate / options.fps, r.drawSeconds * perFrame,
                        r.readSeconds * perFrame, r.averageSeconds * perFrame, r.encodeSeconds * perFrame,
                        noSize ? 0.0 : megabits / seconds);
            const double frames = (end - start) * options.fps, weight = frames / r.framesWritten;
            estimate += frames / rate;
            totalFrames += frames;
            steps[0] += r.drawSeconds * weight;
            steps[1] += r.readSeconds * weight;
            steps[2] += r.averageSeconds * weight;
            steps[3] += r.encodeSeconds * weight;
        }
        char line[256];
        std::snprintf(line, sizeof line,
                      "%3d samples: about %s for the whole demo (%.0f frames), %.2f fps, %.4fx real time; "
                      "draw %.0f%%, readback %.0f%%, averaging %.0f%%, encoder %.0f%%",
                      samples, formatDuration(estimate).c_str(), totalFrames, totalFrames / estimate,
                      278.0 / estimate, 100 * steps[0] / estimate, 100 * steps[1] / estimate,
                      100 * steps[2] / estimate, 100 * steps[3] / estimate);
        summary.push_back(line);
        std::fflush(stdout);
    }
    std::printf("whole demo, estimated from the windows' lengths:\n");
    for (const std::string& line : summary) std::printf("  %s\n", line.c_str());
    std::remove(out.c_str());
    return true;
}

// ---------------------------------------------------------------------------------
// convergence and edges
// ---------------------------------------------------------------------------------

void convergence(DemoState& demo, double fps, double shutter) {
    std::printf("\nconvergence at shutter %g of a %g fps frame: PSNR in dB against %d samples "
                "(goal: 16 samples at %.0f dB or more)\n", shutter, fps, kReferenceSamples, kConvergenceGoalDb);
    std::printf("%-8s %-42s %8s", "demoTime", "what", "change");
    for (int n : kConvergenceSamples) std::printf(" %7s", ("N=" + std::to_string(n)).c_str());
    std::printf("\n");
    bool allMet = true;
    for (const Instant& at : kConvergenceInstants) {
        // How fast the picture moves: mean change per channel over one frame interval.
        Picture before = drawSubSampled(at.demoTime, subFramePlan(1, 0.0), fps, demo.res, demo.loop);
        Picture after = drawSubSampled(float(at.demoTime + 1.0 / fps), subFramePlan(1, 0.0), fps, demo.res,
                                       demo.loop);
        Picture reference = drawSubSampled(at.demoTime, subFramePlan(kReferenceSamples, shutter), fps,
                                           demo.res, demo.loop);
        std::printf("%-8.1f %-42s %8.2f", at.demoTime, at.what, meanChange(before, after));
        for (int n : kConvergenceSamples) {
            double db = psnr(drawSubSampled(at.demoTime, subFramePlan(n, shutter), fps, demo.res, demo.loop),
                             reference);
            if (n == 16 && db < kConvergenceGoalDb) allMet = false;
            std::printf(" %7.1f", db);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("16 samples %s the goal at every instant\n", allMet ? "meet" : "miss");
}

void edges(DemoState& demo, double fps) {
    std::printf("\nedges, no shutter: pixels with a luminance step of %.0f or more across them, and those "
                "whose own value lies inside the step (more than %.0f%% from either side)\n",
                kEdgeStep, kBetweenShare * 100.0);
    std::printf("%-8s %-42s %10s %16s %10s %16s\n", "demoTime", "what", "N=1 edges", "in between",
                "N=16 edges", "in between");
    for (const Instant& at : kEdgeInstants) {
        EdgeCount plain = countEdges(drawSubSampled(at.demoTime, subFramePlan(1, 0.0), fps, demo.res, demo.loop));
        EdgeCount smooth = countEdges(
            drawSubSampled(at.demoTime, subFramePlan(kEdgeSamples, 0.0), fps, demo.res, demo.loop));
        auto share = [](const EdgeCount& c) { return c.edges ? 100.0 * double(c.between) / double(c.edges) : 0.0; };
        std::printf("%-8.1f %-42s %10ld %8ld (%3.0f%%) %10ld %8ld (%3.0f%%)\n", at.demoTime, at.what, plain.edges,
                    plain.between, share(plain), smooth.edges, smooth.between, share(smooth));
    }
}

// ---------------------------------------------------------------------------------
// averaging: CPU against GL
// ---------------------------------------------------------------------------------

const char* const kQuadVertex = R"(#version 330 core
out vec2 uv;
void main()
{
    uv = vec2(gl_VertexID & 1, gl_VertexID >> 1) * 2.0;
    gl_Position = vec4(uv * 2.0 - 1.0, 0.0, 1.0);
}
)";
const char* const kAddFragment = R"(#version 330 core
in vec2 uv;
uniform sampler2D frame;
uniform float weight;
out vec4 colour;
void main() { colour = texture(frame, uv) * weight; }
)";

GLuint program(const char* vertexText, const char* fragmentText) {
    GLuint id = glCreateProgram();
    for (auto [type, text] : {std::pair{GL_VERTEX_SHADER, vertexText}, {GL_FRAGMENT_SHADER, fragmentText}}) {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        glAttachShader(id, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(id);
    return id;
}

// Last of all: it leaves the GL state as it likes.
void averaging(DemoState& demo) {
    const int width = kFrameWidth, height = kFrameHeight;
    drawFrameAt(190.0f, demo.res, demo.loop);
    glFinish();

    // CPU: each sub-frame read back into memory and added into 16-bit sums.
    FrameAverage average;
    beginAverage(average, size_t(width) * height * 3, kAveragingRounds);
    std::vector<unsigned char> pixels(average.sum.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    double readSeconds = 0.0, addSeconds = 0.0;
    for (int i = 0; i < kAveragingRounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        readSeconds += secondsSince(start);
        start = std::chrono::steady_clock::now();
        addToAverage(average, pixels.data());
        addSeconds += secondsSince(start);
    }

    // GL: each sub-frame copied to a texture and added into a float target by
    // blending; one float readback per frame, converted on the way.
    GLuint frame = 0, sums = 0, target = 0, vao = 0;
    glActiveTexture(GL_TEXTURE0);
    glGenTextures(1, &frame);
    glBindTexture(GL_TEXTURE_2D, frame);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenTextures(1, &sums);
    glBindTexture(GL_TEXTURE_2D, sums);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &target);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, sums, 0);
    glBindTexture(GL_TEXTURE_2D, frame);
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    GLuint add = program(kQuadVertex, kAddFragment);
    glUseProgram(add);
    glUniform1i(glGetUniformLocation(add, "frame"), 0);
    glUniform1f(glGetUniformLocation(add, "weight"), 1.0f / kAveragingRounds);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kAveragingRounds; ++i) {
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);  // from the back buffer
        glDrawArrays(GL_TRIANGLES, 0, 3);
    }
    glFinish();
    double blendSeconds = secondsSince(start);
    std::vector<float> mean(size_t(width) * height * 3);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target);
    start = std::chrono::steady_clock::now();
    glReadPixels(0, 0, width, height, GL_RGB, GL_FLOAT, mean.data());
    for (size_t i = 0; i < mean.size(); ++i) pixels[i] = (unsigned char)std::lround(std::clamp(mean[i], 0.0f, 1.0f) * 255.0f);
    double resolveSeconds = secondsSince(start);

    std::printf("\naveraging, ms per sub-frame over %d sub-frames at 1920x1080:\n", kAveragingRounds);
    std::printf("  CPU: readback %.2f + 16-bit sums %.2f = %.2f (the mean: once per frame, included)\n",
                1000 * readSeconds / kAveragingRounds, 1000 * addSeconds / kAveragingRounds,
                1000 * (readSeconds + addSeconds) / kAveragingRounds);
    std::printf("  GL:  copy and additive blend into RGBA32F %.2f, plus %.2f per frame to read the floats back\n",
                1000 * blendSeconds / kAveragingRounds, 1000 * resolveSeconds);
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 0.5;
    std::vector<int> sampleCounts = {1, 4, 16};
    bool runSpeed = true, runQuality = true;
    CaptureOptions defaults;
    defaults.outPath = "capture-bench.mp4";  // each run writes to a temporary file instead
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string error;
        if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (a == "--samples" && i + 1 < argc) sampleCounts = numberList(argv[++i]);
        else if (a == "--speed-only") runQuality = false;
        else if (a == "--quality-only") runSpeed = false;
        else if ((a == "--fps" || a == "--preset" || a == "--crf" || a == "--size" || a == "--shutter") &&
                 i + 1 < argc) {
            if (!parseCaptureOptions({a, argv[++i]}, defaults, error)) {
                std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
                return 2;
            }
        } else if (a == "--sync-readback") defaults.pboReadback = false;
        else {
            std::fprintf(stderr, "usage: capture_bench [--seconds S] [--fps N] [--samples 1,4,16] [--shutter F] "
                                 "[--size WxH] [--sync-readback] [--preset NAME] [--crf N] "
                                 "[--speed-only | --quality-only]\n");
            return 2;
        }
    }
    if (chdir(CAPTURE_DEFAULT_STAGE) != 0) return 1;

    std::string error;
    auto demo = std::make_unique<DemoState>();
    std::fflush(stdout);
    if (!startDemo(*demo, error)) {
        std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
        return 1;
    }
    std::fflush(stdout);
    glfwSwapInterval(0);

    if (runSpeed && !speed(*demo, defaults, seconds, sampleCounts)) return 1;
    if (runQuality) {
        std::string log;
        if (!displaceScenePrograms(demo->res, log)) {
            std::fprintf(stderr, "capture_bench: %s\n", log.c_str());
            return 1;
        }
        convergence(*demo, defaults.fps, defaults.shutter);
        edges(*demo, defaults.fps);
        averaging(*demo);
    }

    endDemo(*demo);
    return 0;
}
