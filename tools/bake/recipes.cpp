// The tables of baked files and the loop that writes them.
#include "recipes.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace bake {

// file                  channels dither recipe                cost
const ImageRecipe kImageRecipes[kImageRecipeCount] = {
    {"greet01.png",             4, false, &bakeGreetGlfw,      70},
    {"greet02.png",             4, false, &bakeGreetGlm,       35},
    {"greet03.png",             4, false, &bakeGreetAssimp,    30},
    {"greet04.png",             4, false, &bakeGreetStb,       30},
    {"greet05.png",             4, false, &bakeGreetSdl,       30},
    {"greet06.png",             4, false, &bakeGreetMesa,      35},
    {"greet07.png",             4, false, &bakeGreetLame,      30},
    {"greet08.png",             4, false, &bakeGreetDebian,    45},
    {"greet09.png",             4, false, &bakeGreetGcc,       35},
    {"greet10.png",             4, false, &bakeGreetCmake,     55},
    {"greet11.png",             4, false, &bakeGreetGlad,      40},
    {"greet12.png",             4, false, &bakeGreetXvfb,      35},
    {"greet13.png",             3, false, &bakeClosingLogo,    130},
    {"officialmolvanian2.png",  3, false, &bakeMolvanianSeal,  65},
    {"norrvalelogo2.png",       3, true,  &bakeTitleSky,       220},
    {"creditsb.png",            3, true,  &bakeCreditsSky,     70},
    {"HelsinkiRight.png",       3, true,  &bakeHelsinkiRight,  535},
    {"HelsinkiLeft.png",        3, true,  &bakeHelsinkiLeft,   555},
    {"HelsinkiTop.png",         3, true,  &bakeHelsinkiTop,    170},
    {"HelsinkiBottom.png",      3, true,  &bakeHelsinkiBottom, 390},
    {"HelsinkiFront.png",       3, true,  &bakeHelsinkiFront,  610},
    {"Helsinki1.png",           3, true,  &bakeHelsinkiBack,   575},
    {"TwoShedCity1.png",        3, true,  &bakeTwoShedCitySky, 290},
    {"DuckCity2.2.png",         3, true,  &bakeDuckCitySky,    365},
    {"Tampere2.png",            3, true,  &bakeTampereSky,     380},
};

// file                          recipe           cost
const ModelRecipe kModelRecipes[kModelRecipeCount] = {
    {"donut4.obj",                &bakeDonut,      45},
    {"ForestShip.obj",            &bakeForestShip, 30},
    {"ship4.obj",                 &bakeSpaceShip,  15},
    {"ship2.obj",                 &bakeTugBoat,    5},
    {"DuckPart2.4.textured.obj",  &bakeRubberDuck, 10},
};

// A baked file, in memory until its turn to be written comes.
struct BakedFile {
    std::string name;
    std::string bytes;
};

static std::string pngBytes(const Canvas& image, int channels, bool dither) {
    std::vector<unsigned char> png = encodePng(image, channels, dither);
    return std::string(png.begin(), png.end());
}

static std::vector<BakedFile> bakeImage(const ImageRecipe& recipe, const Fonts& fonts) {
    return {{recipe.file, pngBytes(recipe.bake(fonts), recipe.channels, recipe.dither)}};
}

static std::vector<BakedFile> bakeModel(const ModelRecipe& recipe) {
    BakedModel model = recipe.bake();
    std::string stem = std::filesystem::path(recipe.file).stem().string();
    std::string mtl = stem + ".mtl";
    std::vector<BakedFile> files{{recipe.file, objText(model, mtl)}, {mtl, mtlText(model)}};
    for (const BakedTexture& texture : model.textures) files.push_back({texture.file, pngBytes(texture.image, 3, false)});
    return files;
}

static bool writeFile(const std::string& dir, const BakedFile& file, std::vector<std::string>& written) {
    std::ofstream out(dir + "/" + file.name, std::ios::binary | std::ios::trunc);
    out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
    if (!out) {
        std::printf("bake: cannot write %s/%s\n", dir.c_str(), file.name.c_str());
        return false;
    }
    written.push_back(file.name);
    return true;
}

std::vector<std::string> recipeNames() {
    std::vector<std::string> names;
    for (const ImageRecipe& recipe : kImageRecipes) names.push_back(recipe.file);
    for (const ModelRecipe& recipe : kModelRecipes) names.push_back(recipe.file);
    return names;
}

