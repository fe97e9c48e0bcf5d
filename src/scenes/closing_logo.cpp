// Scene window placeholder until its drawing lands.
#include "scenes/scenes.h"

void drawClosingLogo(float, SceneResources&, LoopValues&) {}
