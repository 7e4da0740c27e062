#pragma once
// Four effect slots that play short sounds over the background music.
#include <QString>
#include <cstdint>
#include <optional>

#include "audio/AudioLibrary.h"

namespace vuvedid {

class EffectsView;
class Logs;
struct Settings;

// The two parts of an "fx:" argument "volume!file". The volume is what lies between the
// first ":" (or the start) and the first "!"; a ":" before the "!" leaves the "!" in the
// slice, so such a text never converts. The file name is everything after the first "!",
// or the whole text without one.
struct FxArguments {
  QString volumeText;
  QString fileName;
};
FxArguments sliceFx(const QString& fx);

class EffectChannels {
 public:
  EffectChannels(IAudioLibrary& audio, Logs& logs, EffectsView& view, const Settings& settings);

  HSTREAM fx_chan1 = 0, fx_chan2 = 0, fx_chan3 = 0, fx_chan4 = 0;
  // Set at a slot's first successful start; nothing clears them.
  std::uint8_t fx_state1 = 0, fx_state2 = 0, fx_state3 = 0, fx_state4 = 0;
  // The file each slot starts (the user may choose one too).
  QString fx_file1, fx_file2, fx_file3, fx_file4;
  // Each slot's volume bar, in percent.
  int fx_volume1 = 50, fx_volume2 = 50, fx_volume3 = 50, fx_volume4 = 50;

  // "volume!file": the file inside folder_s in the first free slot at that volume. All
  // four busy: dropped. Throws ConvertError when a slot is free and the volume is no
  // integer.
  void playfx(const QString& fx);
  void Player1();
  void Player2();
  void Player3();
  void Player4();
  // A slot's test button (n = 1 .. 4): starts its file unless it has started before.
  void button(int n);
  // A slot's volume bar moved (n = 1 .. 4).
  void setVolume(int n, int percent);
  // Every slot falls silent.
  void stopAll();

 private:
  struct Slot {
    HSTREAM& chan;
    std::uint8_t& state;
    QString& file;
    int& volume;
  };
  Slot slot(int n) noexcept;  // n = 1 .. 4
  // Starts the slot's file; with a volume it is applied before the sound starts, so the
  // first buffer already plays at the commanded level.
  void player(int n, std::optional<float> volume = std::nullopt);

  IAudioLibrary& audio_;
  Logs& logs_;
  EffectsView& view_;
  const Settings& settings_;
};

}  // namespace vuvedid
