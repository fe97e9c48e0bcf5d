// The stills tool: renders the demo's frames at chosen demo times with the real staged
// content and writes each as a PNG, plus one contact sheet labelled with the times.
//   stills [--samples N] [--shutter F] [--out DIR] [demoTime ...]
// (no times: a few from every scene window). With samples each still is the average
// of N sub-frames, as the capture makes its frames, over a shutter of F of a 60 fps
// frame interval centred on the still's time.
#include "app/resources.h"
#include "demo_frames.h"
#include "subframes.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <stb/stb_image_resize.h>
#include <stb/stb_image_write.h>
#include <stb/stb_truetype.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Default times: one or more per scene window and per change inside a window.
const float kDefaultTimes[] = {
    3.0f, 10.0f, 17.0f,                                   // picture and donut, title sky
    25.0f, 36.0f,                                         // planet donut, credits sky
    41.5f, 44.5f, 50.0f, 58.0f, 70.0f, 78.0f, 88.0f,      // tunnel, Helsinki and chrome ship
    100.0f, 108.0f, 115.0f, 125.0f,                       // glass ships and cubes
    135.0f, 142.0f, 152.0f,                               // ducks
    165.0f, 190.0f, 210.0f, 240.0f,                       // greetings
    248.5f, 255.0f, 263.0f,                               // closing logo
};

// The video's frame interval: the shutter is a part of it, as in the capture.
constexpr double kStillFps = 60.0;

constexpr int kSheetColumns = 4;
constexpr int kThumbWidth = 480;
constexpr int kThumbHeight = 270;
constexpr int kLabelHeight = 34;
constexpr float kLabelPixels = 22.0f;
const char* const kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Font {
    std::vector<unsigned char> data;
    stbtt_fontinfo info{};
    bool ok = false;
};

Font loadFont(const char* path) {
    Font font;
    std::ifstream in(path, std::ios::binary);
    font.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    font.ok = !font.data.empty() &&
              stbtt_InitFont(&font.info, font.data.data(), stbtt_GetFontOffsetForIndex(font.data.data(), 0));
    return font;
}

// Draws text in light grey onto an RGB picture, baseline at (x, baseline).
void drawText(Picture& sheet, const Font& font, const std::string& text, int x, int baseline) {
    if (!font.ok) return;
    float scale = stbtt_ScaleForPixelHeight(&font.info, kLabelPixels);
    float pen = float(x);
    for (size_t i = 0; i < text.size(); ++i) {
        int c = static_cast<unsigned char>(text[i]);
        int advance = 0, bearing = 0;
        stbtt_GetCodepointHMetrics(&font.info, c, &advance, &bearing);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBox(&font.info, c, scale, scale, &x0, &y0, &x1, &y1);
        int w = x1 - x0, h = y1 - y0;
        if (w > 0 && h > 0) {
            std::vector<unsigned char> glyph(size_t(w) * h);
            stbtt_MakeCodepointBitmap(&font.info, glyph.data(), w, h, w, scale, scale, c);
            for (int gy = 0; gy < h; ++gy)
                for (int gx = 0; gx < w; ++gx) {
                    int px = int(pen) + x0 + gx, py = baseline + y0 + gy;
                    if (px < 0 || py < 0 || px >= sheet.width || py >= sheet.height) continue;
                    unsigned char* p = &sheet.rgb[(size_t(py) * sheet.width + px) * 3];
                    float a = glyph[size_t(gy) * w + gx] / 255.0f;
                    for (int k = 0; k < 3; ++k) p[k] = (unsigned char)(p[k] * (1 - a) + 225 * a);
                }
        }
        pen += advance * scale;
        if (i + 1 < text.size())
            pen += scale * stbtt_GetCodepointKernAdvance(&font.info, c, static_cast<unsigned char>(text[i + 1]));
    }
}

