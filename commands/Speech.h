#pragma once
#include <QString>
#include <functional>

namespace vuvedid {

// Speaks a text asynchronously: returns at once, a new text never waits for the previous
// one. Throws AppError naming the service and the reason when it cannot be reached.
class ISpeech {
 public:
  virtual ~ISpeech() = default;
  virtual void speak(const QString& text) = 0;
  // sink(true) while the service says a text, sink(false) when it stops; for the music's
  // ducking. Services that cannot tell ignore it.
  virtual void onSounding(std::function<void(bool)> /*sink*/) {}
};

}  // namespace vuvedid
