// The capture tool's machinery: command line, frame schedule and warm-up, the ffmpeg
// process and its arguments, pixel readback, the progress line and the capture loop.
//
// Index
//   [options]   command line over the defaults
//   [schedule]  the frame grid and the warm-up frames before it
//   [audio]     where the music's start falls in the video
//   [encoder]   ffmpeg's arguments, process and pipe
//   [readback]  glReadPixels through a pair of pixel-pack buffers
//   [progress]  durations, sizes and the status line
//   [loop]      stepping the clock, drawing, reading, presenting
//   [demo]      the demo's frame as a frame source
#include "capture.h"
#include "app/timeline.h"
#include "gfx/gl.h"
#include "input/input.h"
#include <GLFW/glfw3.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

// =================================================================================
// [options]
// =================================================================================

namespace {

bool readNumber(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && errno == 0 && std::isfinite(value);
}

// "3840x2160": two whole numbers joined by an x.
bool readSize(const std::string& text, int& width, int& height) {
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    double w = 0.0, h = 0.0;
    if (!readNumber(text.substr(0, x), w) || !readNumber(text.substr(x + 1), h)) return false;
    if (w != std::floor(w) || h != std::floor(h)) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// Past any size a player or video site takes; yuv420p halves both sides, so they must
// be even.
constexpr int kLargestSide = 16384;

} // namespace

std::string captureUsage() {
    return "usage: capture [options]\n"
           "  --fps N            frames per second of the video (default 60)\n"
           "  --from T           first frame's demo second (default -13, the clock's start)\n"
           "  --to T             demo second the video ends at (default 265, the end)\n"
           "  --out PATH         the MP4 to write (default build/norrvale.mp4)\n"
           "  --stage DIR        the folder the demo runs in (default build/stage)\n"
           "  --audio PATH       the soundtrack (default the staged tessmer-trancedemo5.mp3)\n"
           "  --no-audio         video only\n"
           "  --audio-start S    clock second the music starts at (default: this run's\n"
           "                     measured set-up time, as in a real run)\n"
           "  --warmup-rate R    frames per second drawn, not kept, before --from (default 1)\n"
           "  --preset NAME      libx264 preset (default ultrafast)\n"
           "  --crf N            libx264 quality, lower is better (default 20)\n"
           "  --samples N        sub-frames averaged into each frame, each at its own\n"
           "                     sub-pixel offset and instant (default 1, up to 256)\n"
           "  --shutter F        part of the frame interval the sub-frames spread over,\n"
           "                     centred on the frame's time (default 0.5; 0 to 1)\n"
           "  --size WxH         the video's frame size, scaled from 1920x1080 with a\n"
           "                     Lanczos filter (default 1920x1080)\n"
           "  --sync-readback    read each frame straight into memory, no pixel buffers\n";
}

bool parseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& options,
                         std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = flag + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](double& out) {
            std::string text;
            if (!value(text)) return false;
            if (!readNumber(text, out)) {
                error = flag + " needs a number, not '" + text + "'";
                return false;
            }
            return true;
        };
        double crf = 0.0, samples = 0.0;
        bool ok = true;
        if (flag == "--help" || flag == "-h") options.help = true;
        else if (flag == "--fps") ok = number(options.fps);
        else if (flag == "--from") ok = number(options.fromDemo);
        else if (flag == "--to") ok = number(options.toDemo);
        else if (flag == "--out") ok = value(options.outPath);
        else if (flag == "--stage") ok = value(options.stageDir);
        else if (flag == "--audio") ok = value(options.soundtrackPath);
        else if (flag == "--no-audio") options.withAudio = false;
        else if (flag == "--audio-start") ok = number(options.audioStartClock);
        else if (flag == "--warmup-rate") ok = number(options.warmupRate);
        else if (flag == "--preset") ok = value(options.preset);
        else if (flag == "--crf") {
            ok = number(crf);
            options.crf = static_cast<int>(crf);
            if (ok && (crf != std::floor(crf) || crf < 0 || crf > 51)) {
                error = "--crf takes a whole number from 0 to 51";
                ok = false;
            }
        } else if (flag == "--samples") {
            ok = number(samples);
            options.samples = static_cast<int>(samples);
            if (ok && (samples != std::floor(samples) || samples < 1 || samples > kMaxSamples)) {
                error = "--samples takes a whole number from 1 to " + std::to_string(kMaxSamples);
                ok = false;
            }
        } else if (flag == "--shutter") {
            ok = number(options.shutter);
            if (ok && (options.shutter < 0.0 || options.shutter > 1.0)) {
                error = "--shutter takes a part of the frame interval from 0 to 1";
                ok = false;
            }
        } else if (flag == "--size") {
            std::string text;
            ok = value(text);
            if (ok && !readSize(text, options.outWidth, options.outHeight)) {
                error = "--size takes WIDTHxHEIGHT in pixels, e.g. 3840x2160, not '" + text + "'";
                ok = false;
            } else if (ok && (options.outWidth < 2 || options.outHeight < 2 ||
                              options.outWidth > kLargestSide || options.outHeight > kLargestSide ||
                              options.outWidth % 2 || options.outHeight % 2)) {
                error = "--size needs even sides from 2 to " + std::to_string(kLargestSide);
                ok = false;
            }
        } else if (flag == "--sync-readback") options.pboReadback = false;
        else {
            error = "unknown option '" + flag + "'";
            ok = false;
        }
        if (!ok) return false;
    }
    // The clock cannot be set below zero, and past the end the demo presents nothing.
    if (!(options.fps > 0.0 && options.fps <= 1000.0)) error = "--fps must be above 0 and at most 1000";
    else if (options.fromDemo < -kDemoClockOffset) error = "--from cannot be before -13";
    else if (options.toDemo > kTimelineEnd) error = "--to cannot be after 265";
    else if (!(options.toDemo > options.fromDemo)) error = "--to must come after --from";
    else if (options.outPath.empty()) error = "--out needs a path";
    else if (options.warmupRate < 0.0) error = "--warmup-rate cannot be negative";
    return error.empty();
}

