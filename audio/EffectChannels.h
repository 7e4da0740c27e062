#pragma once
// Four effect slots that play short sounds over the background music.
#include <QString>
#include <cstdint>
#include <optional>

#include "audio/AudioLibrary.h"

class QSlider;

namespace vuvedid {

class TForm_player;
class FileEdit;

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
  EffectChannels(TForm_player& form, IAudioLibrary& audio);

  HSTREAM fx_chan1 = 0, fx_chan2 = 0, fx_chan3 = 0, fx_chan4 = 0;
  // Set at a slot's first successful start; nothing clears them.
  std::uint8_t fx_state1 = 0, fx_state2 = 0, fx_state3 = 0, fx_state4 = 0;

  // "volume!file": the file inside folder_s in the first free slot at that volume. All
  // four busy: dropped. Throws ConvertError when a slot is free and the volume is no
  // integer.
  void playfx(const QString& fx);
  void Player1();
  void Player2();
  void Player3();
  void Player4();
  void SpeedButton1Click();
  void SpeedButton4Click();
  void SpeedButton7Click();
  void SpeedButton2Click();
  void JvTrackBar2Change();
  void JvTrackBar3Change();
  void JvTrackBar4Change();
  void JvTrackBar5Change();

 private:
  struct Slot {
    HSTREAM& chan;
    std::uint8_t& state;
    FileEdit* file;
    QSlider* bar;
  };
  Slot slot(int n) noexcept;  // n = 1 .. 4
  // Starts the slot's file; with a volume it is applied before the sound starts, so the
  // first buffer already plays at the commanded level.
  void player(int n, std::optional<float> volume = std::nullopt);
  void button(int n);
  void barChanged(int n);

  TForm_player& form_;
  IAudioLibrary& audio_;
};

}  // namespace vuvedid
