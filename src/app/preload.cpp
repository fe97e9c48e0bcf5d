// The set-up's decode-ahead worker: a list of items in the order the loaders will ask for
// them, prepared front to back on one thread and handed over under one lock.
#include "app/preload.h"

#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <stb/stb_image.h>

#include "model/model.h"

namespace {

struct Item {
    PreloadStep step;
    bool started = false;  // the worker is on it (or done)
    bool ready = false;
    bool taken = false;
    DecodedImage image;
    std::unique_ptr<Assimp::Importer> importer;
};

struct Worker {
    std::mutex lock;
    std::condition_variable readyChanged;
    // A list, so that an item keeps its place while the textures of a model are inserted
    // behind it.
    std::list<Item> items;
    bool stopping = false;
    bool resumed = false;
    bool finished = false;
    std::thread thread;
};

Worker* worker = nullptr;

void freeItem(Item& item) {
    stbi_image_free(item.image.pixels);
    item.image = DecodedImage{};
    item.importer.reset();
}

DecodedImage decode(const PreloadStep& step) {
    // The set-up's flag is process-wide and the main thread keeps changing it; this
    // thread's own setting gives each item the flip it will be asked for with.
    stbi_set_flip_vertically_on_load_thread(step.flip);
    DecodedImage image;
    image.pixels = stbi_load(step.path.c_str(), &image.width, &image.height, &image.channels,
                             step.channels);
    return image;
}

// Once a model is read, the textures its materials name are known: each is decoded once
// per model, as the model's own cache loads them, right after the model.
void queueModelTextures(std::list<Item>::iterator model, const aiScene* scene) {
    const std::string directory = modelDirectory(model->step.path);
    auto at = std::next(model);
    for (const std::string& name : materialTextureNames(scene)) {
        Item texture;
        texture.step = {PreloadStep::image, directory + "/" + name, model->step.flip, 0};
        worker->items.insert(at, std::move(texture));
    }
}

void run() {
    std::unique_lock<std::mutex> hold(worker->lock);
    for (auto it = worker->items.begin(); it != worker->items.end() && !worker->stopping; ++it) {
        if (it->taken) continue;
        if (it->step.kind == PreloadStep::pause) {
            worker->readyChanged.wait(hold, [] { return worker->resumed || worker->stopping; });
            continue;
        }
        it->started = true;
        const PreloadStep step = it->step;
        hold.unlock();
        DecodedImage image;
        std::unique_ptr<Assimp::Importer> importer;
        if (step.kind == PreloadStep::image) {
            image = decode(step);
        } else {
            importer = std::make_unique<Assimp::Importer>();
            importer->ReadFile(step.path.c_str(), kModelImportFlags);
        }
        hold.lock();
        if (importer && usableScene(importer->GetScene())) queueModelTextures(it, importer->GetScene());
        it->image = image;
        it->importer = std::move(importer);
        it->ready = true;
        worker->readyChanged.notify_all();
    }
    worker->finished = true;
    worker->readyChanged.notify_all();
}

// The first item not yet handed over with this key; the caller holds the lock.
Item* findItem(PreloadStep::Kind kind, const std::string& path, bool flip, int channels) {
    for (Item& item : worker->items) {
        if (item.taken || item.step.kind != kind || item.step.path != path) continue;
        if (kind == PreloadStep::image && (item.step.flip != flip || item.step.channels != channels))
            continue;
        return &item;
    }
    return nullptr;
}

// Hands the item to the caller: it waits while the worker is on it, but an item the worker
// has not reached is left to the caller to do itself, so the main thread never waits on a
// worker that is behind (on a busy machine, say). False when the caller must do the work.
bool claim(std::unique_lock<std::mutex>& hold, Item& item) {
    item.taken = true;
    if (!item.started) return false;
    worker->readyChanged.wait(hold, [&] { return item.ready || worker->stopping; });
    return item.ready;
}

}  // namespace

void startPreload(std::vector<PreloadStep> plan) {
    if (worker) return;
    worker = new Worker;
    for (PreloadStep& step : plan) {
        Item item;
        item.step = std::move(step);
        worker->items.push_back(std::move(item));
    }
    worker->thread = std::thread(run);
}

void stopPreload() {
    if (!worker) return;
    {
        std::lock_guard<std::mutex> hold(worker->lock);
        worker->stopping = true;
    }
    worker->readyChanged.notify_all();
    worker->thread.join();
    for (Item& item : worker->items) freeItem(item);
    delete worker;
    worker = nullptr;
}

void resumePreload() {
    if (!worker) return;
    {
        std::lock_guard<std::mutex> hold(worker->lock);
        worker->resumed = true;
    }
    worker->readyChanged.notify_all();
}

void waitForPreloadWorker() {
    if (!worker) return;
    std::unique_lock<std::mutex> hold(worker->lock);
    worker->readyChanged.wait(hold, [] { return worker->finished; });
}

bool takePreloadedImage(const std::string& path, bool flip, int channels, DecodedImage& image) {
    if (!worker) return false;
    std::unique_lock<std::mutex> hold(worker->lock);
    Item* item = findItem(PreloadStep::image, path, flip, channels);
    if (!item || !claim(hold, *item)) return false;
    image = item->image;
    item->image = DecodedImage{};
    return true;
}

std::unique_ptr<Assimp::Importer> takePreloadedModel(const std::string& path) {
    if (!worker) return nullptr;
    std::unique_lock<std::mutex> hold(worker->lock);
    Item* item = findItem(PreloadStep::model, path, false, 0);
    if (!item || !claim(hold, *item)) return nullptr;
    return std::move(item->importer);
}