// =================================================================================
// [schedule]
// =================================================================================

namespace {

// Rounding slack for products of seconds and frame rates that should be whole.
constexpr double kGridSlack = 1e-6;

} // namespace

FrameSchedule frameSchedule(const CaptureOptions& options) {
    FrameSchedule schedule;
    schedule.firstClock = options.fromDemo + kDemoClockOffset;
    schedule.fps = options.fps;
    double frames = (options.toDemo - options.fromDemo) * options.fps;
    schedule.count = static_cast<long>(std::ceil(frames - kGridSlack));
    return schedule;
}

// Computed from the frame number, never accumulated, so no error builds up over
// sixteen thousand frames.
double frameClock(const FrameSchedule& schedule, long frame) {
    return schedule.firstClock + static_cast<double>(frame) / schedule.fps;
}

double scheduleSeconds(const FrameSchedule& schedule) {
    return static_cast<double>(schedule.count) / schedule.fps;
}

std::vector<double> warmupClocks(const FrameSchedule& schedule, double rate) {
    const double first = schedule.firstClock;
    const double fps = schedule.fps;
    // Frames are named by how many grid steps they lie before frame 0.
    std::set<long> stepsBack;
    auto lastStepBefore = [&](double clock) {  // the grid frame just before `clock`
        return static_cast<long>(std::floor((first - clock) * fps + kGridSlack)) + 1;
    };

    double windowStart = 0.0;  // clock where frame 0's scene window opens
    // Where one scene window hands over to the next: every window's start but the first.
    for (int w = 1; w < kTimelineWindowCount; ++w) {
        double boundClock = double(kTimelineWindows[w].from) + kDemoClockOffset;
        if (boundClock > first + kGridSlack) break;
        stepsBack.insert(lastStepBefore(boundClock));
        windowStart = boundClock;
    }
    if (rate > 0.0) {
        for (double t = windowStart + 1.0 / rate; t < first; t += 1.0 / rate) {
            long k = static_cast<long>(std::ceil((first - t) * fps - kGridSlack));
            if (k >= 1 && first - k / fps > windowStart + kGridSlack) stepsBack.insert(k);
        }
    }
    stepsBack.insert(1);

    std::vector<double> clocks;
    for (auto it = stepsBack.rbegin(); it != stepsBack.rend(); ++it) {
        double clock = first - static_cast<double>(*it) / fps;
        if (clock >= 0.0) clocks.push_back(clock);
    }
    return clocks;
}

