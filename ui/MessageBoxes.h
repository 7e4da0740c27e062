#pragma once
// Modal message boxes behind one interface, so tests record them instead of blocking.
#include <QString>

#include "app/Problems.h"

namespace vuvedid {

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // Shows a modal box with an OK button and returns once it is dismissed. An empty caption
  // means the platform's default caption (the start-up boxes have none of their own).
  // Timer ticks and posted events go on being handled while it is open.
  virtual void show(BoxIcon icon, const QString& caption, const QString& text) = 0;
};

// Real boxes: QMessageBox::exec (a nested event loop).
class QtMessageBoxes final : public IMessageBoxes {
 public:
  void show(BoxIcon icon, const QString& caption, const QString& text) override;
};

}  // namespace vuvedid
