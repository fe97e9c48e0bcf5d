// The native side of the browser tests: the desktop program's frames and GL calls along
// a schedule of clock readings, for the page to be held against.
//   web_reference OUT_DIR CLOCK...
// Draws what the browser run draws: the set-up with the first frame at clock 0 (the
// page holds its clock at 0 until the first animation frame), then one frame per clock
// value. Writes calls-<i>.json for every frame i (frame 0 includes the set-up) and
// frame-<i>.png for each value given as "=CLOCK" (a frame the test looks at).
#include "app/resources.h"
#include "app/timeline.h"
#include "demo_frames.h"
#include "gfx/gl.h"
#include "gl_recorder.h"
#include <GLFW/glfw3.h>
#include <stb/stb_image_write.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The uniform field also carries a shader's source text (glShaderSource).
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

void writeCalls(const std::string& path, const std::vector<GlCall>& calls) {
    std::ofstream out(path);
    out << "[\n";
    for (size_t i = 0; i < calls.size(); ++i) {
        const GlCall& c = calls[i];
        out << " {\"name\":\"" << c.name << "\",\"uniform\":" << jsonString(c.uniform) << ",\"ints\":[";
        for (size_t k = 0; k < c.ints.size(); ++k) out << (k ? "," : "") << c.ints[k];
        out << "],\"floats\":[";
        char number[32];
        for (size_t k = 0; k < c.floats.size(); ++k) {
            std::snprintf(number, sizeof number, "%.9g", double(c.floats[k]));
            out << (k ? "," : "") << number;
        }
        out << "]}" << (i + 1 < calls.size() ? "," : "") << "\n";
    }
    out << "]\n";
}

double frozenClock = 0.0;

// One frame as the frame loop draws it at this clock reading.
void drawAtClock(double clock, SceneResources& res, LoopValues& loop) {
    frozenClock = clock;
    drawFrame(static_cast<float>(glfwGetTime()) - kDemoClockOffset, res, loop);
}

}  // namespace

// The clock stands still within a frame, as the page's test clock does, so that the
// scenes' own readings give the browser's values exactly. Defined here, it takes the
// place of GLFW's for the whole program.
extern "C" double glfwGetTime() {
    return frozenClock;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: web_reference OUT_DIR [=]CLOCK...\n");
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(out);
    std::filesystem::current_path(NORRVALE_STAGE);

    std::string error;
    GLFWwindow* window = openDemoWindow(error);
    if (!window) {
        std::printf("web_reference: %s\n", error.c_str());
        return 1;
    }
    SceneResources res;
    LoopValues loop;
    startRecording();
    buildSceneResources(res, loop);
    drawAtClock(0.0, res, loop);
    writeCalls((out / "calls-0.json").string(), stopRecording());
    glfwSwapBuffers(window);

    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool look = arg[0] == '=';
        const double clock = std::stod(look ? arg.substr(1) : arg);
        startRecording();
        drawAtClock(clock, res, loop);
        std::vector<GlCall> calls = stopRecording();
        const std::string frame = std::to_string(i - 1);
        writeCalls((out / ("calls-" + frame + ".json")).string(), calls);
        if (look) {
            Picture picture = readFrame();
            stbi_write_png((out / ("frame-" + frame + ".png")).string().c_str(), picture.width,
                           picture.height, 3, picture.rgb.data(), picture.width * 3);
        }
        glfwSwapBuffers(window);
    }
    glfwTerminate();
    releaseSceneResources(res);
    return 0;
}