// =================================================================================
// [audio]
// =================================================================================

AudioPlan audioPlan(const std::string& path, bool present, double startClock,
                    const FrameSchedule& schedule) {
    AudioPlan plan;
    plan.present = present;
    plan.path = path;
    plan.delaySeconds = std::max(0.0, startClock - schedule.firstClock);
    plan.trimSeconds = std::max(0.0, schedule.firstClock - startClock);
    return plan;
}

// =================================================================================
// [encoder]
// =================================================================================

namespace {

std::string decimal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

} // namespace

std::vector<std::string> encoderArguments(const CaptureOptions& options,
                                          const FrameSchedule& schedule,
                                          const AudioPlan& audio) {
    std::vector<std::string> args = {
        "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", std::to_string(options.width) + "x" + std::to_string(options.height),
        "-framerate", decimal(schedule.fps),
        "-i", "pipe:0",
    };
    if (audio.present) {
        args.insert(args.end(), {"-i", audio.path, "-map", "0:v:0", "-map", "1:a:0"});
    }
    // GL hands rows over bottom first. Lanczos keeps edges crisp where bicubic would
    // soften them; scaling in RGB before the chroma is halved keeps the colour detail.
    std::string filter = "vflip";
    if (options.outWidth != options.width || options.outHeight != options.height) {
        filter += ",scale=" + std::to_string(options.outWidth) + ":" +
                  std::to_string(options.outHeight) + ":flags=lanczos";
    }
    args.insert(args.end(), {"-vf", filter,
                             "-c:v", "libx264", "-preset", options.preset,
                             "-crf", std::to_string(options.crf), "-pix_fmt", "yuv420p"});
    if (audio.present) {
        // Silence is written out rather than left to an edit list, which not every
        // player honours; the trim is sample-exact where an input seek is not.
        std::string filter;
        if (audio.delaySeconds > 0.0)
            filter = "adelay=delays=" + decimal(audio.delaySeconds * 1000.0) + ":all=1";
        else if (audio.trimSeconds > 0.0)
            filter = "atrim=start=" + decimal(audio.trimSeconds) + ",asetpts=PTS-STARTPTS";
        if (!filter.empty()) args.insert(args.end(), {"-af", filter});
        args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
    }
    // One encoder thread: the renderer needs the other core.
    args.insert(args.end(), {"-threads", "1", "-filter_threads", "1",
                             "-t", decimal(scheduleSeconds(schedule)),
                             "-movflags", "+faststart", options.outPath});
    return args;
}

bool startEncoder(const std::vector<std::string>& args, Encoder& encoder, std::string& error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = "cannot make a pipe to ffmpeg";
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        error = "cannot start ffmpeg";
        return false;
    }
    if (pid == 0) {
        // Its own process group: an interrupt meant for the capture must not cut the
        // encoder off before it has written the file's index.
        setpgid(0, 0);
        dup2(fds[0], STDIN_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[0]);
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);  // best effort; fewer wake-ups per frame
    encoder.pid = pid;
    encoder.input = fds[1];
    return true;
}

