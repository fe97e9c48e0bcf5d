// What the analyser writes: the stretches that do not pass, the verdict line, the
// per-frame CSV, the JSON summary and the SVG plot of flashes per second.
#include "flashcheck.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

// =================================================================================
// [stretches]
// =================================================================================

namespace {

struct KindRule {
    const char* kind;
    bool fails;
    std::function<bool(const FrameFigures&, const StandardFigures&, const StandardRules&)> holds;
    std::function<float(const FrameFigures&, const StandardFigures&)> value, area;
    std::function<Rect(const StandardFigures&)> where;
};

float worstRate(const StandardFigures& f) { return std::max(f.flashesPerSecond, f.redPerSecond); }
float worstRateArea(const StandardFigures& f) {
    return f.flashesPerSecond >= f.redPerSecond ? f.flashArea : f.redArea;
}
Rect worstRateWindow(const StandardFigures& f) {
    return f.flashesPerSecond >= f.redPerSecond ? f.flashWindow : f.redWindow;
}

const std::vector<KindRule>& kindRules() {
    using F = const FrameFigures&;
    using S = const StandardFigures&;
    using R = const StandardRules&;
    static const std::vector<KindRule> rules = {
        {"general flash", true, [](F, S s, R) { return s.general == Level::fail; },
         [](F, S s) { return s.flashesPerSecond; }, [](F, S s) { return s.flashArea; },
         [](S s) { return s.flashWindow; }},
        {"red flash", true, [](F, S s, R) { return s.red == Level::fail; },
         [](F, S s) { return s.redPerSecond; }, [](F, S s) { return s.redArea; },
         [](S s) { return s.redWindow; }},
        {"extended flashing", true, [](F, S s, R) { return s.extended; },
         [](F, S s) { return worstRate(s); }, [](F, S s) { return worstRateArea(s); }, worstRateWindow},
        {"pattern", true, [](F f, S, R r) { return r.patterns && f.pattern; },
         [](F f, S) { return float(f.stripePairs); }, [](F f, S) { return f.stripeShare; },
         [](S) { return Rect(); }},
        {"warning", false,
         [](F, S s, R) {
             return (s.general == Level::warning || s.red == Level::warning) && s.general != Level::fail &&
                    s.red != Level::fail && !s.extended;
         },
         [](F, S s) { return worstRate(s); }, [](F, S s) { return worstRateArea(s); }, worstRateWindow},
    };
    return rules;
}

std::vector<Stretch> stretchesUnder(const std::vector<FrameFigures>& frames, double fps, SceneWindowOf sceneWindow,
                                    Standard standard) {
    const StandardRules& rules = standardRules(standard);
    std::vector<Stretch> stretches;
    for (const KindRule& rule : kindRules()) {
        bool open = false;
        Stretch s;
        for (const FrameFigures& f : frames) {
            const StandardFigures& figures = f.standards[int(standard)];
            if (!rule.holds(f, figures, rules)) {
                if (open) stretches.push_back(s);
                open = false;
                continue;
            }
            const float value = rule.value(f, figures), area = rule.area(f, figures);
            if (!open) {
                s = Stretch();
                s.kind = rule.kind;
                s.fails = rule.fails;
                s.standards = 1u << int(standard);
                s.start = f.time;
                s.sceneWindow = sceneWindow ? sceneWindow(f.time) : 0;
                s.worstPerSecond = value;
                s.area = area;
                s.window = rule.where(figures);
                open = true;
            }
            s.end = f.time + 1.0 / fps;
            s.lastSceneWindow = sceneWindow ? sceneWindow(f.time) : 0;
            if (value > s.worstPerSecond || (value == s.worstPerSecond && area > s.area)) {
                s.worstPerSecond = value;
                s.area = area;
                s.window = rule.where(figures);
            }
        }
        if (open) stretches.push_back(s);
    }
    return stretches;
}

bool sameRun(const Stretch& a, const Stretch& b) {
    return a.kind == b.kind && a.start == b.start && a.end == b.end && a.worstPerSecond == b.worstPerSecond &&
           a.area == b.area;
}

} // namespace

std::vector<Stretch> nonPassingStretches(const std::vector<FrameFigures>& frames, double fps,
                                         SceneWindowOf sceneWindow, StandardSet judged) {
    std::vector<Stretch> stretches;
    for (int s = 0; s < kStandardCount; ++s) {
        if (!judges(judged, Standard(s))) continue;
        for (const Stretch& found : stretchesUnder(frames, fps, sceneWindow, Standard(s))) {
            // The broadcast rules see the same area alike: one stretch names them all.
            auto same = std::find_if(stretches.begin(), stretches.end(),
                                     [&](const Stretch& known) { return sameRun(known, found); });
            if (same != stretches.end()) same->standards |= found.standards;
            else stretches.push_back(found);
        }
    }
    std::stable_sort(stretches.begin(), stretches.end(),
                     [](const Stretch& a, const Stretch& b) { return a.start < b.start; });
    return stretches;
}

