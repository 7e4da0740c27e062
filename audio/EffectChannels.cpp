#include "audio/EffectChannels.h"

#include "app/IntConvert.h"
#include "app/Logs.h"
#include "app/Settings.h"
#include "app/Text.h"
#include "audio/EffectsView.h"
#include "audio/PlaybackFailures.h"

namespace vuvedid {

EffectChannels::EffectChannels(IAudioLibrary& audio, Logs& logs, EffectsView& view,
                               const Settings& settings)
    : audio_(audio), logs_(logs), view_(view), settings_(settings) {}

EffectChannels::Slot EffectChannels::slot(int n) noexcept {
  switch (n) {
    case 1:
      return {fx_chan1, fx_state1, fx_file1, fx_volume1};
    case 2:
      return {fx_chan2, fx_state2, fx_file2, fx_volume2};
    case 3:
      return {fx_chan3, fx_state3, fx_file3, fx_volume3};
    default:
      return {fx_chan4, fx_state4, fx_file4, fx_volume4};
  }
}

FxArguments sliceFx(const QString& fx) {
  const qsizetype colon = fx.indexOf(QLatin1Char(':')) + 1;  // 1-based, 0 when none
  const qsizetype bang = fx.indexOf(QLatin1Char('!')) + 1;
  return {copy(fx, colon + 1, bang - 1), bang > 0 ? fx.mid(bang) : fx};
}

void EffectChannels::playfx(const QString& fx) {
  const auto [volumeText, fileName] = sliceFx(fx);
  const QString fullPath = settings_.folder_s + QLatin1Char('/') + fileName;

  if (settings_.povtor) {
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
  s.file = fullPath;
  view_.showEffectFile(chosen, fullPath);
  player(chosen, volume);
  audio_.ChannelSetVolume(s.chan, volume);
}

void EffectChannels::player(int n, std::optional<float> volume) {
  Slot s = slot(n);
  const QString path = s.file;
  if (!soundFileExists(path)) {
    logs_.playbackFailure(kMissingFileLine);
    return;
  }
  audio_.ChannelStop(s.chan);
  audio_.StreamFree(s.chan);
  s.chan = audio_.StreamCreateFile(path);
  if (s.chan == 0) {
    logs_.playbackFailure(kLoadFailedLine);
    return;
  }
  if (volume) audio_.ChannelSetVolume(s.chan, *volume);
  if (!audio_.ChannelPlay(s.chan, false)) {
    logs_.playbackFailure(kPlayFailedLine);
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

void EffectChannels::setVolume(int n, int percent) {
  Slot s = slot(n);
  s.volume = percent;
  audio_.ChannelSetVolume(s.chan, static_cast<float>(percent) / 100.0f);
}

void EffectChannels::stopAll() {
  for (int n = 1; n <= 4; ++n) audio_.ChannelStop(slot(n).chan);
}

}  // namespace vuvedid
