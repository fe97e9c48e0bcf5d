// Scene window placeholder until its drawing lands.
#include "scenes/scenes.h"

void drawTwoShedCity(float, SceneResources&, LoopValues&) {}
