// The baker as a wasm module (bake.js) for generators_worker.js: bakes a share of the
// recipes into a folder of the module's in-memory file system, which the worker then
// empties into the page's hands. The fonts are embedded where loadFonts looks for them.
#include "recipes.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

extern "C" {

// Every recipe's name, one a line, in the native baker's order.
const char* norrvaleRecipeNames() {
    static std::string names;
    if (names.empty())
        for (const std::string& name : bake::recipeNames()) names += name + "\n";
    return names.c_str();
}

// About how long the named recipe takes on one core (ms), so that a page can hand out the
// slow ones first, as the native baker does; -1 for no recipe's name.
int norrvaleRecipeCost(const char* name) {
    for (const bake::ImageRecipe& recipe : bake::kImageRecipes)
        if (std::strcmp(recipe.file, name) == 0) return recipe.costMs;
    for (const bake::ModelRecipe& recipe : bake::kModelRecipes)
        if (std::strcmp(recipe.file, name) == 0) return recipe.costMs;
    return -1;
}

// `names`: recipe names, one a line. Returns how many files were written into `dir`, or -1
// after printing why.
int norrvaleBake(const char* names, const char* dir) {
    std::vector<std::string> recipes;
    std::istringstream lines(names);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) recipes.push_back(line);
    std::vector<std::string> written;
    return bake::bakeRecipes(dir, recipes, written) ? int(written.size()) : -1;
}

}
