// The Windows program as a user meets it: norrvale.exe under Wine, opening its
// fullscreen window on the X display, drawing the opening picture, ending on Escape,
// reporting a missing shader as the Linux program does, and playing on without sound.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The program's window can go between a check and a request (the program closing on the
// last Escape, or Wine making its window anew); Xlib's default handler would end the
// whole test binary on the BadWindow that follows.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// The picture is coarsened into blocks of this size before two screens are compared,
// so that the slow push-in and the passing highlight do not count.
constexpr int kBlock = 60;

// Wine's own audio drivers, all disabled: the program then finds no audio device.
constexpr const char* kNoAudioDrivers =
    "winealsa.drv,winepulse.drv,wineoss.drv,winecoreaudio.drv=d";

struct Screen {
    std::vector<float> blocks;  // mean RGB of each block, 0..255
    float brightest = 0.0f;     // the brightest block's brightest channel
};

Screen grabScreen(Display* display) {
    Screen screen;
    XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight,
                              AllPlanes, ZPixmap);
    if (!image) return screen;
    for (int by = 0; by < kHeight / kBlock; ++by) {
        for (int bx = 0; bx < kWidth / kBlock; ++bx) {
            double sum[3] = {0, 0, 0};
            for (int y = by * kBlock; y < (by + 1) * kBlock; ++y) {
                for (int x = bx * kBlock; x < (bx + 1) * kBlock; ++x) {
                    unsigned long pixel = XGetPixel(image, x, y);
                    sum[0] += (pixel >> 16) & 0xff;
                    sum[1] += (pixel >> 8) & 0xff;
                    sum[2] += pixel & 0xff;
                }
            }
            for (double channel : sum) {
                float mean = float(channel / (kBlock * kBlock));
                screen.blocks.push_back(mean);
                screen.brightest = std::max(screen.brightest, mean);
            }
        }
    }
    XDestroyImage(image);
    return screen;
}

// Mean absolute difference of two screens' blocks, per channel, 0..255.
float difference(const Screen& a, const Screen& b) {
    if (a.blocks.size() != b.blocks.size() || a.blocks.empty()) return 255.0f;
    double sum = 0;
    for (size_t i = 0; i < a.blocks.size(); ++i) sum += std::abs(a.blocks[i] - b.blocks[i]);
    return float(sum / a.blocks.size());
}

// A viewable top-level window covering the whole screen, or None.
Window fullscreenWindow(Display* display) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = None;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable && attributes.x <= 0 && attributes.y <= 0 &&
                attributes.width >= kWidth && attributes.height >= kHeight) {
                found = children[i];
            }
        }
        if (children) XFree(children);
    }
    return found;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A command's standard output without its final line end.
std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// The program's output lines; the Windows C runtime ends them with "\r\n".
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(line);
    }
    return result;
}

struct DemoRun {
    bool windowShown = false;
    Window window = None;
    bool drew = false;      // the screen turned from black to a picture
    Screen screen;          // a few seconds after the first picture
    bool exited = false;    // within the wait after Escape
    int status = -1;
    std::string out;
};

struct Launch {
    std::vector<std::string> argv;
    fs::path folder;               // the working directory: a stage folder
    std::vector<std::string> env;  // NAME=value, added to this process's
    fs::path logs;                 // stdout.txt and stderr.txt go here
};

// Starts the program, waits for its window and its first picture, grabs the screen
// `settle` later, presses Escape and collects the exit status and standard output.
DemoRun runDemo(const Launch& launch, std::chrono::seconds settle = 1s) {
    DemoRun run;
    fs::create_directories(launch.logs);
    fs::path outFile = launch.logs / "stdout.txt";
    fs::path errFile = launch.logs / "stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(launch.folder.c_str()) != 0) _exit(126);
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string& entry : launch.env) putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv;
        for (const std::string& arg : launch.argv) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }

    Display* display = XOpenDisplay(nullptr);
    auto waitFor = [&](auto condition, std::chrono::seconds limit) {
        for (auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(250ms)) {
            if (condition()) return true;
            siginfo_t info{};
            if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0)
                return false;
        }
        return false;
    };
    // Loading takes a while under the software rasteriser, more so with the other
    // test groups running beside this one.
    run.windowShown = display && waitFor([&] { return (run.window = fullscreenWindow(display)); },
                                         120s);
    if (run.windowShown) {
        run.drew = waitFor([&] { return grabScreen(display).brightest > 8.0f; }, 120s);
    }
    if (run.drew) {
        std::this_thread::sleep_for(settle);
        run.screen = grabScreen(display);
    }
    // The program polls Escape once a frame, and a frame of the software rasteriser
    // outlasts a synthetic key tap, so the key is held down the way a hand would.
    // With no window manager nothing gives the window the keyboard focus, and Wine
    // passes keys only to a window that has taken it.
    for (int attempt = 0; attempt < 10 && !run.exited; ++attempt) {
        if (display && run.window) {
            XErrorHandler previous = XSetErrorHandler(ignoreXError);
            XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
            XSync(display, False);
            std::this_thread::sleep_for(100ms);
            XSetInputFocus(display, run.window, RevertToPointerRoot, CurrentTime);
            XSync(display, False);
            XSetErrorHandler(previous);
            std::this_thread::sleep_for(200ms);
        }
        if (std::system("xdotool keydown Escape sleep 0.4 keyup Escape >/dev/null 2>&1") != 0)
            break;
        for (int poll = 0; poll < 10 && !run.exited; ++poll) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid) {
                run.exited = true;
                run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            } else {
                std::this_thread::sleep_for(300ms);
            }
        }
    }
    if (!run.exited) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (display) XCloseDisplay(display);
    run.out = readFile(outFile);
    return run;
}

