// ffprobe and ffmpeg run as child processes to read back what the capture wrote.
#include "media_probe.h"
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

CommandRun runCommand(const std::string& command) { return runShell(command + " 2>&1"); }

std::vector<StreamFacts> probeStreams(const std::string& path) {
    CommandRun run = runCommand(
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_type,codec_name,width,height,pix_fmt,nb_read_frames,duration,avg_frame_rate "
        "-of compact=p=0 '" + path + "'");
    std::vector<StreamFacts> streams;
    if (run.status != 0) return streams;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        StreamFacts facts;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) {
            size_t eq = field.find('=');
            if (eq != std::string::npos) facts[field.substr(0, eq)] = field.substr(eq + 1);
        }
        if (!facts.empty()) streams.push_back(facts);
    }
    return streams;
}

const StreamFacts* findStream(const std::vector<StreamFacts>& streams, const std::string& type) {
    for (const StreamFacts& s : streams) {
        auto it = s.find("codec_type");
        if (it != s.end() && it->second == type) return &s;
    }
    return nullptr;
}

std::vector<std::vector<unsigned char>> decodeFrames(const std::string& path) {
    std::vector<StreamFacts> streams = probeStreams(path);
    const StreamFacts* video = findStream(streams, "video");
    std::vector<std::vector<unsigned char>> frames;
    if (!video) return frames;
    size_t frameBytes = std::stoul(video->at("width")) * std::stoul(video->at("height")) * 3;
    std::string data = runShell("ffmpeg -v error -i '" + path +
                                "' -map 0:v:0 -f rawvideo -pix_fmt rgb24 pipe:1").out;
    for (size_t at = 0; at + frameBytes <= data.size(); at += frameBytes)
        frames.emplace_back(data.begin() + at, data.begin() + at + frameBytes);
    return frames;
}

std::vector<short> decodeAudio(const std::string& path, int rate) {
    std::string data = runShell("ffmpeg -v error -i '" + path + "' -map 0:a:0 -ac 1 -ar " +
                                std::to_string(rate) + " -f s16le pipe:1").out;
    std::vector<short> samples(data.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<short>(static_cast<unsigned char>(data[2 * i]) |
                                        (static_cast<unsigned char>(data[2 * i + 1]) << 8));
    }
    return samples;
}

double firstLoudSecond(const std::vector<short>& samples, int rate) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(static_cast<int>(samples[i])) > 3277) return static_cast<double>(i) / rate;
    }
    return -1.0;
}

bool makeToneMp3(const std::string& path, double toneAt, double seconds) {
    char expr[256];
    std::snprintf(expr, sizeof expr, "0.8*gte(t\\,%.6f)*sin(2*PI*880*t)", toneAt);
    std::string command = "ffmpeg -v error -y -f lavfi -i \"aevalsrc=" + std::string(expr) +
                          ":s=44100:d=" + std::to_string(seconds) +
                          "\" -c:a libmp3lame -b:a 128k '" + path + "'";
    return runCommand(command).status == 0;
}

double meanAbsDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(static_cast<int>(a[i]) - b[i]);
    return sum / static_cast<double>(a.size());
}

std::vector<unsigned char> flipRows(const std::vector<unsigned char>& rgb, int width, int height) {
    std::vector<unsigned char> out(rgb.size());
    size_t row = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::copy(rgb.begin() + y * row, rgb.begin() + (y + 1) * row,
                  out.begin() + (height - 1 - y) * row);
    return out;
}