int verdictStatus(const std::vector<Stretch>& stretches, StandardSet standards) {
    for (const Stretch& s : stretches)
        if (s.fails && (s.standards & standards)) return 1;
    return 0;
}

const char* verdictName(const std::vector<Stretch>& stretches, Standard standard) {
    bool warned = false;
    for (const Stretch& s : stretches) {
        if (!judges(s.standards, standard)) continue;
        if (s.fails) return "fail";
        warned = true;
    }
    return warned ? "pass with warnings" : "pass";
}

// =================================================================================
// [verdict]
// =================================================================================

namespace {

const char* areaNoun(Standard standard) {
    switch (standardRules(standard).area) {
    case AreaKind::window: return "a window";
    case AreaKind::field: return "a field";
    case AreaKind::screen: break;
    }
    return "the screen";
}

std::string describe(const Stretch& s, Standard standard) {
    char text[200];
    if (s.kind == "pattern") {
        std::snprintf(text, sizeof text, "pattern: %.0f stripe pairs over %.0f%% of the screen",
                      double(s.worstPerSecond), 100.0 * double(s.area));
    } else {
        std::snprintf(text, sizeof text, "%s: %.1f flashes/s over %.0f%% of %s", s.kind.c_str(),
                      double(s.worstPerSecond), 100.0 * double(s.area), areaNoun(standard));
    }
    std::string line = text;
    std::snprintf(text, sizeof text, ", %.2f-%.2f s", s.start, s.end);
    line += text;
    if (s.sceneWindow > 0) {
        if (s.lastSceneWindow != s.sceneWindow && s.lastSceneWindow > 0)
            std::snprintf(text, sizeof text, " (scene windows %d-%d)", s.sceneWindow, s.lastSceneWindow);
        else
            std::snprintf(text, sizeof text, " (scene window %d)", s.sceneWindow);
        line += text;
    }
    return line;
}

std::string verdictLine(const std::vector<Stretch>& stretches, const std::vector<FrameFigures>& frames, double fps,
                        Standard standard) {
    constexpr size_t kListed = 3;
    std::vector<const Stretch*> failing, warning;
    for (const Stretch& s : stretches)
        if (judges(s.standards, standard)) (s.fails ? failing : warning).push_back(&s);
    float worst = 0.0f;
    double worstAt = 0.0;
    for (const FrameFigures& f : frames)
        if (worstRate(f.standards[int(standard)]) > worst) worst = worstRate(f.standards[int(standard)]), worstAt = f.time;
    const double seconds = double(frames.size()) / fps;
    char text[240];
    std::string line = std::string(standardRules(standard).key) + " (" + standardRules(standard).name + "): ";
    const std::vector<const Stretch*>& listed = failing.empty() ? warning : failing;
    if (!failing.empty()) {
        line += "FAIL: " + std::to_string(failing.size()) + (failing.size() == 1 ? " stretch" : " stretches") +
                " past the limits: ";
    } else if (!warning.empty()) {
        std::snprintf(text, sizeof text, "PASS with warnings: no stretch past the limits in %.1f s (%zu frames); ",
                      seconds, frames.size());
        line += text;
    } else {
        std::snprintf(text, sizeof text,
                      "PASS: no flashing%s past the limits in %.1f s (%zu frames); "
                      "at most %.1f flashes/s over a quarter of %s",
                      standardRules(standard).patterns ? " or stripes" : "", seconds, frames.size(), double(worst),
                      areaNoun(standard));
        line += text;
        if (worst > 0.0f) {
            std::snprintf(text, sizeof text, " (%.2f s)", worstAt);
            line += text;
        }
        return "flashcheck: " + line;
    }
    for (size_t i = 0; i < listed.size() && i < kListed; ++i)
        line += (i ? "; " : "") + describe(*listed[i], standard);
    if (listed.size() > kListed) line += "; and " + std::to_string(listed.size() - kListed) + " more";
    return "flashcheck: " + line;
}

} // namespace

std::vector<std::string> verdictLines(const std::vector<Stretch>& stretches, const std::vector<FrameFigures>& frames,
                                      double fps, StandardSet judged) {
    std::vector<std::string> lines;
    for (int s = 0; s < kStandardCount; ++s)
        if (judges(judged, Standard(s))) lines.push_back(verdictLine(stretches, frames, fps, Standard(s)));
    return lines;
}

