// The whole timeline under the sanitizers: the instrumented demo starts up (with its preload
// thread), draws every scene window with the clock sped up, and ends at the timeline's end
// with status 0, having printed nothing and with no sanitizer report on stderr. Then the
// same with damaged content (make_corpus.py): the run still ends normally, and prints
// exactly the loaders' lines for what could not be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

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

SanitizedRun runWholeTimeline(const std::string& binary, const std::string& env,
                              const std::string& folder = NORRVALE_STAGE) {
    // Each run keeps its own files, so that runs in parallel (ctest -j) never meet.
    const std::string tag = std::to_string(std::hash<std::string>()(binary + folder));
    const std::string report = folder + "/../sanitize-" + tag + "-shim-report.txt";
    const std::string errors = folder + "/../sanitize-" + tag + "-stderr.txt";
    std::remove(report.c_str());
    // A sped-up clock still gives every scene window several frames at the instrumented
    // frame rate; the run ends by itself past the timeline's end.
    std::string command = "cd '" + folder + "' && env " + env +
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

void expectWholeRunEnded(const SanitizedRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(hasSanitizerReport(run.err)) << run.err;
    // Frames were presented up to the timeline's last window (247 < demoTime <= 265).
    EXPECT_GT(run.swaps, 7);
    EXPECT_GT(run.lastPresentedClock - 13.0, 247.0);
}

void expectCleanWholeRun(const SanitizedRun& run) {
    expectWholeRunEnded(run);
    EXPECT_EQ(run.out, "");
}

// What a run printed, as sorted lines, with the driver's log of each shader record left
// out (it is the driver's text, not ours): only the record's head line stays, and a
// record must end with its separator line.
std::vector<std::string> loaderLines(const std::string& out) {
    const std::string separator = " -- --------------------------------------------------- -- ";
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (line.rfind("ERROR::SHADER_COMPILATION_ERROR", 0) != 0 && line.rfind("ERROR::PROGRAM_LINKING_ERROR", 0) != 0)
            continue;
        while (std::getline(in, line) && line != separator) {}
        if (line != separator) lines.push_back("(shader record without its separator)");
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

const std::string kTestDir = SANITIZE_TEST_DIR;
const std::string kAddressSanitizerEnv = "ASAN_OPTIONS=detect_leaks=1:exitcode=66 UBSAN_OPTIONS=print_stacktrace=1 "
                                         "LSAN_OPTIONS=suppressions=" + kTestDir + "/lsan.supp";

}  // namespace

TEST(sanitizedDemo, address_and_undefined_behaviour_sanitizers_find_nothing_over_the_timeline) {
    expectCleanWholeRun(runWholeTimeline(NORRVALE_ASAN, kAddressSanitizerEnv));
}

// A damaged download: materials, models, images or shaders that are cut, zeroed, out of
// range or not text. Each case damages several files of one kind at once.
class damagedContent : public ::testing::TestWithParam<const char*> {};

TEST_P(damagedContent, plays_the_whole_timeline_and_reports_exactly_what_it_could_not_read) {
    const std::string corpus = std::string(NORRVALE_STAGE) + "/../damaged";
    const std::string made = "python3 '" + kTestDir + "/make_corpus.py' '" NORRVALE_STAGE "' '" + corpus +
                             "' " + GetParam();
    ASSERT_EQ(std::system(made.c_str()), 0) << made;
    const std::string folder = corpus + "/" + GetParam();

    SanitizedRun run = runWholeTimeline(NORRVALE_ASAN, kAddressSanitizerEnv, folder);
    expectWholeRunEnded(run);
    std::vector<std::string> expected;
    std::istringstream lines(readFile(folder + "/expected.txt"));
    for (std::string line; std::getline(lines, line);) expected.push_back(line);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(loaderLines(run.out), expected) << run.out;
}

INSTANTIATE_TEST_SUITE_P(corpus, damagedContent,
                         ::testing::Values("materials", "geometry", "images", "shaders"));

TEST(sanitizedDemo, thread_sanitizer_finds_nothing_over_the_timeline) {
    expectCleanWholeRun(runWholeTimeline(
        NORRVALE_TSAN, "TSAN_OPTIONS=exitcode=66:suppressions=" + kTestDir + "/tsan.supp"));
}
