#include "commands/SpeechOutput.h"

#include <QLineEdit>

#include "commands/Speech.h"
#include "ui/TForm_player.h"

namespace vuvedid {

SpeechOutput::SpeechOutput(TForm_player& form, ISpeech& speech) : form_(form), speech_(speech) {}

void SpeechOutput::btn_speakClick() {
  // Handed over as it stands, blanks and all, and empty text too; only an utterance the
  // service took becomes the current one.
  const QString text = form_.e_speak->text();
  speech_.speak(text);
  gpIVTxt = text;
}

}  // namespace vuvedid
