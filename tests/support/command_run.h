// Child processes for the tests that run the real binaries: a shell command line, its
// standard output and its exit status.
#pragma once
#include <string>

struct CommandRun {
    int status = -1;    // the exit status; -1 when killed by a signal or not started
    std::string out;    // standard output; the command line decides where stderr goes
};
CommandRun runShell(const std::string& command);
