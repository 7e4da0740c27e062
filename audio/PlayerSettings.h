#pragma once
// The settings the players read, taken afresh at each use so an edit counts at once.
#include <QString>
#include <functional>

namespace vuvedid {

struct PlayerSettings {
  QString folder_m;  // the music folder, one subfolder per room
  QString folder_s;  // the signal folder
  int vol_default = 60;
  bool shufle = false;
  bool povtor = false;
};

using PlayerSettingsSource = std::function<PlayerSettings()>;

}  // namespace vuvedid
