// How far the music lags the timeline's clock: the staged demo itself is run several times
// with the start-up probe preloaded, from glfwInit to the sound layer's play call, and the
// time is split into the families of the resource set-up (see startup_probe.c).
// Usage: bench_startup [RUNS [DEMO_BINARY [STAGE_FOLDER]]]  (under a display, e.g. xvfb-run)
// Another binary and stage folder (an older build, say) are measured the same way.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The families as the probe names them, in the order they are printed.
const char* const kFamilies[] = {"total", "window", "logos", "programs", "models", "cubemaps", "geometry"};

using Figures = std::map<std::string, double>;

bool runOnce(const std::string& binary, const std::string& reportPath, Figures& figures) {
    std::remove(reportPath.c_str());
    pid_t child = fork();
    if (child == 0) {
        setenv("LD_PRELOAD", NORRVALE_STARTUP_PROBE, 1);
        setenv("STARTUP_PROBE_REPORT", reportPath.c_str(), 1);
        // Without an audio device the sound layer never plays; SDL's silent driver stands in.
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream in(reportPath);
    std::string name;
    double value = 0.0;
    while (in >> name >> value) figures[name] = value;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && figures.count("total") == 1;
}

// The one-minute load average: on a shared machine the figures mean little without it.
std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string oneMinute;
    in >> oneMinute;
    return oneMinute.empty() ? "?" : oneMinute;
}

double quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    double at = q * (v.size() - 1);
    size_t lo = static_cast<size_t>(at);
    size_t hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (at - lo);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::string binary = argc > 2 ? argv[2] : NORRVALE_BINARY;
    const std::string stage = argc > 3 ? argv[3] : NORRVALE_STAGE;
    if (chdir(stage.c_str()) != 0) {
        std::printf("bench_startup: no stage folder %s\n", stage.c_str());
        return 1;
    }
    const std::string reportPath = "/tmp/norrvale_startup_" + std::to_string(getpid()) + ".txt";

    const std::string loadBefore = loadAverage();
    std::map<std::string, std::vector<double>> samples;
    for (int i = 0; i < runs; ++i) {
        Figures figures;
        if (!runOnce(binary, reportPath, figures)) {
            std::printf("bench_startup: the demo did not reach its play call (run under xvfb-run)\n");
            return 1;
        }
        for (const char* family : kFamilies) samples[family].push_back(figures[family]);
    }
    std::remove(reportPath.c_str());

    std::printf("start-up, glfwInit to the play call, %d runs of %s (ms)\n", runs, binary.c_str());
    std::printf("  load average %s before, %s after\n", loadBefore.c_str(), loadAverage().c_str());
    std::printf("  %-10s %8s %8s %8s %8s\n", "", "median", "min", "max", "IQR");
    for (const char* family : kFamilies) {
        const std::vector<double>& v = samples[family];
        std::printf("  %-10s %8.1f %8.1f %8.1f %8.1f\n", family, 1000.0 * quantile(v, 0.5),
                    1000.0 * *std::min_element(v.begin(), v.end()),
                    1000.0 * *std::max_element(v.begin(), v.end()),
                    1000.0 * (quantile(v, 0.75) - quantile(v, 0.25)));
    }
    std::printf("  goal: total median <= 250 ms; the soundtrack is arranged for a start at 500 ms\n");
    return 0;
}