bool sendToEncoder(Encoder& encoder, const void* data, size_t bytes) {
    const char* at = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = write(encoder.input, at, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

int finishEncoder(Encoder& encoder) {
    if (encoder.input >= 0) close(encoder.input);
    encoder.input = -1;
    if (encoder.pid < 0) return -1;
    int status = 0;
    while (waitpid(encoder.pid, &status, 0) < 0 && errno == EINTR) {}
    encoder.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// =================================================================================
// [readback]
// =================================================================================

size_t frameBytes(const FrameReadback& readback) {
    return static_cast<size_t>(readback.width) * static_cast<size_t>(readback.height) * 3;
}

void beginReadback(FrameReadback& readback, int width, int height, bool usePbo) {
    readback.width = width;
    readback.height = height;
    readback.usePbo = usePbo;
    readback.queued[0] = readback.queued[1] = false;
    readback.next = 0;
    if (usePbo) {
        glGenBuffers(2, readback.pbo);
        for (unsigned pbo : readback.pbo) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, pbo);
            glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(frameBytes(readback)),
                         nullptr, GL_STREAM_READ);
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    } else {
        readback.pixels.resize(frameBytes(readback));
    }
}

void endReadback(FrameReadback& readback) {
    if (readback.pbo[0] || readback.pbo[1]) glDeleteBuffers(2, readback.pbo);
    readback.pbo[0] = readback.pbo[1] = 0;
    readback.queued[0] = readback.queued[1] = false;
    readback.pixels.clear();
}

namespace {

bool sendMapped(FrameReadback& readback, int index, FrameSink sink) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readback.pbo[index]);
    const void* rgb = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0,
                                       static_cast<GLsizeiptr>(frameBytes(readback)),
                                       GL_MAP_READ_BIT);
    bool ok = rgb && sink.take(static_cast<const unsigned char*>(rgb), frameBytes(readback),
                               sink.user);
    if (rgb) glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    readback.queued[index] = false;
    return ok;
}

} // namespace

bool readFrame(FrameReadback& readback, FrameSink sink) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!readback.usePbo) {
        glReadPixels(0, 0, readback.width, readback.height, GL_RGB, GL_UNSIGNED_BYTE,
                     readback.pixels.data());
        return sink.take(readback.pixels.data(), readback.pixels.size(), sink.user);
    }
    int index = readback.next;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readback.pbo[index]);
    glReadPixels(0, 0, readback.width, readback.height, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    readback.queued[index] = true;
    readback.next = 1 - index;
    // The other buffer holds the previous frame, which has had a whole frame to land.
    if (readback.queued[readback.next]) return sendMapped(readback, readback.next, sink);
    return true;
}

bool drainReadback(FrameReadback& readback, FrameSink sink) {
    int last = 1 - readback.next;
    if (readback.usePbo && readback.queued[last]) return sendMapped(readback, last, sink);
    return true;
}

// =================================================================================
// [progress]
// =================================================================================

