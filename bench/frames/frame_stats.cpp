// Per-window figures of a run's frame times, and the SVG plot of them.
#include "frame_stats.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

// number  from       to      shows
const SceneWindow kSceneWindows[7] = {
    {1, -INFINITY,  20.0f, "picture, donut, title sky"},
    {2,  20.0f,     40.0f, "planet donut, credits sky"},
    {3,  40.0f,     95.0f, "tunnel, chrome ship, Helsinki"},
    {4,  95.0f,    130.0f, "glass ships, two-shed city"},
    {5, 130.0f,    160.0f, "ducks, duck city"},
    {6, 160.0f,    247.0f, "greetings, Tampere sky"},
    {7, 247.0f,    265.0f, "closing logo"},
};

int sceneWindowOf(float demoTime) {
    for (const SceneWindow& w : kSceneWindows)
        if (demoTime > w.from && demoTime < w.to) return w.number;
    return 0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    double rank = std::ceil(p / 100.0 * double(values.size()));
    size_t index = rank < 1.0 ? 0 : std::min(values.size() - 1, size_t(rank) - 1);
    return values[index];
}

std::vector<WindowStats> summarizeWindows(const std::vector<FrameSample>& frames) {
    std::vector<WindowStats> result;
    for (const SceneWindow& w : kSceneWindows) {
        WindowStats s;
        s.window = w.number;
        std::vector<double> wall, cpu;
        for (const FrameSample& f : frames) {
            if (sceneWindowOf(f.demoTime) != w.number) continue;
            if (wall.empty()) s.firstMs = f.wallMs;
            wall.push_back(f.wallMs);
            cpu.push_back(f.cpuMs);
            if (f.wallMs > s.worstMs) {
                s.worstMs = f.wallMs;
                s.worstAt = f.demoTime;
            }
            s.overSixtyFps += f.wallMs > kSixtyFpsMs;
            s.overHitch += f.wallMs > kHitchMs;
        }
        if (wall.empty()) continue;
        s.frames = wall.size();
        s.medianMs = percentile(wall, 50.0);
        s.p99Ms = percentile(wall, 99.0);
        s.cpuMedianMs = percentile(cpu, 50.0);
        result.push_back(s);
    }
    return result;
}

FrameLog parseFrameLog(std::istream& in) {
    const std::string rendererTag = "# renderer ";
    FrameLog log;
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, rendererTag.size(), rendererTag) == 0) {
            log.renderer = line.substr(rendererTag.size());
            continue;
        }
        std::istringstream fields(line);
        FrameSample f;
        if (fields >> f.demoTime >> f.wallMs >> f.cpuMs) log.frames.push_back(f);
    }
    return log;
}

// =======================================================================================
// The plot

namespace {

constexpr double kWidth = 1600.0, kHeight = 560.0;
constexpr double kLeft = 64.0, kRight = 24.0, kTop = 56.0, kBottom = 48.0;
constexpr double kTimelineEnd = 265.0;

struct Axes {
    double tFrom, tTo, msTop;
    double x(double t) const { return kLeft + (t - tFrom) / (tTo - tFrom) * (kWidth - kLeft - kRight); }
    double y(double ms) const { return kHeight - kBottom - std::min(ms, msTop) / msTop * (kHeight - kTop - kBottom); }
};

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

void horizontalLine(std::ostringstream& svg, const Axes& a, double ms, const char* colour, const char* label) {
    svg << "<line x1='" << number(kLeft) << "' x2='" << number(kWidth - kRight) << "' y1='" << number(a.y(ms))
        << "' y2='" << number(a.y(ms)) << "' stroke='" << colour << "' stroke-width='1.5' stroke-dasharray='8 5'/>\n"
        << "<text x='" << number(kWidth - kRight - 4) << "' y='" << number(a.y(ms) - 5) << "' fill='" << colour
        << "' text-anchor='end'>" << label << "</text>\n";
}

} // namespace

