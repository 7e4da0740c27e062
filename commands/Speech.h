#pragma once
#include <QString>

namespace vuvedid {

// Speaks a text asynchronously: returns at once, a new text never waits for the previous
// one. Throws AppError naming the service and the reason when it cannot be reached.
class ISpeech {
 public:
  virtual ~ISpeech() = default;
  virtual void speak(const QString& text) = 0;
};

}  // namespace vuvedid