namespace {

struct Job {
    const ImageRecipe* image = nullptr;
    const ModelRecipe* model = nullptr;
    std::vector<BakedFile> files;
    bool done = false;
};

// Recipes baked by worker threads, longest first, while the caller writes the results in
// the order asked for as each becomes ready.
struct Kitchen {
    std::vector<Job>& jobs;
    const Fonts& fonts;
    std::vector<size_t> longestFirst;
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ready;
};

void bakeJob(Job& job, const Fonts& fonts) {
    job.files = job.image != nullptr ? bakeImage(*job.image, fonts) : bakeModel(*job.model);
}

void cook(Kitchen& kitchen) {
    while (!kitchen.stop) {
        size_t turn = kitchen.next++;
        if (turn >= kitchen.longestFirst.size()) return;
        Job& job = kitchen.jobs[kitchen.longestFirst[turn]];
        bakeJob(job, kitchen.fonts);
        std::lock_guard<std::mutex> lock(kitchen.mutex);
        job.done = true;
        kitchen.ready.notify_all();
    }
}

// Recipes make and drop masks and canvases of 4 to 16 MB by the hundred. glibc gives blocks
// that large back to the system as soon as they are freed, and the next one faults in and
// clears its pages afresh, which cost the small logos a fifth of their time. Kept in the
// heap, they are reused; the bake is a short batch job, so holding its peak is no loss.
void keepLargeBlocks() {
#if defined(__GLIBC__)
    static const bool kept = mallopt(M_MMAP_THRESHOLD, 64 << 20) && mallopt(M_TRIM_THRESHOLD, 1 << 30);
    (void)kept;
#endif
}

unsigned threadsToUse(unsigned asked, size_t jobs) {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    (void)asked, (void)jobs;
    return 1;
#else
    unsigned threads = asked != 0 ? asked : std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<size_t>(threads, jobs));
#endif
}

}  // namespace

bool bakeRecipes(const std::string& dir, const std::vector<std::string>& names, std::vector<std::string>& written,
                 unsigned threads) {
    keepLargeBlocks();
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!std::filesystem::is_directory(dir)) {
        std::printf("bake: cannot make the folder %s\n", dir.c_str());
        return false;
    }
    // Only the names before the first unknown one are baked, and written, as if baked one
    // after the other.
    std::vector<Job> jobs;
    const std::string* unknown = nullptr;
    for (const std::string& name : names) {
        Job job;
        for (const ImageRecipe& recipe : kImageRecipes)
            if (name == recipe.file) job.image = &recipe;
        for (const ModelRecipe& recipe : kModelRecipes)
            if (name == recipe.file) job.model = &recipe;
        if (job.image == nullptr && job.model == nullptr) {
            unknown = &name;
            break;
        }
        jobs.push_back(job);
    }
    // Only images draw text: a share of the work with models alone never reads a font.
    // Without fonts, the files before the first image are still written.
    Fonts fonts;
    auto firstImage = std::find_if(jobs.begin(), jobs.end(), [](const Job& job) { return job.image != nullptr; });
    bool fontsFailed = firstImage != jobs.end() && !loadFonts(fonts);
    if (fontsFailed) jobs.erase(firstImage, jobs.end());

    bool ok = true;
    unsigned cooks = threadsToUse(threads, jobs.size());
    if (cooks <= 1) {
        for (Job& job : jobs) {
            bakeJob(job, fonts);
            for (const BakedFile& file : job.files) ok = ok && writeFile(dir, file, written);
            if (!ok) return false;
        }
    } else {
        Kitchen kitchen{jobs, fonts, {}, {}, {}, {}, {}};
        for (size_t i = 0; i < jobs.size(); ++i) kitchen.longestFirst.push_back(i);
        auto costOf = [&](size_t i) { return jobs[i].image != nullptr ? jobs[i].image->costMs : jobs[i].model->costMs; };
        std::stable_sort(kitchen.longestFirst.begin(), kitchen.longestFirst.end(),
                         [&](size_t a, size_t b) { return costOf(a) > costOf(b); });
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < cooks; ++i) workers.emplace_back(cook, std::ref(kitchen));
        for (Job& job : jobs) {
            {
                std::unique_lock<std::mutex> lock(kitchen.mutex);
                kitchen.ready.wait(lock, [&] { return job.done; });
            }
            for (const BakedFile& file : job.files) ok = ok && writeFile(dir, file, written);
            job.files.clear();
            job.files.shrink_to_fit();
            if (!ok) break;
        }
        kitchen.stop = true;
        for (std::thread& worker : workers) worker.join();
        if (!ok) return false;
    }
    if (fontsFailed) return false;
    if (unknown != nullptr) {
        std::printf("bake: no recipe makes %s\n", unknown->c_str());
        return false;
    }
    return true;
}

bool bakeAll(const std::string& dir, std::vector<std::string>& written) {
    return bakeRecipes(dir, recipeNames(), written);
}

}  // namespace bake
