#pragma once
// What the effect slots show: the file each slot was last given.
#include <QString>

namespace vuvedid {

class EffectsView {
 public:
  virtual ~EffectsView() = default;
  // slot: 1 .. 4.
  virtual void showEffectFile(int slot, const QString& path) = 0;
};

}  // namespace vuvedid
