// Scene window placeholder until its drawing lands.
#include "scenes/scenes.h"

void drawOpening(float, SceneResources&, LoopValues&) {}
