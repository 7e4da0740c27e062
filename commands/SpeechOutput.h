#pragma once
#include <QString>

namespace vuvedid {

class ISpeech;

// Speaks a text with the system's synthesizer without waiting for it.
class SpeechOutput {
 public:
  explicit SpeechOutput(ISpeech& speech);
  QString gpIVTxt;  // the current utterance
  void speak(const QString& text);

 private:
  ISpeech& speech_;
};

}  // namespace vuvedid
