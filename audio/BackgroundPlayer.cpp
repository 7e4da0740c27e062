#include "audio/BackgroundPlayer.h"

#include "ui/TForm_player.h"

namespace vuvedid {

BackgroundPlayer::BackgroundPlayer(TForm_player& form, IAudioLibrary& audio)
    : form_(form), audio_(audio) {
  random.randomize();
}
void BackgroundPlayer::Player() {}
void BackgroundPlayer::playmusfoldername() {}
void BackgroundPlayer::setlevel1(const QString&) {}
void BackgroundPlayer::btn_shufleClick() {}
void BackgroundPlayer::btn_playClick() {}
void BackgroundPlayer::btn_pauseClick() {}
void BackgroundPlayer::btn_stopClick() {}
void BackgroundPlayer::JvTrackBar1Change() {}
void BackgroundPlayer::timer3Timer() {}
void BackgroundPlayer::Timer_playfoneTimer() {}

}  // namespace vuvedid
