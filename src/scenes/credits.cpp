// Scene window placeholder until its drawing lands.
#include "scenes/scenes.h"

void drawCredits(float, SceneResources&, LoopValues&) {}
