// Linux: SDL reaches the sound card through ALSA.
#include "sound/platform.h"
#include <alsa/asoundlib.h>

namespace sound {

namespace {
// On a machine without a sound card ALSA explains at length why it found none; the
// demo runs silently then, and a failed device open is the whole story.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void preparePlatformAudio() { snd_lib_error_set_handler(quietAlsa); }

} // namespace sound
