#include "commands/SpeechOutput.h"

#include "commands/Speech.h"

namespace vuvedid {

SpeechOutput::SpeechOutput(ISpeech& speech) : speech_(speech) {}

void SpeechOutput::speak(const QString& text) {
  // Handed over as it stands, blanks and all, and empty text too; only an utterance the
  // service took becomes the current one.
  speech_.speak(text);
  gpIVTxt = text;
}

}  // namespace vuvedid
