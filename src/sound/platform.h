// What the sound layer must do on one platform before SDL opens its audio device.
// One source per platform implements it; CMake picks the one that is built.
#pragma once

namespace sound {

// Called once, before SDL's audio subsystem starts.
void preparePlatformAudio();

} // namespace sound