const char* levelName(const FrameFigures& f, Standard standard) {
    const StandardFigures& s = f.standards[int(standard)];
    if (s.general == Level::fail || s.red == Level::fail) return "fail";
    if (s.extended) return "extended";
    if (f.pattern && standardRules(standard).patterns) return "pattern";
    if (s.general == Level::warning || s.red == Level::warning) return "warning";
    return "pass";
}

// =================================================================================
// [files]
// =================================================================================

std::string frameTable(const std::vector<FrameFigures>& frames, SceneWindowOf sceneWindow, StandardSet judged) {
    std::string out = "frame,time,scene_window,mean_luminance";
    for (int s = 0; s < kStandardCount; ++s) {
        if (!judges(judged, Standard(s))) continue;
        const std::string k = standardRules(Standard(s)).key;
        out += "," + k + "_flashes_per_s," + k + "_flash_area," + k + "_red_flashes_per_s," + k + "_red_area," + k +
               "_level";
    }
    out += ",stripe_pairs,stripes_move,stripe_share\n";
    char line[128];
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameFigures& f = frames[i];
        std::snprintf(line, sizeof line, "%zu,%.4f,%d,%.4f", i, f.time, sceneWindow ? sceneWindow(f.time) : 0,
                      double(f.meanLuminance));
        out += line;
        for (int s = 0; s < kStandardCount; ++s) {
            if (!judges(judged, Standard(s))) continue;
            const StandardFigures& g = f.standards[s];
            std::snprintf(line, sizeof line, ",%.1f,%.3f,%.1f,%.3f,%s", double(g.flashesPerSecond),
                          double(g.flashArea), double(g.redPerSecond), double(g.redArea),
                          levelName(f, Standard(s)));
            out += line;
        }
        std::snprintf(line, sizeof line, ",%d,%d,%.3f\n", f.stripePairs, f.stripesMove ? 1 : 0,
                      double(f.stripeShare));
        out += line;
    }
    return out;
}

namespace {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += c;
        else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else out += c;
    }
    return out + "\"";
}

std::string standardList(StandardSet set) {
    std::string out = "[";
    for (int s = 0; s < kStandardCount; ++s)
        if (judges(set, Standard(s))) out += std::string(out.size() > 1 ? ", " : "") + "\"" + standardRules(Standard(s)).key + "\"";
    return out + "]";
}

// The worst of one scene window under one standard.
std::string sceneWindowFigures(const std::vector<FrameFigures>& frames, SceneWindowOf sceneWindow, int w,
                               Standard standard) {
    float general = 0.0f, red = 0.0f, generalArea = 0.0f, redArea = 0.0f;
    // Fails outrank the longer-term kinds, which outrank warnings.
    auto rank = [](const std::string& level) {
        return level == "fail" ? 3 : level == "warning" ? 1 : level == "pass" ? 0 : 2;
    };
    std::string worstLevel = "pass";
    for (const FrameFigures& f : frames) {
        if (sceneWindow(f.time) != w) continue;
        const StandardFigures& s = f.standards[int(standard)];
        if (s.flashesPerSecond > general || (s.flashesPerSecond == general && s.flashArea > generalArea))
            general = s.flashesPerSecond, generalArea = s.flashArea;
        if (s.redPerSecond > red || (s.redPerSecond == red && s.redArea > redArea)) red = s.redPerSecond, redArea = s.redArea;
        if (rank(levelName(f, standard)) > rank(worstLevel)) worstLevel = levelName(f, standard);
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "\"%s\": {\"worst_flashes_per_second\": %.1f, \"area\": %.3f, "
                  "\"worst_red_flashes_per_second\": %.1f, \"red_area\": %.3f, \"worst_level\": \"%s\"}",
                  standardRules(standard).key, double(general), double(generalArea), double(red), double(redArea),
                  worstLevel.c_str());
    return text;
}

} // namespace

