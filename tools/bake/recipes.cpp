// The tables of baked files and the loop that writes them.
#include "recipes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace bake {

// file                  channels dither recipe
const ImageRecipe kImageRecipes[kImageRecipeCount] = {
    {"greet01.png",             4, false, &bakeGreetGlfw},
    {"greet02.png",             4, false, &bakeGreetGlm},
    {"greet03.png",             4, false, &bakeGreetAssimp},
    {"greet04.png",             4, false, &bakeGreetStb},
    {"greet05.png",             4, false, &bakeGreetSdl},
    {"greet06.png",             4, false, &bakeGreetMesa},
    {"greet07.png",             4, false, &bakeGreetLame},
    {"greet08.png",             4, false, &bakeGreetDebian},
    {"greet09.png",             4, false, &bakeGreetGcc},
    {"greet10.png",             4, false, &bakeGreetCmake},
    {"greet11.png",             4, false, &bakeGreetGlad},
    {"greet12.png",             4, false, &bakeGreetXvfb},
    {"greet13.png",             3, false, &bakeClosingLogo},
    {"officialmolvanian2.png",  3, false, &bakeMolvanianSeal},
    {"norrvalelogo2.png",       3, true,  &bakeTitleSky},
    {"creditsb.png",            3, true,  &bakeCreditsSky},
    {"HelsinkiRight.png",       3, true,  &bakeHelsinkiRight},
    {"HelsinkiLeft.png",        3, true,  &bakeHelsinkiLeft},
    {"HelsinkiTop.png",         3, true,  &bakeHelsinkiTop},
    {"HelsinkiBottom.png",      3, true,  &bakeHelsinkiBottom},
    {"HelsinkiFront.png",       3, true,  &bakeHelsinkiFront},
    {"Helsinki1.png",           3, true,  &bakeHelsinkiBack},
    {"TwoShedCity1.png",        3, true,  &bakeTwoShedCitySky},
    {"DuckCity2.2.png",         3, true,  &bakeDuckCitySky},
    {"Tampere2.png",            3, true,  &bakeTampereSky},
};

// file                          recipe
const ModelRecipe kModelRecipes[kModelRecipeCount] = {
    {"donut4.obj",                &bakeDonut},
    {"ForestShip.obj",            &bakeForestShip},
    {"ship4.obj",                 &bakeSpaceShip},
    {"ship2.obj",                 &bakeTugBoat},
    {"DuckPart2.4.textured.obj",  &bakeRubberDuck},
};

static bool writeFile(const std::string& dir, const std::string& name, const void* data, size_t size,
                      std::vector<std::string>& written) {
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::printf("bake: cannot write %s/%s\n", dir.c_str(), name.c_str());
        return false;
    }
    written.push_back(name);
    return true;
}

static bool writeText(const std::string& dir, const std::string& name, const std::string& text,
                      std::vector<std::string>& written) {
    return writeFile(dir, name, text.data(), text.size(), written);
}

static bool writePng(const std::string& dir, const std::string& name, const Canvas& image, int channels,
                     bool dither, std::vector<std::string>& written) {
    std::vector<unsigned char> png = encodePng(image, channels, dither);
    return writeFile(dir, name, png.data(), png.size(), written);
}

std::vector<std::string> recipeNames() {
    std::vector<std::string> names;
    for (const ImageRecipe& recipe : kImageRecipes) names.push_back(recipe.file);
    for (const ModelRecipe& recipe : kModelRecipes) names.push_back(recipe.file);
    return names;
}

static bool bakeModel(const std::string& dir, const ModelRecipe& recipe, std::vector<std::string>& written) {
    BakedModel model = recipe.bake();
    std::string stem = std::filesystem::path(recipe.file).stem().string();
    std::string mtl = stem + ".mtl";
    if (!writeText(dir, recipe.file, objText(model, mtl), written)) return false;
    if (!writeText(dir, mtl, mtlText(model), written)) return false;
    for (const BakedTexture& texture : model.textures)
        if (!writePng(dir, texture.file, texture.image, 3, false, written)) return false;
    return true;
}

bool bakeRecipes(const std::string& dir, const std::vector<std::string>& names, std::vector<std::string>& written) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!std::filesystem::is_directory(dir)) {
        std::printf("bake: cannot make the folder %s\n", dir.c_str());
        return false;
    }
    // Only images draw text: a share of the work with models alone never reads a font.
    Fonts fonts;
    bool fontsLoaded = false;
    for (const std::string& name : names) {
        const ImageRecipe* image = nullptr;
        const ModelRecipe* model = nullptr;
        for (const ImageRecipe& recipe : kImageRecipes)
            if (name == recipe.file) image = &recipe;
        for (const ModelRecipe& recipe : kModelRecipes)
            if (name == recipe.file) model = &recipe;
        if (image != nullptr) {
            if (!fontsLoaded && !loadFonts(fonts)) return false;
            fontsLoaded = true;
            if (!writePng(dir, image->file, image->bake(fonts), image->channels, image->dither, written))
                return false;
        } else if (model != nullptr) {
            if (!bakeModel(dir, *model, written)) return false;
        } else {
            std::printf("bake: no recipe makes %s\n", name.c_str());
            return false;
        }
    }
    return true;
}

bool bakeAll(const std::string& dir, std::vector<std::string>& written) {
    return bakeRecipes(dir, recipeNames(), written);
}

}  // namespace bake
