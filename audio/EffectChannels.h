#pragma once
// Four effect slots that play short sounds over the background music.
#include <cstdint>

#include <QString>

#include "audio/AudioLibrary.h"

namespace vuvedid {

class TForm_player;

class EffectChannels {
 public:
  EffectChannels(TForm_player& form, IAudioLibrary& audio);

  HSTREAM fx_chan1 = 0, fx_chan2 = 0, fx_chan3 = 0, fx_chan4 = 0;
  std::uint8_t fx_state1 = 0, fx_state2 = 0, fx_state3 = 0, fx_state4 = 0;

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
  TForm_player& form_;
  IAudioLibrary& audio_;
};

}  // namespace vuvedid