std::string formatDuration(double seconds) {
    long s = static_cast<long>(std::llround(std::max(0.0, seconds)));
    char text[32];
    if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string formatSize(unsigned long long bytes) {
    char text[32];
    const double kib = 1024.0, mib = kib * 1024.0, gib = mib * 1024.0;
    if (bytes >= gib) std::snprintf(text, sizeof text, "%.2f GiB", bytes / gib);
    else if (bytes >= mib) std::snprintf(text, sizeof text, "%.1f MiB", bytes / mib);
    else std::snprintf(text, sizeof text, "%.0f KiB", std::ceil(bytes / kib));
    return text;
}

std::string progressLine(long done, long total, double elapsedSeconds, double videoFps,
                         int samples) {
    constexpr int kBarWidth = 24;
    double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    fraction = std::min(1.0, std::max(0.0, fraction));
    int filled = static_cast<int>(fraction * kBarWidth);
    std::string bar = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";

    // The frame rate is measured over whole frames, so the time left counts every
    // sub-frame still to draw.
    char each[32] = "";
    if (samples > 1) std::snprintf(each, sizeof each, " x %d samples", samples);
    char text[192];
    if (done > 0 && elapsedSeconds > 0.0) {
        double fps = done / elapsedSeconds;
        double left = static_cast<double>(total - done) / fps;
        std::snprintf(text, sizeof text, "%s %3d%%  %ld/%ld frames%s  %.2f fps  %.3fx real time  %s left",
                      bar.c_str(), static_cast<int>(fraction * 100.0), done, total, each, fps,
                      fps / videoFps, formatDuration(left).c_str());
    } else {
        std::snprintf(text, sizeof text, "%s %3d%%  %ld/%ld frames%s", bar.c_str(),
                      static_cast<int>(fraction * 100.0), done, total, each);
    }
    return text;
}

// =================================================================================
// [loop]
// =================================================================================

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct EncoderFeed {
    Encoder* encoder = nullptr;
    long framesSent = 0;
    double seconds = 0.0;
};

bool sendFrameToEncoder(const unsigned char* rgb, size_t bytes, void* user) {
    EncoderFeed& feed = *static_cast<EncoderFeed*>(user);
    const auto start = std::chrono::steady_clock::now();
    bool sent = sendToEncoder(*feed.encoder, rgb, bytes);
    feed.seconds += secondsSince(start);
    if (!sent) return false;
    ++feed.framesSent;
    return true;
}

// Sub-frames go into the sums; each finished mean goes on to the encoder.
struct AverageFeed {
    FrameAverage average;
    FrameSink next;
    double seconds = 0.0;
};

bool averageSubFrame(const unsigned char* rgb, size_t, void* user) {
    AverageFeed& feed = *static_cast<AverageFeed*>(user);
    const auto start = std::chrono::steady_clock::now();
    bool done = addToAverage(feed.average, rgb);
    feed.seconds += secondsSince(start);
    if (!done) return true;
    return feed.next.take(feed.average.mean.data(), feed.average.mean.size(), feed.next.user);
}

// Redrawn in place on a terminal; on a log, a line every tenth of the way.
struct ProgressReport {
    bool quiet = false;
    bool terminal = false;
    double lastDrawn = -1.0;
    int lastTenth = -1;
    long lastDone = -1;
};

void reportProgress(ProgressReport& report, long done, long total, double elapsed,
                    double fps, int samples, bool last) {
    if (report.quiet) return;
    if (report.terminal) {
        if (!last && elapsed - report.lastDrawn < 0.2) return;
        report.lastDrawn = elapsed;
        std::fprintf(stderr, "\r%s\033[K%s", progressLine(done, total, elapsed, fps, samples).c_str(),
                     last ? "\n" : "");
    } else {
        int tenth = total > 0 ? static_cast<int>(10 * done / total) : 10;
        if ((tenth == report.lastTenth && !last) || done == report.lastDone) return;
        report.lastTenth = tenth;
        report.lastDone = done;
        std::fprintf(stderr, "%s\n", progressLine(done, total, elapsed, fps, samples).c_str());
    }
    std::fflush(stderr);
}

} // namespace

