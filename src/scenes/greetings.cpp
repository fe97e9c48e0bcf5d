// Scene window placeholder until its drawing lands.
#include "scenes/scenes.h"

void drawGreetings(float, SceneResources&, LoopValues&) {}
