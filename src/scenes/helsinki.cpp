// Scene window placeholder until its drawing lands.
#include "scenes/scenes.h"

void drawHelsinki(float, SceneResources&, LoopValues&) {}