class wineDemo : public testing::Test {
protected:
    // One Wine prefix for every run, made once in the build folder; Wine's .NET and
    // HTML engines are not wanted and would ask to be downloaded.
    static void SetUpTestSuite() {
        fs::create_directories(WINE_PREFIX);
        if (!fs::exists(fs::path(WINE_PREFIX) / "system.reg")) {
            std::string command = "WINEPREFIX='" WINE_PREFIX "' WINEDEBUG=-all "
                                  "WINEDLLOVERRIDES='mscoree,mshtml=' wineboot -i >/dev/null 2>&1";
            std::system(command.c_str());
        }
        std::system("WINEPREFIX='" WINE_PREFIX "' wineserver -w");
    }
    // A program that ignored Escape was killed through its wine launcher only; its
    // Windows process goes with the prefix's server.
    static void TearDownTestSuite() {
        std::system("WINEPREFIX='" WINE_PREFIX "' wineserver -k 2>/dev/null");
    }

    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("norrvale-wine-" + std::to_string(getpid()) + "-" +
                  testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        ASSERT_TRUE(fs::exists(fs::path(WINDOWS_STAGE) / "norrvale.exe"))
            << "no Windows build: run `make windows` first";
    }
    void TearDown() override { fs::remove_all(folder); }

    // A fresh copy of a stage folder, so a test may take files out of it.
    fs::path copyStage(const fs::path& stage, const std::string& name) {
        fs::path copy = folder / name;
        fs::create_directories(copy);
        fs::copy(stage, copy, fs::copy_options::recursive);
        return copy;
    }

    Launch windowsProgram(const fs::path& stage, std::vector<std::string> env = {},
                          const std::string& wineDebug = "-all") {
        env.push_back("WINEPREFIX=" WINE_PREFIX);
        env.push_back("WINEDEBUG=" + wineDebug);
        return {{"wine", "norrvale.exe"}, stage, env, folder / "windows-logs"};
    }
    // The built program itself, in the stage folder it reads from: a copy elsewhere would
    // not find the libraries the build tree's RUNPATH names relative to the program.
    Launch linuxProgram(const fs::path& stage) {
        return {{NATIVE_BINARY}, stage, {"SDL_AUDIODRIVER=dummy"}, folder / "linux-logs"};
    }

    // The release zip, made from the Windows stage folder as `make dist-windows` makes
    // it and unpacked as a user would; the folder inside, or empty on failure.
    fs::path unpackRelease() {
        fs::path dist = folder / "dist";
        std::string pack = "bash '" SOURCE_DIR "/packaging/windows/dist.sh' '" WINDOWS_STAGE
                           "' '" + dist.string() + "' '" WINDOWS_DEPS "' >/dev/null";
        std::string version = commandOutput("bash '" SOURCE_DIR "/packaging/version.sh'");
        std::string name = "norrvale-" + version + "-windows-x86_64";
        fs::path zip = dist / (name + ".zip");
        if (std::system(pack.c_str()) != 0 || !fs::exists(zip)) return {};
        std::string unpack = "cd '" + dist.string() + "' && cmake -E tar xf '" + zip.string() + "'";
        if (std::system(unpack.c_str()) != 0) return {};
        return dist / name;
    }

    fs::path folder;
};

// The renderer Wine's WGL reports when it sets up OpenGL, from its wgl trace.
std::string wglRenderer(const std::string& trace) {
    const std::string label = "GL renderer";
    size_t at = trace.find(label);
    if (at == std::string::npos) return "";
    size_t colon = trace.find(':', at);
    return trace.substr(colon + 2, trace.find('\n', colon) - colon - 2);
}

} // namespace

