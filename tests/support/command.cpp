// Child processes through popen, for the tests that drive whole programs.
#include "command.h"
#include <cstdio>
#include <sys/wait.h>

CommandRun runCommand(const std::string& command) {
    CommandRun run;
    std::string full = command + " 2>&1";
    if (FILE* pipe = popen(full.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
        int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return run;
}
