// The baker as a wasm module (bake.js) for generators_worker.js: bakes a share of the
// recipes into a folder of the module's in-memory file system, which the worker then
// empties into the page's hands. The fonts are embedded where loadFonts looks for them.
#include "recipes.h"

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
