#include "audio/EffectChannels.h"

#include "ui/TForm_player.h"

namespace vuvedid {

EffectChannels::EffectChannels(TForm_player& form, IAudioLibrary& audio)
    : form_(form), audio_(audio) {}
void EffectChannels::playfx(const QString&) {}
void EffectChannels::Player1() {}
void EffectChannels::Player2() {}
void EffectChannels::Player3() {}
void EffectChannels::Player4() {}
void EffectChannels::SpeedButton1Click() {}
void EffectChannels::SpeedButton4Click() {}
void EffectChannels::SpeedButton7Click() {}
void EffectChannels::SpeedButton2Click() {}
void EffectChannels::JvTrackBar2Change() {}
void EffectChannels::JvTrackBar3Change() {}
void EffectChannels::JvTrackBar4Change() {}
void EffectChannels::JvTrackBar5Change() {}

}  // namespace vuvedid
