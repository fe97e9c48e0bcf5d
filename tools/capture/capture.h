// Offline capture of the demo: its own frame drawing stepped at a fixed frame rate,
// each frame read back and piped to ffmpeg, which writes an H.264 MP4 with the music.
#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include <sys/types.h>
#include "demo_frames.h"
#include "subframes.h"

struct GLFWwindow;

// ---------------------------------------------------------------------------------
// What to capture
// ---------------------------------------------------------------------------------

struct CaptureOptions {
    double fps = 60.0;
    double fromDemo = -13.0;  // first frame's demoTime (clock 0)
    double toDemo = 265.0;    // the video ends here; no frame at or after it
    std::string outPath;
    std::string stageDir;     // the demo reads its files relative to this folder
    std::string soundtrackPath;
    bool withAudio = true;
    double audioStartClock = -1.0;  // clock second of the music's start; below 0: measured
    double warmupRate = 1.0;        // frames per demo second before --from, in its window
    // The encoder shares two cores with the software renderer. ultrafast takes 16 ms of
    // CPU per 1080p frame where veryfast took 38; at crf 20 it keeps more of the picture
    // than veryfast at 18 did (PSNR 47.7 against 46.8 dB) in about twice the bytes.
    std::string preset = "ultrafast";
    int crf = 20;
    bool pboReadback = true;
    int width = 1920;          // the framebuffer the frames are drawn in
    int height = 1080;
    int outWidth = 1920;       // the video's frames, scaled by the encoder when they differ
    int outHeight = 1080;
    int samples = 1;           // sub-frames averaged into each frame
    double shutter = kDefaultShutter;  // of the frame interval, centred on the frame's time
    bool timeSteps = false;    // finish each draw before its readback, to time them apart
    bool help = false;
};

// Reads the tool's command line over the defaults already in `options`. On a bad
// argument returns false with a one-line reason in `error`.
bool parseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& options,
                         std::string& error);
std::string captureUsage();

// ---------------------------------------------------------------------------------
// When each frame is drawn
// ---------------------------------------------------------------------------------

struct FrameSchedule {
    double firstClock = 0.0;  // GLFW clock of frame 0
    double fps = 60.0;
    long count = 0;
};

FrameSchedule frameSchedule(const CaptureOptions& options);
double frameClock(const FrameSchedule& schedule, long frame);
double scheduleSeconds(const FrameSchedule& schedule);

// Frames drawn but not kept before frame 0, so that what the scenes carry from frame
// to frame (matrices, latched values, bound textures) is what a run from the start
// would have left: the last frame of every earlier scene window, `rate` frames per
// second through the window frame 0 falls in, and the frame just before frame 0.
// All on the frame grid, ascending, none before clock 0.
std::vector<double> warmupClocks(const FrameSchedule& schedule, double rate);

// ---------------------------------------------------------------------------------
// The encoder
// ---------------------------------------------------------------------------------

// How the music lines up with the video: audio time 0 plays at `startClock`.
struct AudioPlan {
    bool present = false;
    std::string path;
    double delaySeconds = 0.0;  // silence before the music, when the video starts earlier
    double trimSeconds = 0.0;   // music skipped, when the video starts later
};

AudioPlan audioPlan(const std::string& path, bool present, double startClock,
                    const FrameSchedule& schedule);

// ffmpeg's argument list (argv[0] included): raw RGB frames on standard input,
// flipped upright, scaled with a Lanczos filter when the video's size differs from the
// framebuffer's, H.264 yuv420p, the music as AAC, cut to the video's length.
std::vector<std::string> encoderArguments(const CaptureOptions& options,
                                          const FrameSchedule& schedule,
                                          const AudioPlan& audio);

struct Encoder {
    pid_t pid = -1;
    int input = -1;  // write end of ffmpeg's standard input
};

bool startEncoder(const std::vector<std::string>& args, Encoder& encoder, std::string& error);
bool sendToEncoder(Encoder& encoder, const void* data, size_t bytes);
// Closes the pipe so ffmpeg finishes the file, and returns its exit status (-1 if killed).
int finishEncoder(Encoder& encoder);

