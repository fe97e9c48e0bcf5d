// Programs run as a user runs them, from a shell command line.
#pragma once
#include <string>

struct CommandRun {
    int status = -1;  // the exit status; -1 when the command did not exit normally
    std::string out;  // standard output and standard error together
};
// Redirect inside a braced group ("{ cmd 2>/dev/null; }") to keep stderr out.
CommandRun runCommand(const std::string& command);
