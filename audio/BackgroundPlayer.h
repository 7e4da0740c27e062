#pragma once
// The background music channel: a room's playlist played track after track, with its
// countdown, progress bar, pause, stop and volume.
#include <cstdint>

#include <QString>

#include "audio/AudioLibrary.h"
#include "audio/DelphiRandom.h"

namespace vuvedid {

class TForm_player;

class BackgroundPlayer {
 public:
  BackgroundPlayer(TForm_player& form, IAudioLibrary& audio);

  HSTREAM fone_chan = 0;
  std::uint8_t fone_state = 0;  // 0 stopped, 1 playing, 2 paused
  std::int32_t track_no = 0;
  std::int32_t cmd_volume = 0;
  QString room;
  std::uint32_t track_len_bytes = 0;
  std::int32_t track_len_sec = 0;

  DelphiRandom random;  // the shuffle's generator, seeded once at start

  void Player();
  void playmusfoldername();
  void setlevel1(const QString& lev1);
  void btn_shufleClick();
  void btn_playClick();
  void btn_pauseClick();
  void btn_stopClick();
  void JvTrackBar1Change();
  void timer3Timer();
  void Timer_playfoneTimer();

 private:
  TForm_player& form_;
  IAudioLibrary& audio_;
};

}  // namespace vuvedid
