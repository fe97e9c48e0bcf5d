// How long the build spends baking images and models: the whole bake in wall and processor
// seconds, on one thread and on one per core (median and spread of a few rounds, and their
// ratio), and the slowest recipes each baked alone on one thread.
#include "recipes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 5;
constexpr int kSlowestShown = 10;

struct Seconds {
    double wall = 0.0;
    double processor = 0.0;
};

Seconds timeBake(const fs::path& dir, const std::vector<std::string>& names, unsigned threads) {
    fs::remove_all(dir);
    std::vector<std::string> written;
    auto wall0 = std::chrono::steady_clock::now();
    std::clock_t cpu0 = std::clock();
    bool ok = bake::bakeRecipes(dir.string(), names, written, threads);
    Seconds s{std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count(),
              double(std::clock() - cpu0) / CLOCKS_PER_SEC};
    if (!ok) std::fprintf(stderr, "bench_bake: the bake failed\n");
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median, and the spread as the range over the median.
void report(const char* what, const std::vector<double>& v) {
    double m = median(v);
    double spread = (*std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end())) / m;
    std::printf("  %-10s median %6.3f s  spread %4.1f%%\n", what, m, 100.0 * spread);
}

}  // namespace

int main() {
    fs::path dir = fs::temp_directory_path() / ("bench_bake_" + std::to_string(::getpid()));
    std::vector<std::string> names = bake::recipeNames();
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());

    double wallMedian[2] = {0.0, 0.0};
    const unsigned threadCounts[2] = {1, cores};
    std::vector<double> wall[2], processor[2];
    // Rounds alternate, so that a change in the machine's load falls on both alike.
    for (int round = 0; round < kRounds; ++round)
        for (int t = 0; t < 2; ++t) {
            Seconds s = timeBake(dir, names, threadCounts[t]);
            wall[t].push_back(s.wall);
            processor[t].push_back(s.processor);
        }
    std::printf("bake: %zu recipes, %d rounds\n", names.size(), kRounds);
    for (int t = 0; t < 2; ++t) {
        std::printf("%u thread%s\n", threadCounts[t], threadCounts[t] == 1 ? "" : "s");
        report("wall", wall[t]);
        report("processor", processor[t]);
        wallMedian[t] = median(wall[t]);
    }
    std::printf("wall time, one thread over %u: %.2fx\n", cores, wallMedian[0] / wallMedian[1]);

    std::vector<std::pair<double, std::string>> perRecipe;
    for (const std::string& name : names) {
        std::vector<double> times;
        for (int round = 0; round < 3; ++round) times.push_back(timeBake(dir, {name}, 1).wall);
        perRecipe.push_back({median(times), name});
    }
    std::sort(perRecipe.rbegin(), perRecipe.rend());
    std::printf("slowest recipes alone (median of 3, wall):\n");
    for (int i = 0; i < kSlowestShown && i < int(perRecipe.size()); ++i)
        std::printf("  %-26s %6.3f s\n", perRecipe[i].second.c_str(), perRecipe[i].first);
    fs::remove_all(dir);
    return 0;
}