std::string summaryJson(const std::string& source, double fps, int width, int height,
                        const std::vector<FrameFigures>& frames,
                        const std::vector<Stretch>& stretches, SceneWindowOf sceneWindow,
                        double analysisSeconds, StandardSet judged) {
    const int status = verdictStatus(stretches, judged);
    bool warned = false;
    for (const Stretch& s : stretches) warned = warned || !s.fails;
    char text[512];
    std::string out = "{\n  \"source\": " + jsonString(source) + ",\n";
    std::snprintf(text, sizeof text,
                  "  \"fps\": %.6g,\n  \"width\": %d,\n  \"height\": %d,\n  \"frames\": %zu,\n"
                  "  \"first_time\": %.4f,\n  \"analysis_seconds\": %.2f,\n  \"verdict\": \"%s\",\n",
                  fps, width, height, frames.size(), frames.empty() ? 0.0 : frames.front().time,
                  analysisSeconds, status ? "fail" : warned ? "pass with warnings" : "pass");
    out += text;
    out += "  \"standards\": {";
    for (int s = 0, n = 0; s < kStandardCount; ++s)
        if (judges(judged, Standard(s)))
            out += std::string(n++ ? ", " : "") + "\"" + standardRules(Standard(s)).key + "\": \"" +
                   verdictName(stretches, Standard(s)) + "\"";
    out += "},\n";
    out += "  \"stretches\": [";
    for (size_t i = 0; i < stretches.size(); ++i) {
        const Stretch& s = stretches[i];
        std::snprintf(text, sizeof text,
                      "%s\n    {\"kind\": \"%s\", \"level\": \"%s\", \"start\": %.4f, \"end\": %.4f, "
                      "\"scene_window\": %d, \"last_scene_window\": %d, \"%s\": %.1f, \"area\": %.3f, "
                      "\"window\": {\"x\": %d, \"y\": %d, \"width\": %d, \"height\": %d}, \"standards\": ",
                      i ? "," : "", s.kind.c_str(), s.fails ? "fail" : "warning", s.start, s.end,
                      s.sceneWindow, s.lastSceneWindow,
                      s.kind == "pattern" ? "stripe_pairs" : "worst_flashes_per_second",
                      double(s.worstPerSecond), double(s.area), s.window.x0, s.window.y0,
                      s.window.x1 - s.window.x0, s.window.y1 - s.window.y0);
        out += text + standardList(s.standards) + "}";
    }
    out += stretches.empty() ? "],\n" : "\n  ],\n";

    // The worst of every scene window the frames reach, under each standard, for a table
    // per window.
    out += "  \"scene_windows\": [";
    bool first = true;
    constexpr int kMostSceneWindows = 16;  // more than any timeline here has
    for (int w = 1; sceneWindow && w <= kMostSceneWindows; ++w) {
        float stripes = 0.0f;
        double from = 1e30, to = -1e30;
        long count = 0;
        for (const FrameFigures& f : frames) {
            if (sceneWindow(f.time) != w) continue;
            ++count;
            from = std::min(from, f.time);
            to = std::max(to, f.time + 1.0 / fps);
            if (f.stripeShare > kPatternScreenShare) stripes = std::max(stripes, float(f.stripePairs));
        }
        if (count == 0) continue;
        std::snprintf(text, sizeof text,
                      "%s\n    {\"scene_window\": %d, \"from\": %.3f, \"to\": %.3f, \"frames\": %ld, "
                      "\"stripe_pairs_over_a_quarter\": %.0f, \"standards\": {",
                      first ? "" : ",", w, from, to, count, double(stripes));
        out += text;
        for (int s = 0, n = 0; s < kStandardCount; ++s)
            if (judges(judged, Standard(s)))
                out += std::string(n++ ? ", " : "") + sceneWindowFigures(frames, sceneWindow, w, Standard(s));
        out += "}}";
        first = false;
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string flashPlotSvg(const std::vector<FrameFigures>& frames,
                         const std::vector<Stretch>& stretches,
                         const std::vector<PlotBand>& sceneWindows, const std::string& title,
                         StandardSet judged) {
    // The worst any judged standard sees.
    auto worstOf = [judged](const FrameFigures& f, bool red) {
        float worst = 0.0f;
        for (int s = 0; s < kStandardCount; ++s)
            if (judges(judged, Standard(s)))
                worst = std::max(worst, red ? f.standards[s].redPerSecond : f.standards[s].flashesPerSecond);
        return worst;
    };
    constexpr int kWidth = 1200, kHeight = 320, kLeft = 50, kRight = 15, kTop = 30, kBottom = 40;
    const int plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    const double t0 = frames.empty() ? 0.0 : frames.front().time;
    double t1 = frames.empty() ? 1.0 : frames.back().time;
    if (t1 <= t0) t1 = t0 + 1.0;
    float top = 4.0f;
    for (const FrameFigures& f : frames) top = std::max(top, std::max(worstOf(f, false), worstOf(f, true)) + 0.5f);
    auto px = [&](double t) { return kLeft + (t - t0) / (t1 - t0) * plotW; };
    auto py = [&](double v) { return kTop + plotH - v / top * plotH; };

    char text[400];
    std::string out;
    std::snprintf(text, sizeof text,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                  "font-family=\"sans-serif\" font-size=\"11\">\n"
                  "<rect width=\"100%%\" height=\"100%%\" fill=\"#fff\"/>\n", kWidth, kHeight);
    out += text;
    std::snprintf(text, sizeof text, "<text x=\"%d\" y=\"18\" font-size=\"13\">", kLeft);
    out += text;
    for (char c : title) out += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    out += "</text>\n";
    // Scene windows as alternating bands, numbered.
    for (size_t i = 0; i < sceneWindows.size(); ++i) {
        const PlotBand& b = sceneWindows[i];
        const double a = std::max(b.from, t0), z = std::min(b.to, t1);
        if (z <= a) continue;
        std::snprintf(text, sizeof text,
                      "<rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"%d\" fill=\"%s\"/>"
                      "<text x=\"%.1f\" y=\"%d\" fill=\"#666\">window %d</text>\n",
                      px(a), kTop, px(z) - px(a), plotH, b.number % 2 ? "#f2f2f2" : "#e4e4ea",
                      px(a) + 3, kTop + 12, b.number);
        out += text;
    }
    // Stretches that do not pass, under the axis: red fails, orange warnings.
    for (const Stretch& s : stretches) {
        std::snprintf(text, sizeof text,
                      "<rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"6\" fill=\"%s\"><title>%s</title></rect>\n",
                      px(s.start), kTop + plotH + 2, std::max(1.0, px(s.end) - px(s.start)),
                      s.fails ? "#d00" : "#f90", s.kind.c_str());
        out += text;
    }
    // The limit (more than three flashes a second fails) and the warning level.
    std::snprintf(text, sizeof text,
                  "<line x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#d00\" stroke-dasharray=\"6 4\"/>"
                  "<text x=\"%d\" y=\"%.1f\" fill=\"#d00\">fail above 3/s</text>\n"
                  "<line x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#f90\" stroke-dasharray=\"3 4\"/>\n",
                  kLeft, kLeft + plotW, py(3.0), py(3.0), kLeft + plotW - 80, py(3.0) - 3, kLeft,
                  kLeft + plotW, py(2.0), py(2.0));
    out += text;
    // One point per pixel column: the worst frame in it.
    auto series = [&](auto value, const char* colour) {
        std::vector<float> column(size_t(plotW) + 1, -1.0f);
        for (const FrameFigures& f : frames) {
            const size_t c = size_t(std::lround(px(f.time) - kLeft));
            column[std::min(c, column.size() - 1)] = std::max(column[std::min(c, column.size() - 1)], value(f));
        }
        std::string points;
        for (size_t c = 0; c < column.size(); ++c) {
            if (column[c] < 0.0f) continue;
            std::snprintf(text, sizeof text, "%zu,%.1f ", kLeft + c, py(column[c]));
            points += text;
        }
        out += "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"1.2\" points=\"" +
               points + "\"/>\n";
    };
    series([&](const FrameFigures& f) { return worstOf(f, false); }, "#124");
    series([&](const FrameFigures& f) { return worstOf(f, true); }, "#c22");
    // Axes and labels.
    std::snprintf(text, sizeof text,
                  "<line x1=\"%d\" x2=\"%d\" y1=\"%d\" y2=\"%d\" stroke=\"#000\"/>"
                  "<line x1=\"%d\" x2=\"%d\" y1=\"%d\" y2=\"%d\" stroke=\"#000\"/>\n",
                  kLeft, kLeft + plotW, kTop + plotH, kTop + plotH, kLeft, kLeft, kTop, kTop + plotH);
    out += text;
    for (int v = 0; v <= int(top); ++v) {
        std::snprintf(text, sizeof text, "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%d</text>\n",
                      kLeft - 5, py(v) + 4, v);
        out += text;
    }
    const double step = (t1 - t0) > 60.0 ? 20.0 : (t1 - t0) > 10.0 ? 2.0 : 0.5;
    for (double t = std::ceil(t0 / step) * step; t <= t1 + 1e-9; t += step) {
        std::snprintf(text, sizeof text, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%g</text>\n",
                      px(t), kTop + plotH + 20, t);
        out += text;
    }
    std::snprintf(text, sizeof text,
                  "<text x=\"%d\" y=\"%d\">flashes per second over a quarter of the worst area, any judged standard "
                  "(dark: luminance, red: saturated red); bars below: red fails, orange warnings; "
                  "time in s</text>\n</svg>\n",
                  kLeft, kHeight - 6);
    out += text;
    return out;
}
