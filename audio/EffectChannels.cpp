#include "audio/EffectChannels.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QSlider>

#include "app/IntConvert.h"
#include "app/Logs.h"
#include "app/Text.h"
#include "audio/PlaybackFailures.h"
#include "ui/TForm_player.h"

namespace vuvedid {

EffectChannels::EffectChannels(TForm_player& form, IAudioLibrary& audio)
    : form_(form), audio_(audio) {}

EffectChannels::Slot EffectChannels::slot(int n) noexcept {
  switch (n) {
    case 1:
      return {fx_chan1, fx_state1, form_.efilename1, form_.JvTrackBar2};
    case 2:
      return {fx_chan2, fx_state2, form_.efilename2, form_.JvTrackBar3};
    case 3:
      return {fx_chan3, fx_state3, form_.efilename3, form_.JvTrackBar4};
    default:
      return {fx_chan4, fx_state4, form_.efilename4, form_.JvTrackBar5};
  }
}

FxArguments sliceFx(const QString& fx) {
  const qsizetype colon = fx.indexOf(QLatin1Char(':')) + 1;  // 1-based, 0 when none
  const qsizetype bang = fx.indexOf(QLatin1Char('!')) + 1;
  return {copy(fx, colon + 1, bang - 1), bang > 0 ? fx.mid(bang) : fx};
}

void EffectChannels::playfx(const QString& fx) {
  const auto [volumeText, fileName] = sliceFx(fx);
  const QString fullPath = form_.folder_s->text() + QLatin1Char('/') + fileName;

  if (form_.chbx_povtor->isChecked()) {
    for (int n = 1; n <= 4; ++n) {
      const HSTREAM h = slot(n).chan;
      if (h != 0 && audio_.ChannelGetFileName(h) == fullPath) audio_.ChannelStop(h);
    }
  }
  int chosen = 0;
  for (int n = 1; n <= 4 && chosen == 0; ++n)
    if (audio_.ChannelIsActive(slot(n).chan) == ACTIVE_STOPPED) chosen = n;
  if (chosen == 0) return;  // all four busy: the sound is dropped

  const float volume = static_cast<float>(StrToInt(volumeText)) / 100.0f;
  Slot s = slot(chosen);
  s.file->setText(fullPath);
  player(chosen, volume);
  audio_.ChannelSetVolume(s.chan, volume);
}

void EffectChannels::player(int n, std::optional<float> volume) {
  Slot s = slot(n);
  const QString path = s.file->text();
  if (!soundFileExists(path)) {
    form_.logs->playbackFailure(kMissingFileLine);
    return;
  }
  audio_.ChannelStop(s.chan);
  audio_.StreamFree(s.chan);
  s.chan = audio_.StreamCreateFile(path);
  if (s.chan == 0) {
    form_.logs->playbackFailure(kLoadFailedLine);
    return;
  }
  if (volume) audio_.ChannelSetVolume(s.chan, *volume);
  if (!audio_.ChannelPlay(s.chan, false)) {
    form_.logs->playbackFailure(kPlayFailedLine);
    return;
  }
  s.state = 1;
}

void EffectChannels::Player1() { player(1); }
void EffectChannels::Player2() { player(2); }
void EffectChannels::Player3() { player(3); }
void EffectChannels::Player4() { player(4); }

void EffectChannels::button(int n) {
  if (slot(n).state != 1) player(n);
}
void EffectChannels::SpeedButton1Click() { button(1); }
void EffectChannels::SpeedButton4Click() { button(2); }
void EffectChannels::SpeedButton7Click() { button(3); }
void EffectChannels::SpeedButton2Click() { button(4); }

void EffectChannels::barChanged(int n) {
  Slot s = slot(n);
  audio_.ChannelSetVolume(s.chan, static_cast<float>(s.bar->value()) / 100.0f);
}
void EffectChannels::JvTrackBar2Change() { barChanged(1); }
void EffectChannels::JvTrackBar3Change() { barChanged(2); }
void EffectChannels::JvTrackBar4Change() { barChanged(3); }
void EffectChannels::JvTrackBar5Change() { barChanged(4); }

}  // namespace vuvedid
