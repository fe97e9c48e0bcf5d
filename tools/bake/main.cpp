// bake: writes every image and model the demo reads into the folder given as its one
// argument (the build passes the staged imgs/ folder).
#include "recipes.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: bake OUTPUT_FOLDER\n");
        return 2;
    }
    std::vector<std::string> written;
    return bake::bakeAll(argv[1], written) ? 0 : 1;
}
