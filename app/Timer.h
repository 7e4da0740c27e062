#pragma once
// A timer with an enabled state, as the room's periodic work uses it.
#include <QTimer>

namespace vuvedid {

// Enabling one that already runs changes nothing (it is not restarted), disabling stops it.
class Timer : public QTimer {
  Q_OBJECT
 public:
  explicit Timer(int intervalMs, QObject* parent = nullptr) : QTimer(parent) {
    setInterval(intervalMs);
  }
  bool enabled() const { return isActive(); }
  void setEnabled(bool on) {
    if (on && !isActive())
      start();
    else if (!on)
      stop();
  }
};

}  // namespace vuvedid
