// The Linux release archive as a user gets it: what it holds, and the demo played from
// it on a minimal Debian root that has a desktop's runtime but never built Norrvale.
#include "command.h"
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/wait.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string shellQuoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The one archive `make dist` leaves in the dist folder.
fs::path findArchive() {
    std::vector<fs::path> found;
    if (fs::is_directory(NORRVALE_DIST_DIR))
        for (const auto& entry : fs::directory_iterator(NORRVALE_DIST_DIR)) {
            const std::string name = entry.path().filename().string(), suffix = "-linux-x86_64.tar.gz";
            if (name.rfind("norrvale-", 0) == 0 && name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                found.push_back(entry.path());
        }
    return found.size() == 1 ? found.front() : fs::path();
}

// The archive unpacked into a fresh folder under `parent`, removed again at the end.
struct Unpacked {
    fs::path home;     // the folder the archive was unpacked in
    fs::path folder;   // the release folder inside it
    explicit Unpacked(const fs::path& parent) {
        fs::path archive = findArchive();
        if (archive.empty()) return;
        fs::create_directories(parent);
        std::string pattern = (parent / "unpacked-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        home = pattern;
        if (runCommand("tar -xzf " + shellQuoted(archive.string()) + " -C " + shellQuoted(home.string())).status == 0)
            folder = home / archive.stem().stem();  // without .tar.gz
    }
    ~Unpacked() {
        if (!home.empty()) fs::remove_all(home);
    }
    std::vector<std::string> libraries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder / "lib"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::string dynamicSection(const fs::path& elf) {
    return runCommand("readelf -d " + shellQuoted(elf.string())).out;
}

bool hasSymbolTable(const fs::path& elf) {
    return runCommand("readelf -S -W " + shellQuoted(elf.string())).out.find(" .symtab ") != std::string::npos;
}

} // namespace

// ---------------------------------------------------------------------------------------
// The archive's contents, checked on the build machine.

class releaseArchive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(findArchive().empty())
            << "expected exactly one norrvale-*-linux-x86_64.tar.gz in " NORRVALE_DIST_DIR " (run make dist)";
        unpacked = std::make_unique<Unpacked>(fs::path(NORRVALE_DIST_DIR) / "check");
        ASSERT_FALSE(unpacked->folder.empty()) << "the archive did not unpack";
    }
    std::unique_ptr<Unpacked> unpacked;
};

TEST_F(releaseArchive, holds_one_folder_with_the_program_its_data_launcher_text_and_screenshot) {
    std::vector<std::string> top;
    for (const auto& entry : fs::directory_iterator(unpacked->home)) top.push_back(entry.path().filename().string());
    EXPECT_EQ(top, std::vector<std::string>{unpacked->folder.filename().string()});

    const fs::path& folder = unpacked->folder;
    for (const char* name : {"norrvale", "norrvale.sh", "norrvale.txt", "norrvale.png", "tessmer-trancedemo5.mp3"})
        EXPECT_TRUE(fs::is_regular_file(folder / name)) << name;
    for (const char* name : {"norrvale", "norrvale.sh"})
        EXPECT_TRUE((fs::status(folder / name).permissions() & fs::perms::others_exec) != fs::perms::none) << name;

    // Every data file the staged demo reads is there, byte for byte.
    for (const char* dir : {"shdrs", "imgs"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(NORRVALE_STAGE) / dir)) {
            fs::path shipped = folder / dir / entry.path().filename();
            ASSERT_TRUE(fs::is_regular_file(shipped)) << shipped;
            EXPECT_EQ(readText(shipped), readText(entry.path())) << shipped;
        }
    }
    EXPECT_EQ(fs::file_size(folder / "tessmer-trancedemo5.mp3"),
              fs::file_size(fs::path(NORRVALE_STAGE) / "tessmer-trancedemo5.mp3"));

    // The screenshot is a full 1920 x 1080 PNG frame: signature, then IHDR's width and height.
    std::string png = readText(folder / "norrvale.png");
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](size_t at) {
        return (unsigned(uint8_t(png[at])) << 24) | (unsigned(uint8_t(png[at + 1])) << 16) |
               (unsigned(uint8_t(png[at + 2])) << 8) | unsigned(uint8_t(png[at + 3]));
    };
    EXPECT_EQ(be32(16), 1920u);
    EXPECT_EQ(be32(20), 1080u);

    // The release text tells what it needs and how to run it.
    std::string text = readText(folder / "norrvale.txt");
    for (const char* needed : {"OpenGL 3.3", "1920 x 1080", "norrvale.sh", "licences/"})
        EXPECT_NE(text.find(needed), std::string::npos) << needed;
}

