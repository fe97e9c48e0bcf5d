// Video files through the ffmpeg command-line tools: ffprobe for the size and frame
// rate, ffmpeg decoding every frame to raw RGB on a pipe.
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct VideoInfo {
    int width = 0, height = 0;
    double fps = 0.0;
};

// False with the tools' own message when the file has no video stream they can read.
bool probeVideo(const std::string& path, VideoInfo& info, std::string& error);

struct VideoReader {
    pid_t pid = -1;
    int output = -1;      // read end of ffmpeg's standard output
    int errors = -1;      // read end of its standard error
    size_t frameBytes = 0;
};

bool openVideo(const std::string& path, const VideoInfo& info, VideoReader& reader,
               std::string& error);
// The next frame's top-down RGB rows; false at the end of the stream.
bool readVideoFrame(VideoReader& reader, unsigned char* rgb);
// Waits for ffmpeg; false with its message when it failed.
bool closeVideo(VideoReader& reader, std::string& error);

// Frames read ahead on a thread of their own: ffmpeg runs only as far ahead as the pipe
// holds, a sixth of a 1080p frame, so without it decoding would wait on the analysis.
struct ReadAhead {
    VideoReader* reader = nullptr;
    std::vector<std::vector<unsigned char>> slots;
    long produced = 0, consumed = 0;  // frames filled, frames handed back
    bool finished = false;
    std::mutex lock;
    std::condition_variable changed;
    std::thread thread;
};

void startReadAhead(ReadAhead& ahead, VideoReader& reader, int slots);
// The next frame, or null at the end; valid until releaseFrame.
const unsigned char* nextFrame(ReadAhead& ahead);
void releaseFrame(ReadAhead& ahead);
void stopReadAhead(ReadAhead& ahead);
