// Windows: SDL reaches the sound card through WASAPI or DirectSound, which report
// nothing on their own when no device exists.
#include "sound/platform.h"
#include <SDL2/SDL.h>

namespace sound {

// The demo keeps its own main() rather than SDL's WinMain wrapper, so SDL is told
// that whatever its wrapper would have set up is in place.
void preparePlatformAudio() { SDL_SetMainReady(); }

} // namespace sound
