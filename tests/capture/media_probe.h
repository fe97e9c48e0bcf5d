// Looking inside the files the capture writes: ffprobe's stream facts, decoded RGB
// frames and audio samples, and a test soundtrack with a tone at a known instant.
#pragma once
#include "command_run.h"
#include <map>
#include <string>
#include <vector>

// The command with standard error joined to its standard output.
CommandRun runCommand(const std::string& command);

// One map of ffprobe's fields per stream, in stream order.
using StreamFacts = std::map<std::string, std::string>;
std::vector<StreamFacts> probeStreams(const std::string& path);
const StreamFacts* findStream(const std::vector<StreamFacts>& streams, const std::string& type);

// Every video frame as top-down RGB rows, width * height * 3 bytes each.
std::vector<std::vector<unsigned char>> decodeFrames(const std::string& path);

// The first audio stream as mono 16-bit samples at `rate`.
std::vector<short> decodeAudio(const std::string& path, int rate);
// Seconds until the first sample louder than a tenth of full scale; -1 if none.
double firstLoudSecond(const std::vector<short>& samples, int rate);

// An MP3 of `seconds` silence with an 880 Hz tone from `toneAt` on.
bool makeToneMp3(const std::string& path, double toneAt, double seconds);

// Mean absolute difference per channel of two equal-sized RGB images.
double meanAbsDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);
// Bottom-up GL rows to top-down image rows.
std::vector<unsigned char> flipRows(const std::vector<unsigned char>& rgb, int width, int height);