TEST_F(releaseArchive, bundles_the_libraries_a_desktop_may_lack_and_none_of_the_systems) {
    std::vector<std::string> libs = unpacked->libraries();
    std::set<std::string> bundled(libs.begin(), libs.end());
    for (const char* wanted : {"libglfw.so.3", "libassimp.so.5", "libSDL2-2.0.so.0", "libSDL2_mixer-2.0.so.0"})
        EXPECT_TRUE(bundled.count(wanted)) << wanted;
    // Our assimp carries its zip reader inside it and no glTF compression; our SDL2_mixer
    // decodes the MP3 itself and links no other decoder.
    for (const char* prefix : {"libminizip", "libdraco", "libmpg123", "libFLAC", "libvorbis", "libogg", "libopus",
                               "libsndfile", "libfluidsynth", "libmodplug", "libxmp"})
        for (const std::string& lib : libs) EXPECT_NE(lib.rfind(prefix, 0), 0u) << lib;
    // The desktop's driver, display, C/C++ runtime and sound server own these.
    for (const char* prefix : {"libGL", "libEGL", "libX11", "libxcb", "libwayland-client", "libc.so", "libm.so",
                               "libstdc++", "libgcc_s", "libasound", "libpulse", "libjack", "libpipewire"})
        for (const std::string& lib : libs)
            EXPECT_NE(lib.rfind(prefix, 0), 0u) << lib << " must come from the desktop";

    // Stripped, and each finds the others beside it; the program finds them in lib/.
    for (const std::string& lib : libs) {
        fs::path path = unpacked->folder / "lib" / lib;
        EXPECT_FALSE(hasSymbolTable(path)) << lib;
        EXPECT_NE(dynamicSection(path).find("Library runpath: [$ORIGIN]\n"), std::string::npos) << lib;
    }
    fs::path program = unpacked->folder / "norrvale";
    EXPECT_FALSE(hasSymbolTable(program));
    EXPECT_NE(dynamicSection(program).find("Library runpath: [$ORIGIN/lib]\n"), std::string::npos);
}

TEST_F(releaseArchive, carries_the_licence_of_every_bundled_library) {
    fs::path licences = unpacked->folder / "licences";
    std::string table = readText(licences / "BUNDLED.txt");
    for (const std::string& lib : unpacked->libraries()) {
        SCOPED_TRACE(lib);
        // A table row: soname, Debian package, version; the package's copyright file beside it.
        std::istringstream rows(table);
        std::string package;
        for (std::string row; std::getline(rows, row);) {
            std::istringstream fields(row);
            std::string soname, name, version;
            if (fields >> soname >> name >> version && soname == lib) package = name;
        }
        ASSERT_FALSE(package.empty()) << "no row in BUNDLED.txt";
        std::string copyright = readText(licences / (package + ".txt"));
        EXPECT_NE(copyright.find("Copyright"), std::string::npos) << package;
    }
    for (const char* compiledIn : {"glm.txt", "stb.txt", "glad.txt"})
        EXPECT_GT(fs::file_size(licences / compiledIn), 0u) << compiledIn;
}

// ---------------------------------------------------------------------------------------
// The demo played from the archive in a fresh minimal Debian root with a desktop's
// runtime only (see desktop_root.sh), run as an unprivileged user.