std::string frameTimeSvg(const std::vector<FrameSample>& frames, const std::string& title) {
    Axes a{-13.0, kTimelineEnd, 50.0};
    double worst = 0.0;
    for (const FrameSample& f : frames) {
        a.tFrom = std::min(a.tFrom, double(std::floor(f.demoTime)));
        worst = std::max(worst, f.wallMs);
    }
    // Room for the worst frame up to 100 ms; anything slower is pinned to the top, marked.
    a.msTop = std::clamp(std::ceil(worst / 10.0) * 10.0, 50.0, 100.0);

    std::ostringstream svg;
    svg << "<svg xmlns='http://www.w3.org/2000/svg' width='" << kWidth << "' height='" << kHeight
        << "' font-family='sans-serif' font-size='13'>\n"
        << "<rect width='100%' height='100%' fill='white'/>\n"
        << "<text x='" << kLeft << "' y='22' font-size='16'>" << title << "</text>\n";

    // The windows, shaded in turn, each named at its top.
    const char* const shades[2] = {"#e8eef8", "#f6efe4"};
    for (const SceneWindow& w : kSceneWindows) {
        double from = std::max(double(w.from), a.tFrom), to = w.to;
        svg << "<rect x='" << number(a.x(from)) << "' y='" << kTop << "' width='" << number(a.x(to) - a.x(from))
            << "' height='" << number(kHeight - kTop - kBottom) << "' fill='" << shades[w.number % 2] << "'/>\n"
            << "<text x='" << number(a.x(from) + 3) << "' y='" << number(kTop - 6 - 14 * (w.number % 2))
            << "' font-size='11'>" << w.number << " " << w.shows << "</text>\n";
    }

    // Axes: milliseconds every 10, demo seconds every 20.
    for (double ms = 0.0; ms <= a.msTop + 1e-9; ms += 10.0)
        svg << "<line x1='" << kLeft << "' x2='" << number(kWidth - kRight) << "' y1='" << number(a.y(ms))
            << "' y2='" << number(a.y(ms)) << "' stroke='#ccc'/>\n"
            << "<text x='" << number(kLeft - 6) << "' y='" << number(a.y(ms) + 4) << "' text-anchor='end'>"
            << ms << "</text>\n";
    for (double t = std::ceil(a.tFrom / 20.0) * 20.0; t <= kTimelineEnd; t += 20.0)
        svg << "<text x='" << number(a.x(t)) << "' y='" << number(kHeight - kBottom + 18)
            << "' text-anchor='middle'>" << t << "</text>\n";
    svg << "<text x='" << number(kWidth / 2) << "' y='" << number(kHeight - 8)
        << "' text-anchor='middle'>demoTime, s</text>\n"
        << "<text x='16' y='" << number(kHeight / 2) << "' transform='rotate(-90 16 " << number(kHeight / 2)
        << ")' text-anchor='middle'>frame time, ms</text>\n";

    horizontalLine(svg, a, kSixtyFpsMs, "#2a8f3a", "16.7 ms (60 fps)");
    horizontalLine(svg, a, kHitchMs, "#c62828", "33 ms");

    svg << "<polyline fill='none' stroke='#1f4e9c' stroke-width='1' points='";
    for (const FrameSample& f : frames) svg << number(a.x(f.demoTime)) << ',' << number(a.y(f.wallMs)) << ' ';
    svg << "'/>\n";
    for (const FrameSample& f : frames)
        if (f.wallMs > kHitchMs)
            svg << "<circle cx='" << number(a.x(f.demoTime)) << "' cy='" << number(a.y(f.wallMs))
                << "' r='4' fill='none' stroke='#c62828' stroke-width='1.5'><title>" << number(f.demoTime)
                << " s: " << number(f.wallMs) << " ms</title></circle>\n";
    svg << "</svg>\n";
    return svg.str();
}

PairedFigures pairRounds(const std::vector<PairedRound>& rounds) {
    PairedFigures figures;
    std::vector<double> base, other, ratios;
    for (const PairedRound& r : rounds) {
        if (r.baseMs <= 0.0 || r.otherMs <= 0.0) continue;   // a run that drew nothing
        base.push_back(r.baseMs);
        other.push_back(r.otherMs);
        ratios.push_back(r.otherMs / r.baseMs);
    }
    if (ratios.empty()) return figures;
    figures.baseMs = percentile(base, 50.0);
    figures.otherMs = percentile(other, 50.0);
    figures.ratio = percentile(ratios, 50.0);
    figures.lowestRatio = *std::min_element(ratios.begin(), ratios.end());
    figures.highestRatio = *std::max_element(ratios.begin(), ratios.end());
    return figures;
}
