// Video files through the ffmpeg command-line tools: ffprobe for the size and frame
// rate, ffmpeg decoding every frame to raw RGB on a pipe.
#pragma once
#include <string>
#include <sys/types.h>

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
