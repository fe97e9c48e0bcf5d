// The set-up's decode-ahead for the browser, where the program has one thread: the page
// runs the whole plan before the viewer presses Play (platform_web.cpp), so that the
// start-up after the click only uploads. The hand-over is the desktop worker's: a loader
// asks with the key it would decode with and gets the prepared item or does the work itself.
#include "app/preload.h"

#include <list>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <stb/stb_image.h>

#include "model/model.h"

namespace {

struct Item {
    PreloadStep step;
    bool taken = false;
    DecodedImage image;
    std::unique_ptr<Assimp::Importer> importer;
};

// Null until a plan has been run; a list, so that model textures go in behind their model.
std::list<Item>* items = nullptr;

DecodedImage decode(const PreloadStep& step) {
    // One thread: the process-wide flag, put back by startPreload once the plan is done.
    // (stb's per-thread flag would, once set, hide the loaders' own settings for good.)
    stbi_set_flip_vertically_on_load(step.flip);
    DecodedImage image;
    image.pixels = stbi_load(step.path.c_str(), &image.width, &image.height, &image.channels,
                             step.channels);
    return image;
}

void prepare(std::list<Item>::iterator it) {
    if (it->step.kind == PreloadStep::image) {
        it->image = decode(it->step);
        return;
    }
    it->importer = std::make_unique<Assimp::Importer>();
    it->importer->ReadFile(it->step.path.c_str(), kModelImportFlags);
    const aiScene* scene = it->importer->GetScene();
    if (!usableScene(scene)) return;
    const std::string directory = modelDirectory(it->step.path);
    auto at = std::next(it);
    for (const std::string& name : materialTextureNames(scene)) {
        Item texture;
        texture.step = {PreloadStep::image, directory + "/" + name, it->step.flip, 0};
        items->insert(at, std::move(texture));
    }
}

Item* findItem(PreloadStep::Kind kind, const std::string& path, bool flip, int channels) {
    if (!items) return nullptr;
    for (Item& item : *items) {
        if (item.taken || item.step.kind != kind || item.step.path != path) continue;
        if (kind == PreloadStep::image && (item.step.flip != flip || item.step.channels != channels))
            continue;
        item.taken = true;
        return &item;
    }
    return nullptr;
}

}  // namespace

// Runs the whole plan at once; pauses mean nothing without a second thread.
void startPreload(std::vector<PreloadStep> plan) {
    if (items) return;
    items = new std::list<Item>;
    for (PreloadStep& step : plan) {
        if (step.kind == PreloadStep::pause) continue;
        Item item;
        item.step = std::move(step);
        items->push_back(std::move(item));
    }
    for (auto it = items->begin(); it != items->end(); ++it) prepare(it);
    // As stb starts, for the set-up's loaders, which set it before they decode.
    stbi_set_flip_vertically_on_load(false);
}

void stopPreload() {
    if (!items) return;
    for (Item& item : *items) stbi_image_free(item.image.pixels);
    delete items;
    items = nullptr;
}

void resumePreload() {}

void waitForPreloadWorker() {}

bool takePreloadedImage(const std::string& path, bool flip, int channels, DecodedImage& image) {
    Item* item = findItem(PreloadStep::image, path, flip, channels);
    if (!item) return false;
    image = item->image;
    item->image = DecodedImage{};
    return true;
}

std::unique_ptr<Assimp::Importer> takePreloadedModel(const std::string& path) {
    Item* item = findItem(PreloadStep::model, path, false, 0);
    return item ? std::move(item->importer) : nullptr;
}
