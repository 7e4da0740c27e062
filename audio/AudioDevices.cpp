#include "audio/AudioDevices.h"

#include <SDL.h>

namespace vuvedid {

QStringList listOutputDevices() {
  QStringList names;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return names;
  const int n = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < n; ++i) {
    if (const char* name = SDL_GetAudioDeviceName(i, 0)) names << QString::fromUtf8(name);
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return names;
}

}  // namespace vuvedid
