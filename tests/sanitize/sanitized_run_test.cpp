// The whole timeline under the sanitizers: the instrumented demo starts up (with its preload
// thread), draws every scene window with the clock sped up, and ends at the timeline's end
// with status 0, having printed nothing and with no sanitizer report on stderr.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

struct SanitizedRun {
    int status = -1;
    std::string out, err;
    int swaps = -1;
    double lastPresentedClock = 0.0;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

SanitizedRun runWholeTimeline(const std::string& binary, const std::string& env) {
    const std::string report = std::string(NORRVALE_STAGE) + "/../sanitize-shim-report.txt";
    const std::string errors = std::string(NORRVALE_STAGE) + "/../sanitize-stderr.txt";
    std::remove(report.c_str());
    // A sped-up clock still gives every scene window several frames at the instrumented
    // frame rate; the run ends by itself past the timeline's end.
    std::string command = "cd '" NORRVALE_STAGE "' && env " + env +
                          " SHIM_KEEP_MODULES=1 SHIM_CLOCK_SCALE=12 LD_PRELOAD='" NORRVALE_SHIM "' SHIM_REPORT='" + report +
                          "' timeout 500 '" + binary + "' 2>'" + errors + "'";
    SanitizedRun run;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
        int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    run.err = readFile(errors);
    std::ifstream in(report);
    in >> run.swaps >> run.lastPresentedClock;
    return run;
}

// Sanitizer reports start with one of these; the audio library's own chatter does not.
bool hasSanitizerReport(const std::string& err) {
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                             "WARNING: ThreadSanitizer", "ERROR: ThreadSanitizer"})
        if (err.find(mark) != std::string::npos) return true;
    return false;
}

void expectCleanWholeRun(const SanitizedRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(hasSanitizerReport(run.err)) << run.err;
    // Frames were presented up to the timeline's last window (247 < demoTime <= 265).
    EXPECT_GT(run.swaps, 7);
    EXPECT_GT(run.lastPresentedClock - 13.0, 247.0);
}

const std::string kSuppressions = SANITIZER_SUPPRESSIONS;

}  // namespace

TEST(sanitizedDemo, address_and_undefined_behaviour_sanitizers_find_nothing_over_the_timeline) {
    expectCleanWholeRun(runWholeTimeline(
        NORRVALE_ASAN, "ASAN_OPTIONS=detect_leaks=1:exitcode=66 UBSAN_OPTIONS=print_stacktrace=1 "
                       "LSAN_OPTIONS=suppressions=" + kSuppressions + "/lsan.supp"));
}

TEST(sanitizedDemo, thread_sanitizer_finds_nothing_over_the_timeline) {
    expectCleanWholeRun(runWholeTimeline(
        NORRVALE_TSAN, "TSAN_OPTIONS=exitcode=66:suppressions=" + kSuppressions + "/tsan.supp"));
}
