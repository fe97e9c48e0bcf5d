// The baked files: one row per image and per model the demo reads from imgs/, each made by
// one recipe function named after the picture or model it makes.
#pragma once

#include "canvas.h"
#include "objmodel.h"

#include <cstddef>
#include <string>
#include <vector>

namespace bake {

struct ImageRecipe {
    const char* file;
    int channels;  // 3 for cube-map faces (the loader uploads them as RGB), 4 for cut-out logos
    bool dither;   // for wide, slow gradients (skies) that would show bands
    Canvas (*bake)(const Fonts& fonts);
    int costMs;    // about how long it takes on one core; the slow ones are handed out first
};

struct ModelRecipe {
    const char* file;  // the OBJ; its MTL shares the stem, its textures are named by the recipe
    BakedModel (*bake)();
    int costMs;
};

constexpr size_t kImageRecipeCount = 25;
constexpr size_t kModelRecipeCount = 5;
extern const ImageRecipe kImageRecipes[kImageRecipeCount];
extern const ModelRecipe kModelRecipes[kModelRecipeCount];

// Greeting logos 1 to 13 (13 is the closing logo).
Canvas bakeGreetGlfw(const Fonts& fonts);
Canvas bakeGreetGlm(const Fonts& fonts);
Canvas bakeGreetAssimp(const Fonts& fonts);
Canvas bakeGreetStb(const Fonts& fonts);
Canvas bakeGreetSdl(const Fonts& fonts);
Canvas bakeGreetMesa(const Fonts& fonts);
Canvas bakeGreetLame(const Fonts& fonts);
Canvas bakeGreetDebian(const Fonts& fonts);
Canvas bakeGreetGcc(const Fonts& fonts);
Canvas bakeGreetCmake(const Fonts& fonts);
Canvas bakeGreetGlad(const Fonts& fonts);
Canvas bakeGreetXvfb(const Fonts& fonts);
Canvas bakeClosingLogo(const Fonts& fonts);

// Pictures and single-image skies.
Canvas bakeMolvanianSeal(const Fonts& fonts);
Canvas bakeTitleSky(const Fonts& fonts);
Canvas bakeCreditsSky(const Fonts& fonts);
Canvas bakeTwoShedCitySky(const Fonts& fonts);
Canvas bakeDuckCitySky(const Fonts& fonts);
Canvas bakeTampereSky(const Fonts& fonts);

// The six faces of the Helsinki panorama.
Canvas bakeHelsinkiRight(const Fonts& fonts);
Canvas bakeHelsinkiLeft(const Fonts& fonts);
Canvas bakeHelsinkiTop(const Fonts& fonts);
Canvas bakeHelsinkiBottom(const Fonts& fonts);
Canvas bakeHelsinkiFront(const Fonts& fonts);
Canvas bakeHelsinkiBack(const Fonts& fonts);

// Models.
BakedModel bakeDonut();
BakedModel bakeForestShip();
BakedModel bakeSpaceShip();
BakedModel bakeTugBoat();
BakedModel bakeRubberDuck();

// A recipe is named by the file it is listed under: an image, or a model's OBJ (which
// also makes its MTL and textures). All of them, in the order bakeAll makes them.
std::vector<std::string> recipeNames();

// Writes the files of the named recipes into `dir` (created if missing), in the order
// given, and lists the file names written. Several processes can each bake a share.
// Returns false, after printing why, when a name is no recipe's, a font cannot be read
// or a file cannot be written; the files of the names before that one are written.
// The recipes are baked on up to `threads` threads (0: one per core; always one where
// the build has no threads), the files written in the same order whatever the number.
bool bakeRecipes(const std::string& dir, const std::vector<std::string>& names, std::vector<std::string>& written,
                 unsigned threads = 0);

// Writes every baked file into `dir` (created if missing) and lists the file names written.
// Returns false, after printing why, when a font cannot be read or a file cannot be written.
bool bakeAll(const std::string& dir, std::vector<std::string>& written);

}  // namespace bake