CaptureResult runCapture(GLFWwindow* window, const CaptureOptions& options,
                         const AudioPlan& audio, FrameSource source, bool quiet) {
    CaptureResult result;
    const auto start = std::chrono::steady_clock::now();
    const FrameSchedule schedule = frameSchedule(options);

    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    if (width != options.width || height != options.height) {
        result.error = "the framebuffer is " + std::to_string(width) + "x" +
                       std::to_string(height) + ", not " + std::to_string(options.width) +
                       "x" + std::to_string(options.height);
        return result;
    }

    // Presenting must not wait for a display refresh; the clock is stepped anyway.
    glfwSwapInterval(0);

    // A broken pipe shows up as a failed write, and an interrupt ends the capture with
    // a finished, playable file.
    auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    auto oldInt = std::signal(SIGINT, onInterrupt);
    auto oldTerm = std::signal(SIGTERM, onInterrupt);
    interrupted = 0;

    Encoder encoder;
    if (!startEncoder(encoderArguments(options, schedule, audio), encoder, result.error)) {
        std::signal(SIGPIPE, oldPipe);
        std::signal(SIGINT, oldInt);
        std::signal(SIGTERM, oldTerm);
        return result;
    }
    FrameReadback readback;
    beginReadback(readback, width, height, options.pboReadback);
    EncoderFeed feed{&encoder, 0, 0.0};
    FrameSink sink{sendFrameToEncoder, &feed};
    // One sample goes straight to the encoder, as a plain capture always has.
    const std::vector<SubFrame> plan = subFramePlan(options.samples, options.shutter);
    AverageFeed averaging;
    if (plan.size() > 1) {
        beginAverage(averaging.average, frameBytes(readback), options.samples);
        averaging.next = sink;
        sink = FrameSink{averageSubFrame, &averaging};
    }
    const bool offsets = plan.size() > 1 && source.offset;

    ProgressReport report;
    report.quiet = quiet;
    report.terminal = isatty(STDERR_FILENO) != 0;

    // The warm-up frames are drawn only for what they leave behind.
    const std::vector<double> warmup = warmupClocks(schedule, options.warmupRate);
    if (!quiet && !warmup.empty())
        std::fprintf(stderr, "capture: drawing %zu warm-up frames before the first\n",
                     warmup.size());
    // Whatever offset an earlier capture left, warm-up and plain frames have none.
    if (source.offset) source.offset(0.0, 0.0, source.user);
    for (double clock : warmup) {
        if (interrupted) break;
        glfwSetTime(clock);
        source.draw(source.user);
    }

    const auto loopStart = std::chrono::steady_clock::now();
    bool sent = true;
    for (long frame = 0; frame < schedule.count && sent; ++frame) {
        if (interrupted || glfwWindowShouldClose(window)) {
            result.stoppedEarly = true;
            break;
        }
        handleKeys(window);
        for (const SubFrame& sub : plan) {
            if (!sent) break;
            // The shutter of frame 0 opens before clock 0 when the capture starts
            // there; the clock cannot be set lower, so those sub-frames wait at 0.
            const double clock = std::max(0.0, frameClock(schedule, frame) + sub.when / schedule.fps);
            const auto drawStart = std::chrono::steady_clock::now();
            if (offsets) source.offset(sub.dx, sub.dy, source.user);
            glfwSetTime(clock);
            source.draw(source.user);
            result.maxClockDrift = std::max(result.maxClockDrift, glfwGetTime() - clock);
            if (options.timeSteps) glFinish();
            const auto readStart = std::chrono::steady_clock::now();
            result.drawSeconds += std::chrono::duration<double>(readStart - drawStart).count();
            const double handedOn = feed.seconds + averaging.seconds;
            sent = readFrame(readback, sink);
            result.readSeconds += secondsSince(readStart) - (feed.seconds + averaging.seconds - handedOn);
        }
        glfwSwapBuffers(window);
        glfwPollEvents();
        reportProgress(report, frame + 1, schedule.count, secondsSince(loopStart), schedule.fps,
                       options.samples, false);
    }
    if (sent) sent = drainReadback(readback, sink);
    result.framesWritten = feed.framesSent;
    result.averageSeconds = averaging.seconds;
    result.encodeSeconds = feed.seconds;
    reportProgress(report, result.framesWritten, schedule.count, secondsSince(loopStart),
                   schedule.fps, options.samples, true);
    endReadback(readback);

    int status = finishEncoder(encoder);
    std::signal(SIGPIPE, oldPipe);
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);

    result.seconds = secondsSince(start);
    result.loopSeconds = secondsSince(loopStart);
    if (status == 127) result.error = "ffmpeg could not be run (scripts/setup.sh installs it)";
    else if (status != 0) result.error = "ffmpeg failed with status " + std::to_string(status);
    else if (!sent) result.error = "ffmpeg stopped taking frames";
    result.ok = result.error.empty();
    return result;
}

// =================================================================================
// [demo]
// =================================================================================

void drawDemoFrame(void* state) {
    DemoState& demo = *static_cast<DemoState*>(state);
    float demoTime = static_cast<float>(glfwGetTime()) - kDemoClockOffset;
    drawFrame(demoTime, demo.res, demo.loop);
}

void offsetDemoFrame(double dx, double dy, void* state) {
    setSceneOffset(static_cast<DemoState*>(state)->res, dx, dy);
}

bool demoFrameSource(DemoState& demo, const CaptureOptions& options, FrameSource& source,
                     std::string& error) {
    source = FrameSource{drawDemoFrame, &demo, nullptr};
    if (options.samples <= 1) return true;
    if (!displaceScenePrograms(demo.res, error)) return false;
    source.offset = offsetDemoFrame;
    return true;
}