TEST_F(wineDemo, release_opens_fullscreen_draws_the_opening_picture_and_ends_on_escape) {
    fs::path release = unpackRelease();
    ASSERT_FALSE(release.empty()) << "no release zip of the expected name";
    EXPECT_TRUE(fs::exists(release / "norrvale.txt"));
    for (const char* notice : {"glfw3.txt", "assimp.txt", "libsdl2.txt", "libsdl2-mixer.txt",
                               "zlib.txt", "mingw-w64-runtime.txt"})
        EXPECT_TRUE(fs::exists(release / "licences" / notice)) << notice;

    // Wine traces its WGL set-up here only, to show which driver the program reached.
    DemoRun windows = runDemo(windowsProgram(release, {}, "-all,+wgl"));
    std::string trace = readFile(folder / "windows-logs/stderr.txt");
    std::string lastWords = trace.substr(trace.size() - std::min<size_t>(trace.size(), 2000));
    ASSERT_TRUE(windows.windowShown) << "no fullscreen window; Wine's last words:\n" << lastWords;
    ASSERT_TRUE(windows.drew) << "the window stayed black";
    EXPECT_TRUE(windows.exited) << "Escape did not end it";
    EXPECT_EQ(windows.status, 0);
    EXPECT_EQ(windows.out, "");
    // Wine hands OpenGL to the host's Mesa, whose software rasteriser the display has.
    EXPECT_NE(wglRenderer(trace).find("llvmpipe"),
              std::string::npos);

    // The same moment of the Linux program, on the same display and rasteriser.
    DemoRun linux = runDemo(linuxProgram(copyStage(NATIVE_STAGE, "linux")));
    ASSERT_TRUE(linux.drew);
    EXPECT_GT(windows.screen.brightest, 40.0f);
    EXPECT_LT(difference(windows.screen, linux.screen), 12.0f);
}

TEST_F(wineDemo, missing_shader_prints_the_linux_lines_and_runs_on) {
    // The planet's shader: not one the opening draws with, so the picture still comes.
    const char* shader = "shdrs/10.3.planet.fs";
    fs::path windowsStage = copyStage(WINDOWS_STAGE, "windows");
    fs::path linuxStage = copyStage(NATIVE_STAGE, "linux");
    fs::remove(windowsStage / shader);
    fs::remove(linuxStage / shader);

    DemoRun windows = runDemo(windowsProgram(windowsStage));
    DemoRun linux = runDemo(linuxProgram(linuxStage));
    ASSERT_FALSE(lines(linux.out).empty());
    EXPECT_EQ(lines(linux.out).front(), "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ");
    EXPECT_EQ(lines(windows.out), lines(linux.out));
    EXPECT_TRUE(windows.windowShown);
    EXPECT_EQ(windows.status, 0);
}

TEST_F(wineDemo, damaged_materials_and_models_print_the_linux_lines_and_run_on) {
    // The test corpus's damage: material lines before any material (which crashed the
    // importer once), and faces whose corners are out of range, negative or zero.
    for (const char* damage : {"materials", "geometry"}) {
        SCOPED_TRACE(damage);
        std::string corpus = "python3 '" SOURCE_DIR "/tests/sanitize/make_corpus.py' ";
        ASSERT_EQ(std::system((corpus + "'" WINDOWS_STAGE "' '" + (folder / "windows").string() + "' " + damage).c_str()), 0);
        ASSERT_EQ(std::system((corpus + "'" NATIVE_STAGE "' '" + (folder / "linux").string() + "' " + damage).c_str()), 0);
        DemoRun windows = runDemo(windowsProgram(folder / "windows" / damage));
        DemoRun linux = runDemo(linuxProgram(folder / "linux" / damage));
        EXPECT_EQ(lines(windows.out), lines(linux.out));
        EXPECT_TRUE(windows.drew);
        EXPECT_TRUE(windows.exited);
        EXPECT_EQ(windows.status, 0);
    }
}

TEST_F(wineDemo, runs_silently_without_an_audio_device) {
    std::vector<std::string> noAudio = {std::string("WINEDLLOVERRIDES=") + kNoAudioDrivers};
    DemoRun windows = runDemo(windowsProgram(WINDOWS_STAGE, noAudio));
    EXPECT_TRUE(windows.drew);
    EXPECT_EQ(windows.out, "");
    EXPECT_TRUE(windows.exited);
    EXPECT_EQ(windows.status, 0);
}
