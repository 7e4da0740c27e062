#pragma once
#include <QString>

namespace vuvedid {

class TForm_player;
class ISpeech;

// The speech test button: speaks the text of e_speak without waiting for it.
class SpeechOutput {
 public:
  SpeechOutput(TForm_player& form, ISpeech& speech);
  QString gpIVTxt;  // the current utterance
  void btn_speakClick();

 private:
  TForm_player& form_;
  ISpeech& speech_;
};

}  // namespace vuvedid