class desktopRoot : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (geteuid() != 0) return;
        CommandRun made = runCommand("bash " NORRVALE_ROOT_SCRIPT " prepare " NORRVALE_ROOT_CACHE);
        // The path is the last line; progress comes before it.
        std::string path = made.out.substr(0, made.out.find_last_not_of('\n') + 1);
        path = path.substr(path.find_last_of('\n') + 1);
        if (made.status == 0 && fs::is_directory(path)) root = path;
        else prepareOutput = made.out;
    }

    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "chroot and namespaces need root";
        ASSERT_FALSE(root.empty()) << "the desktop root could not be made:\n" << prepareOutput;
        ASSERT_FALSE(findArchive().empty()) << "no release archive in " NORRVALE_DIST_DIR " (run make dist)";
        unpacked = std::make_unique<Unpacked>(fs::path(root) / "home");
        ASSERT_FALSE(unpacked->folder.empty()) << "the archive did not unpack in the root";
        // The user's own copy: unprivileged, shim beside it for the sped-up clock.
        fs::copy_file(NORRVALE_SHIM, unpacked->home / "clock_shim.so");
        ASSERT_EQ(runCommand("chown -R 65534:65534 " + shellQuoted(unpacked->home.string())).status, 0);
    }

    // The path a program in the root sees for a host path inside it.
    std::string inRoot(const fs::path& hostPath) const {
        return "/" + fs::relative(hostPath, root).string();
    }

    struct RootRun {
        int status = -1;
        std::string out, err;
    };

    // Runs `command` with sh in the root, as user nobody, from the root's / folder.
    RootRun run(const std::string& command) const {
        fs::path out = unpacked->home / "stdout.txt", err = unpacked->home / "stderr.txt";
        std::string full = "bash " NORRVALE_ROOT_SCRIPT " run " + shellQuoted(root) +
                           " setpriv --reuid=65534 --regid=65534 --clear-groups sh -c " +
                           shellQuoted("cd / && export HOME=" + inRoot(unpacked->home) + " && " + command) + " >" + shellQuoted(out.string()) + " 2>" +
                           shellQuoted(err.string());
        int raw = std::system(full.c_str());
        RootRun result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = readText(out);
        result.err = readText(err);
        return result;
    }

    std::string launcher() const { return inRoot(unpacked->folder / "norrvale.sh"); }

    static inline std::string root, prepareOutput;
    std::unique_ptr<Unpacked> unpacked;
};

TEST_F(desktopRoot, lacks_every_library_the_build_brought) {
    RootRun known = run("ldconfig -p");
    ASSERT_EQ(known.status, 0) << known.err;
    for (const char* name : {"libglfw", "libassimp", "libSDL2", "libdraco"})
        EXPECT_EQ(known.out.find(name), std::string::npos) << name << " is in the root; the test would prove nothing";
    RootRun devPackages = run("dpkg-query -W -f='${Package}\\n' | grep -- '-dev$' || true");
    EXPECT_EQ(devPackages.out, "");
}

TEST_F(desktopRoot, launcher_plays_the_whole_timeline_and_prints_nothing) {
    // Ten times the clock: the 278 s timeline in about half a minute of llvmpipe frames.
    std::string report = inRoot(unpacked->home / "shim-report.txt");
    RootRun played = run("xvfb-run -a -s '-screen 0 1920x1080x24' env LD_PRELOAD=" +
                         inRoot(unpacked->home / "clock_shim.so") + " SHIM_CLOCK_SCALE=10 SHIM_REPORT=" + report +
                         " " + launcher());
    EXPECT_EQ(played.status, 0);
    EXPECT_EQ(played.out, "");
    EXPECT_EQ(played.err, "");

    int swaps = -1;
    double lastPresentedClock = 0.0;
    std::ifstream in(unpacked->home / "shim-report.txt");
    ASSERT_TRUE(in >> swaps >> lastPresentedClock) << "the demo never reached its frame loop";
    EXPECT_GE(swaps, 7) << "fewer frames than scene windows";
    // The last frame shown was in the closing window, and none past the timeline's end.
    EXPECT_GT(lastPresentedClock - 13.0, 247.0);
    EXPECT_LE(lastPresentedClock - 13.0, 265.0 + 1e-3);
}

TEST_F(desktopRoot, launcher_passes_on_the_programs_message_and_status_without_a_display) {
    RootRun refused = run("env -u DISPLAY " + launcher());
    EXPECT_EQ(refused.out, "Failed to create GLFW window\n");
    EXPECT_EQ(refused.status, 255);  // -1 from main
}

TEST_F(desktopRoot, missing_bundled_library_stops_the_run_naming_it) {
    // Only libraries the root cannot stand in for: the pulse client brings libsndfile
    // and its codecs, and with those the loader rightly takes the system's copy.
    std::string systemLibraries = run("ldconfig -p").out;
    std::set<std::string> checked;
    for (const std::string& lib : unpacked->libraries()) {
        if (systemLibraries.find(lib + " ") != std::string::npos) continue;
        SCOPED_TRACE(lib);
        fs::path path = unpacked->folder / "lib" / lib, aside = unpacked->home / lib;
        fs::rename(path, aside);
        RootRun broken = run("env -u DISPLAY " + launcher());
        fs::rename(aside, path);
        EXPECT_NE(broken.status, 0);
        EXPECT_NE(broken.status, 255) << "the program started without it";
        EXPECT_NE(broken.err.find(lib), std::string::npos) << "stderr: " << broken.err;
        checked.insert(lib);
    }
    for (const char* direct : {"libglfw.so.3", "libassimp.so.5", "libSDL2_mixer-2.0.so.0"})
        EXPECT_TRUE(checked.count(direct)) << direct << " was not checked";
}
