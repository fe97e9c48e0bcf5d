// Scene window placeholder until its drawing lands.
#include "scenes/scenes.h"

void drawDuckCity(float, SceneResources&, LoopValues&) {}
