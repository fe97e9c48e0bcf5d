// The baker's output: the same bytes on every run, and exactly the files the build lists
// as its outputs (a file missing from that list would never be re-baked).
#include "recipes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> readFolder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

std::vector<std::string> listedFiles() {
    std::vector<std::string> names;
    std::stringstream list(BAKED_FILES);
    for (std::string name; std::getline(list, name, ',');) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

struct BakeRuns {
    fs::path root;
    int status[2] = {-1, -1};
    std::map<std::string, std::string> files[2];
};

// Two bakes at once, into two fresh folders.
BakeRuns bakeTwice() {
    BakeRuns r;
    r.root = fs::temp_directory_path() / ("bake_test_" + std::to_string(::getpid()));
    fs::remove_all(r.root);
    auto run = [&](int i) { r.status[i] = std::system((std::string(BAKE_BINARY) + " " + (r.root / std::to_string(i)).string()).c_str()); };
    std::thread second(run, 1);
    run(0);
    second.join();
    for (int i = 0; i < 2; ++i)
        if (r.status[i] == 0) r.files[i] = readFolder(r.root / std::to_string(i));
    fs::remove_all(r.root);
    return r;
}

}  // namespace

TEST(bakeOutput, two_runs_write_identical_bytes) {
    BakeRuns runs = bakeTwice();
    ASSERT_EQ(runs.status[0], 0);
    ASSERT_EQ(runs.status[1], 0);
    ASSERT_EQ(runs.files[0].size(), runs.files[1].size());
    for (const auto& [name, bytes] : runs.files[0]) {
        auto other = runs.files[1].find(name);
        ASSERT_NE(other, runs.files[1].end()) << name << " was written by one run only";
        EXPECT_TRUE(bytes == other->second) << name << " differs between runs";
        EXPECT_FALSE(bytes.empty()) << name << " is empty";
    }
}

TEST(bakeOutput, recipes_make_exactly_the_files_the_build_lists) {
    // The build re-bakes when a listed file is missing, so the list must name every file the
    // recipe tables make, and nothing else.
    std::vector<std::string> made;
    for (const bake::ImageRecipe& recipe : bake::kImageRecipes) made.push_back(recipe.file);
    for (const bake::ModelRecipe& recipe : bake::kModelRecipes) {
        std::string stem = fs::path(recipe.file).stem().string();
        made.push_back(recipe.file);
        made.push_back(stem + ".mtl");
        for (const bake::BakedTexture& texture : recipe.bake().textures) made.push_back(texture.file);
    }
    std::sort(made.begin(), made.end());
    EXPECT_TRUE(std::adjacent_find(made.begin(), made.end()) == made.end()) << "two recipes make the same file";
    EXPECT_EQ(made, listedFiles());
    for (const std::string& name : listedFiles()) EXPECT_TRUE(fs::exists(fs::path(BAKED_IMGS) / name)) << name << " is not staged";
}

TEST(bakeOutput, fails_when_the_folder_cannot_be_made) {
    // A path under a regular file cannot become a folder.
    fs::path blocker = fs::temp_directory_path() / ("bake_blocker_" + std::to_string(::getpid()));
    std::ofstream(blocker) << "x";
    int status = std::system((std::string(BAKE_BINARY) + " " + (blocker / "imgs").string() + " > /dev/null").c_str());
    fs::remove(blocker);
    EXPECT_NE(status, 0);
}

TEST(bakeOutput, threads_write_the_same_files_in_the_asked_order_and_stop_at_an_unknown_name) {
    // Cheap recipes, the slow one last so that it is baked first; after the unknown name
    // nothing more is written, however many threads there are.
    const std::vector<std::string> names{"ship2.obj", "greet02.png", "greet13.png", "no_such_recipe.png", "greet03.png"};
    fs::path root = fs::temp_directory_path() / ("bake_threads_" + std::to_string(::getpid()));
    std::vector<std::string> written[2];
    std::map<std::string, std::string> files[2];
    const unsigned threads[2] = {1, 3};
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(bake::bakeRecipes((root / std::to_string(i)).string(), names, written[i], threads[i]));
        files[i] = readFolder(root / std::to_string(i));
    }
    fs::remove_all(root);
    ASSERT_GE(written[0].size(), 5u);
    EXPECT_EQ(written[0].front(), "ship2.obj");
    EXPECT_EQ(written[0].back(), "greet13.png");
    EXPECT_EQ(written[0], written[1]);
    EXPECT_TRUE(files[0] == files[1]);
    EXPECT_EQ(files[0].size(), written[0].size());
}