// ---------------------------------------------------------------------------------
// Reading frames back
// ---------------------------------------------------------------------------------

// Two pixel-pack buffers used in turn: frame n is queued while frame n-1 is mapped
// and sent, so the copy out of the driver overlaps the next frame's drawing.
struct FrameReadback {
    int width = 0, height = 0;
    bool usePbo = true;
    unsigned pbo[2] = {0, 0};
    bool queued[2] = {false, false};
    int next = 0;
    std::vector<unsigned char> pixels;  // the path without buffers
};

size_t frameBytes(const FrameReadback& readback);
void beginReadback(FrameReadback& readback, int width, int height, bool usePbo);
void endReadback(FrameReadback& readback);

// The sink gets each frame's bottom-up RGB rows; false from it stops the capture.
struct FrameSink {
    bool (*take)(const unsigned char* rgb, size_t bytes, void* user) = nullptr;
    void* user = nullptr;
};

// Reads the current framebuffer; hands the sink the previous frame (the PBO path) or
// this one (the direct path). Returns the sink's verdict.
bool readFrame(FrameReadback& readback, FrameSink sink);
// Hands over the frame still queued, if any.
bool drainReadback(FrameReadback& readback, FrameSink sink);

// ---------------------------------------------------------------------------------
// Progress
// ---------------------------------------------------------------------------------

std::string formatDuration(double seconds);   // "4:38", "1:02:03"
std::string formatSize(unsigned long long bytes);  // "812 KiB", "143.2 MiB"
// One status line: bar, frames done and the sub-frames each takes, speed in fps and as
// a multiple of real time, time left.
std::string progressLine(long done, long total, double elapsedSeconds, double videoFps,
                         int samples = 1);

// ---------------------------------------------------------------------------------
// The capture loop
// ---------------------------------------------------------------------------------

// Draws one frame at whatever the GLFW clock says, as the demo's frame loop would.
// `offset`, when there is one, moves what the next draws show by a sub-pixel amount.
struct FrameSource {
    void (*draw)(void* user) = nullptr;
    void* user = nullptr;
    void (*offset)(double dx, double dy, void* user) = nullptr;
};

struct CaptureResult {
    long framesWritten = 0;
    bool stoppedEarly = false;  // Escape, a closed window or an interrupt
    bool ok = false;            // every frame sent and ffmpeg exited with 0
    double seconds = 0.0;       // wall time of the capture, warm-up included
    double loopSeconds = 0.0;   // wall time of the kept frames alone, encoder's finish included
    double maxClockDrift = 0.0; // most the clock ran on while a frame was drawn
    // Where the kept frames' time went, in seconds: drawing (up to the readback's
    // start, so the driver's queued work counts here), reading back, averaging the
    // sub-frames, and handing frames to ffmpeg (waiting on it included).
    double drawSeconds = 0.0, readSeconds = 0.0, averageSeconds = 0.0, encodeSeconds = 0.0;
    std::string error;
};

// Steps the clock through the warm-up and then every scheduled frame, draws each of
// its sub-frames, reads them back and averages them, presents and reports progress on
// stderr (`quiet` keeps it silent).
CaptureResult runCapture(GLFWwindow* window, const CaptureOptions& options,
                         const AudioPlan& audio, FrameSource source, bool quiet);

// ---------------------------------------------------------------------------------
// The demo as a frame source
// ---------------------------------------------------------------------------------

// The demo's frame for a FrameSource (user = DemoState*): demoTime from the clock,
// the clear and the timeline's scene, exactly as the frame loop does it.
void drawDemoFrame(void* state);
// Moves the demo's picture (user = DemoState*); its programs must be displaced first.
void offsetDemoFrame(double dx, double dy, void* state);

// The demo as a frame source for these options: with sub-frames its programs are
// displaced first (false with the reason if one fails to build); with one sample it
// is drawn exactly as the demo draws it.
bool demoFrameSource(DemoState& demo, const CaptureOptions& options, FrameSource& source,
                     std::string& error);
