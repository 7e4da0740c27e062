#pragma once
// The background music channel: a room's playlist played track after track, with its
// countdown, progress bar, pause, stop and volume.
#include <QString>
#include <cstdint>

#include "audio/AudioLibrary.h"
#include "audio/DelphiRandom.h"

namespace vuvedid {

class TForm_player;

class BackgroundPlayer {
 public:
  BackgroundPlayer(TForm_player& form, IAudioLibrary& audio);

  HSTREAM fone_chan = 0;
  std::uint8_t fone_state = 0;  // 0 stopped, 1 playing, 2 paused
  std::int32_t track_no = 0;    // the playlist entry the next tick starts
  std::int32_t cmd_volume = 0;  // last volume command, 0 when none
  QString room;
  std::uint32_t track_len_bytes = 0;
  std::int32_t track_len_sec = 0;

  DelphiRandom random;  // the shuffle's generator, seeded once at start

  // Continues a paused track, otherwise (re)starts the file named in efilename.
  void Player();
  // Lists folder_m/room into the playlist (shuffled when chbx_shufle is ticked) and
  // enables Timer_playfone. Throws FileError when the folder does not exist.
  void playmusfoldername();
  // Background volume from a text; throws ConvertError when it is no integer.
  void setlevel1(const QString& lev1);
  void btn_shufleClick();
  void btn_playClick();
  void btn_pauseClick();
  void btn_stopClick();
  void JvTrackBar1Change();
  void timer3Timer();
  void Timer_playfoneTimer();

 private:
  enum class Outcome { Played, Missing, LoadFailed, PlayFailed };
  // fromTick: the playlist tick shows the missing-file box once per playlist and only logs
  // further missing entries.
  Outcome play(bool fromTick);
  void countdownStart(bool withProgress);
  int defaultVolume() const;

  TForm_player& form_;
  IAudioLibrary& audio_;
  // Missing playlist files must not stack modal boxes on an unattended machine (one per
  // tick, or one per round of a room with a missing file): the tick shows the box once per
  // playlist build and only logs the rest.
  bool missing_box_shown_ = false;
  // Entries in a row the tick could not start; a whole round of them stops the tick
  // instead of retrying (and logging) every second for as long as nobody looks.
  int failed_in_row_ = 0;
};

}  // namespace vuvedid