void placeThumbnail(Picture& sheet, const Picture& frame, int cell, const Font& font, float t) {
    std::vector<unsigned char> thumb(size_t(kThumbWidth) * kThumbHeight * 3);
    stbir_resize_uint8(frame.rgb.data(), frame.width, frame.height, 0,
                       thumb.data(), kThumbWidth, kThumbHeight, 0, 3);
    int left = (cell % kSheetColumns) * kThumbWidth;
    int top = (cell / kSheetColumns) * (kThumbHeight + kLabelHeight);
    for (int y = 0; y < kThumbHeight; ++y)
        std::copy_n(&thumb[size_t(y) * kThumbWidth * 3], kThumbWidth * 3,
                    &sheet.rgb[(size_t(top + y) * sheet.width + left) * 3]);
    char label[64];
    std::snprintf(label, sizeof label, "t = %.2f   window %d", t, sceneWindowAt(t));
    drawText(sheet, font, label, left + 10, top + kThumbHeight + 25);
}

struct StillsOptions {
    std::vector<float> times;
    int samples = 1;
    double shutter = kDefaultShutter;
    fs::path outDir = NORRVALE_STILLS_DIR;
};

// A number and nothing after it.
bool readNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

bool parseStillsOptions(int argc, char** argv, StillsOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool flag = arg == "--samples" || arg == "--shutter" || arg == "--out";
        if (flag && i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        double number = 0.0;
        if (arg == "--out") {
            options.outDir = fs::absolute(argv[++i]);
        } else if (arg == "--samples") {
            if (!readNumber(argv[++i], number) || number != std::floor(number) || number < 1 ||
                number > kMaxSamples) {
                error = "--samples takes a whole number from 1 to " + std::to_string(kMaxSamples);
                return false;
            }
            options.samples = int(number);
        } else if (arg == "--shutter") {
            if (!readNumber(argv[++i], options.shutter) || options.shutter < 0.0 || options.shutter > 1.0) {
                error = "--shutter takes a part of the frame interval from 0 to 1";
                return false;
            }
        } else if (readNumber(argv[i], number)) {
            options.times.push_back(float(number));
        } else {
            error = "not a demo time or an option: '" + arg + "'";
            return false;
        }
    }
    if (options.times.empty()) options.times.assign(std::begin(kDefaultTimes), std::end(kDefaultTimes));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    StillsOptions options;
    std::string error;
    if (!parseStillsOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "stills: %s\nusage: stills [--samples N] [--shutter F] [--out DIR] "
                             "[demoTime ...]\n", error.c_str());
        return 2;
    }
    const std::vector<float>& times = options.times;
    const fs::path& outDir = options.outDir;
    fs::create_directories(outDir);
    std::filesystem::current_path(NORRVALE_STAGE);

    DemoState demo;
    if (!startDemo(demo, error)) {
        std::printf("stills: %s\n", error.c_str());
        return 1;
    }
    SceneResources& res = demo.res;
    LoopValues& loop = demo.loop;
    const std::vector<SubFrame> plan = subFramePlan(options.samples, options.shutter);
    if (plan.size() > 1 && !displaceScenePrograms(res, error)) {
        std::printf("stills: %s\n", error.c_str());
        return 1;
    }

    Font font = loadFont(kFontPath);
    int rows = (int(times.size()) + kSheetColumns - 1) / kSheetColumns;
    Picture sheet;
    sheet.width = kSheetColumns * kThumbWidth;
    sheet.height = rows * (kThumbHeight + kLabelHeight);
    sheet.rgb.assign(size_t(sheet.width) * sheet.height * 3, 24);

    // Drawn off screen as the preview draws them, so that the two show the same pixels.
    FrameTarget target = makeFrameTarget();
    for (size_t i = 0; i < times.size(); ++i) {
        float t = times[i];
        bindFrameTarget(target);
        Picture frame = drawSubSampled(t, plan, kStillFps, res, loop);
        glfwSwapBuffers(demo.window);
        char name[64];
        std::snprintf(name, sizeof name, "still_%07.2f.png", t);
        stbi_write_png((outDir / name).string().c_str(), frame.width, frame.height, 3,
                       frame.rgb.data(), frame.width * 3);
        placeThumbnail(sheet, frame, int(i), font, t);
        std::printf("%s\n", (outDir / name).string().c_str());
    }
    fs::path sheetPath = outDir / "contact_sheet.png";
    stbi_write_png(sheetPath.string().c_str(), sheet.width, sheet.height, 3, sheet.rgb.data(), sheet.width * 3);
    std::printf("%s\n", sheetPath.string().c_str());

    endDemo(demo);
    return 0;
}
