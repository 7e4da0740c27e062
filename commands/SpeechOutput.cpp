#include "commands/SpeechOutput.h"

#include "commands/Speech.h"
#include "ui/TForm_player.h"

namespace vuvedid {

SpeechOutput::SpeechOutput(TForm_player& form, ISpeech& speech) : form_(form), speech_(speech) {}
void SpeechOutput::btn_speakClick() {}

}  // namespace vuvedid
