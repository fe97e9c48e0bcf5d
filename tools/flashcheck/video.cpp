// Video files through ffprobe and ffmpeg, run as child processes with their output
// on pipes; their error messages are passed on as they wrote them.
#include "video.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Starts `args` with its standard output on a pipe and its standard error in `errFd`.
bool spawn(const std::vector<std::string>& args, int errFd, pid_t& pid, int& output) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed) {
        close(fds[0]);
        return false;
    }
    output = fds[0];
    return true;
}

// A file for a child's standard error, already unlinked.
int scratchFile() {
    char name[] = "/tmp/flashcheck-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) unlink(name);
    return fd;
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
        if (n > 0) text.append(buffer, size_t(n));
    return text;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string firstLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

// "60000/1001" or "25": frames per second; 0 when there is none.
double rate(const std::string& text) {
    size_t slash = text.find('/');
    double num = std::atof(text.substr(0, slash).c_str());
    double den = slash == std::string::npos ? 1.0 : std::atof(text.substr(slash + 1).c_str());
    return den > 0.0 ? num / den : 0.0;
}

} // namespace

bool probeVideo(const std::string& path, VideoInfo& info, std::string& error) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = "cannot read " + path + ": no such file";
        return false;
    }
    int errFd = scratchFile();
    pid_t pid = -1;
    int output = -1;
    if (errFd < 0 || !spawn({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "stream=width,height,avg_frame_rate,r_frame_rate", "-of",
                             "default=noprint_wrappers=1", path},
                            errFd, pid, output)) {
        if (errFd >= 0) close(errFd);
        error = "cannot run ffprobe (scripts/setup.sh installs ffmpeg)";
        return false;
    }
    std::string text;
    char buffer[1024];
    for (ssize_t n; (n = read(output, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
        if (n > 0) text.append(buffer, size_t(n));
    close(output);
    const int status = waitFor(pid);
    const std::string message = firstLine(readAll(errFd));
    close(errFd);
    if (status == 127) {
        error = "cannot run ffprobe (scripts/setup.sh installs ffmpeg)";
        return false;
    }

    double average = 0.0, real = 0.0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "width") info.width = std::atoi(value.c_str());
        else if (key == "height") info.height = std::atoi(value.c_str());
        else if (key == "avg_frame_rate") average = rate(value);
        else if (key == "r_frame_rate") real = rate(value);
    }
    info.fps = average > 0.0 ? average : real;
    if (status != 0 || info.width <= 0 || info.height <= 0 || info.fps <= 0.0) {
        error = "cannot read " + path + ": " +
                (!message.empty() ? message
                 : status != 0    ? "ffprobe failed"
                                  : "no video stream with a size and a frame rate");
        return false;
    }
    return true;
}

bool openVideo(const std::string& path, const VideoInfo& info, VideoReader& reader,
               std::string& error) {
    reader.errors = scratchFile();
    reader.frameBytes = size_t(info.width) * size_t(info.height) * 3;
    // Every frame as it is stored, none repeated or dropped to meet a rate; the analysis
    // places them in time by the stream's frame rate.
    if (reader.errors < 0 ||
        !spawn({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-map", "0:v:0", "-fps_mode",
                "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "pipe:1"},
               reader.errors, reader.pid, reader.output)) {
        error = "cannot run ffmpeg (scripts/setup.sh installs it)";
        return false;
    }
    fcntl(reader.output, F_SETPIPE_SZ, 1 << 20);  // best effort: fewer wake-ups a frame
    return true;
}

bool readVideoFrame(VideoReader& reader, unsigned char* rgb) {
    size_t got = 0;
    while (got < reader.frameBytes) {
        ssize_t n = read(reader.output, rgb + got, reader.frameBytes - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += size_t(n);
    }
    return true;
}

bool closeVideo(VideoReader& reader, std::string& error) {
    if (reader.output >= 0) close(reader.output);
    reader.output = -1;
    const int status = reader.pid > 0 ? waitFor(reader.pid) : -1;
    reader.pid = -1;
    const std::string message = reader.errors >= 0 ? firstLine(readAll(reader.errors)) : "";
    if (reader.errors >= 0) close(reader.errors);
    reader.errors = -1;
    if (status == 0) return true;
    error = message.empty() ? "ffmpeg failed with status " + std::to_string(status) : message;
    return false;
}

void startReadAhead(ReadAhead& ahead, VideoReader& reader, int slots) {
    ahead.reader = &reader;
    ahead.slots.assign(size_t(slots), std::vector<unsigned char>(reader.frameBytes));
    ahead.thread = std::thread([&ahead] {
        for (;;) {
            std::unique_lock<std::mutex> hold(ahead.lock);
            ahead.changed.wait(hold, [&] { return ahead.produced - ahead.consumed < long(ahead.slots.size()); });
            unsigned char* slot = ahead.slots[size_t(ahead.produced % long(ahead.slots.size()))].data();
            hold.unlock();
            const bool got = readVideoFrame(*ahead.reader, slot);
            hold.lock();
            if (got) ++ahead.produced;
            else ahead.finished = true;
            ahead.changed.notify_all();
            if (!got) return;
        }
    });
}

const unsigned char* nextFrame(ReadAhead& ahead) {
    std::unique_lock<std::mutex> hold(ahead.lock);
    ahead.changed.wait(hold, [&] { return ahead.produced > ahead.consumed || ahead.finished; });
    if (ahead.produced == ahead.consumed) return nullptr;
    return ahead.slots[size_t(ahead.consumed % long(ahead.slots.size()))].data();
}

void releaseFrame(ReadAhead& ahead) {
    std::lock_guard<std::mutex> hold(ahead.lock);
    ++ahead.consumed;
    ahead.changed.notify_all();
}

void stopReadAhead(ReadAhead& ahead) {
    if (ahead.thread.joinable()) ahead.thread.join();
}
