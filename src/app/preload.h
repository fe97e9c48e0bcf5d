// Decoding and parsing ahead of the resource set-up, on one second thread. The set-up
// asks for images and model files in a fixed order; the worker is given that order at
// start and prepares each one (stb decoding, an assimp import of the file) so that the
// main thread only uploads. Nothing here touches GL or prints: every GL call and every
// message stays with the loaders on the main thread, in their order.
//
// A loader asks with the same key it would decode with (path, flip, channels); when the
// worker holds or is preparing that item it is handed over, otherwise (not planned, or not
// reached yet) the loader does the work itself, so a loader behaves exactly as without a
// worker, and the main thread never waits for a worker that has fallen behind.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace Assimp {
class Importer;
}

struct PreloadStep {
    // pause: the worker stops there until resumePreload.
    enum Kind { image, model, pause };
    Kind kind = image;
    std::string path;
    // The decoder's vertical flip when the set-up gets to this step; for a model, the flip
    // its material textures are decoded with.
    bool flip = false;
    int channels = 0;  // images: channels asked of the decoder, 0 for the file's own
};

// What stbi_load returned: pixels to be freed with stbi_image_free, or null on failure.
struct DecodedImage {
    unsigned char* pixels = nullptr;
    int width = 0, height = 0, channels = 0;
};

// Starts the worker on `plan`. Ignored while a worker is running.
void startPreload(std::vector<PreloadStep> plan);

// Stops the worker and frees whatever was prepared and never asked for.
void stopPreload();

// Lets the worker past a pause step of its plan.
void resumePreload();

// Waits until the worker has been through its whole list, so that what follows finds every
// item prepared (tests that need the hand-over to happen use it).
void waitForPreloadWorker();

// Hands over the prepared image for this key, waiting for it if the worker is on it.
// False when the worker has not got to it (or was never to); the caller then decodes.
bool takePreloadedImage(const std::string& path, bool flip, int channels, DecodedImage& image);

// The importer that read `path` (holding its scene, or its error string), or null when
// the worker has not got to it.
std::unique_ptr<Assimp::Importer> takePreloadedModel(const std::string& path);
