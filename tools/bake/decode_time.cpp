// bake_decode_time: decodes the baked images the way the demo's start-up does (every image
// it loads, a cube face once per use, each model texture once per model) and prints the
// time taken, best of several rounds, as wall-clock and as process CPU time (the second
// is what an idle machine would take when the shared cores are busy).
// Usage: bake_decode_time IMGS_FOLDER [ROUNDS]
#include <stb/stb_image.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// The texture files an MTL file names, each once, as the model loader's cache loads them.
static std::vector<std::string> modelTextures(const std::string& mtlPath) {
    std::vector<std::string> files;
    std::set<std::string> seen;
    std::ifstream in(mtlPath);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key, file;
        words >> key >> file;
        if (key.rfind("map_", 0) == 0 && seen.insert(file).second) files.push_back(file);
    }
    return files;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: bake_decode_time IMGS_FOLDER [ROUNDS]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    struct Group {
        const char* name;
        std::vector<std::string> files;
    };
    std::vector<Group> groups;
    Group logos{"greeting logos", {}};
    for (int i = 1; i <= 13; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "greet%02d.png", i);
        logos.files.push_back(name);
    }
    groups.push_back(logos);
    Group models{"model textures (7 models)", {}};
    for (const char* mtl : {"donut4", "ForestShip", "DuckPart2.4.textured", "donut4", "DuckPart2.4.textured", "ship4", "ship2"})
        for (const std::string& f : modelTextures(dir + "/" + mtl + ".mtl")) models.files.push_back(f);
    groups.push_back(models);
    groups.push_back({"Helsinki cube map", {"HelsinkiRight.png", "HelsinkiLeft.png", "HelsinkiTop.png", "HelsinkiBottom.png", "HelsinkiFront.png", "Helsinki1.png"}});
    for (const char* sky : {"creditsb.png", "norrvalelogo2.png", "TwoShedCity1.png", "DuckCity2.2.png", "Tampere2.png"}) {
        Group g{sky, std::vector<std::string>(6, sky)};
        groups.push_back(g);
    }
    groups.push_back({"Molvanian picture", {"officialmolvanian2.png"}});

    std::vector<double> best(groups.size(), 1e30), bestCpu(groups.size(), 1e30);
    size_t decodes = 0;
    for (int round = 0; round < rounds; ++round) {
        decodes = 0;
        for (size_t g = 0; g < groups.size(); ++g) {
            auto start = std::chrono::steady_clock::now();
            std::clock_t cpuStart = std::clock();
            for (const std::string& f : groups[g].files) {
                int w = 0, h = 0, n = 0;
                unsigned char* pixels = stbi_load((dir + "/" + f).c_str(), &w, &h, &n, 0);
                if (pixels == nullptr) {
                    std::printf("cannot decode %s/%s\n", dir.c_str(), f.c_str());
                    return 1;
                }
                stbi_image_free(pixels);
                ++decodes;
            }
            double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            best[g] = std::min(best[g], ms);
            bestCpu[g] = std::min(bestCpu[g], 1000.0 * (std::clock() - cpuStart) / CLOCKS_PER_SEC);
        }
    }
    double total = 0.0, totalCpu = 0.0;
    std::printf("%-28s %11s %10s %10s\n", "group", "decodes", "wall ms", "cpu ms");
    for (size_t g = 0; g < groups.size(); ++g) {
        std::printf("%-28s %11zu %10.1f %10.1f\n", groups[g].name, groups[g].files.size(), best[g], bestCpu[g]);
        total += best[g];
        totalCpu += bestCpu[g];
    }
    std::printf("%-28s %11zu %10.1f %10.1f   (best of %d rounds per group)\n", "total", decodes, total, totalCpu, rounds);
    return 0;
}
