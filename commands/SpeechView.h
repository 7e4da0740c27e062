#pragma once
// Where the text of a spoken command is shown.
#include <QString>

namespace vuvedid {

class SpeechView {
 public:
  virtual ~SpeechView() = default;
  virtual void showSpeechText(const QString& text) = 0;
};

}  // namespace vuvedid
