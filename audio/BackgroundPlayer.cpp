#include "audio/BackgroundPlayer.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/IntConvert.h"
#include "app/Logs.h"
#include "audio/PlaybackFailures.h"
#include "audio/PlaylistFolder.h"
#include "ui/MessageBoxes.h"
#include "ui/TForm_player.h"

namespace vuvedid {

namespace {

const QString kMissingFile = QStringLiteral("Файл не существует");
const QString kEmptyPlaylist = QStringLiteral("Плейлист пуст ");
const QString kNothingPlayable = QStringLiteral("Нет воспроизводимых файлов в плейлисте ");

QString fileNamePart(const QString& path) {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

BackgroundPlayer::BackgroundPlayer(TForm_player& form, IAudioLibrary& audio)
    : form_(form), audio_(audio) {
  random.randomize();
}

int BackgroundPlayer::defaultVolume() const { return form_.vol_default->value(); }

void BackgroundPlayer::Player() { play(false); }

BackgroundPlayer::Outcome BackgroundPlayer::play(bool fromTick) {
  const QString path = form_.efilename->text();
  if (fone_state != 2) {
    if (!soundFileExists(path)) {
      if (!fromTick || !missing_box_shown_) {
        // Set before the box opens: ticks go on being delivered while it is open.
        if (fromTick) missing_box_shown_ = true;
        form_.services.boxes->show(BoxIcon::None, QStringLiteral("Vuvedid"), kMissingFile);
      }
      form_.logs->playbackFailure(kMissingFileLine);
      return Outcome::Missing;
    }
    audio_.ChannelStop(fone_chan);
    audio_.StreamFree(fone_chan);
    fone_chan = audio_.StreamCreateFile(path);
    if (fone_chan == 0) {
      form_.logs->playbackFailure(kLoadFailedLine);
      return Outcome::LoadFailed;
    }
    audio_.ChannelSetDucked(fone_chan, true);  // the music gives way to effects and speech
  }
  form_.setWindowTitle(fileNamePart(path));
  if (!audio_.ChannelPlay(fone_chan, false)) {
    form_.logs->playbackFailure(kPlayFailedLine);
    return Outcome::PlayFailed;
  }
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(defaultVolume()) / 100.0f);
  fone_state = 1;
  failed_in_row_ = 0;
  return Outcome::Played;
}

void BackgroundPlayer::countdownStart(bool withProgress) {
  if (fone_state == 2) {
    form_.timer3->setEnabled(true);
    return;
  }
  const std::uint64_t length = audio_.ChannelGetLength(fone_chan);
  track_len_bytes = static_cast<std::uint32_t>(length);
  if (length == std::numeric_limits<std::uint64_t>::max()) {
    // No stream (a failed creation, or none yet): nothing to count down, and a negative
    // length must never reach the progress bar.
    track_len_sec = 0;
  } else if (track_len_bytes != 0) {
    const double seconds = audio_.ChannelBytes2Seconds(fone_chan, track_len_bytes);
    if (!(seconds >= 0))
      track_len_sec = 0;
    else
      track_len_sec = static_cast<std::int32_t>(std::min(seconds, 2147483647.0));
  }
  form_.l_time->setText(QString::number(track_len_sec));
  form_.timer3->setEnabled(true);
  if (withProgress) {
    // A zero maximum would turn the bar into a busy indicator; an empty bar says "0".
    form_.pb1->setMaximum(std::max(track_len_sec, 1));
    form_.pb1->setValue(0);
  }
}

void BackgroundPlayer::timer3Timer() {
  const int left = tryStrToInt(form_.l_time->text()).value_or(0) - 1;
  form_.l_time->setText(QString::number(left));
  if (form_.pb1->value() < form_.pb1->maximum()) form_.pb1->setValue(form_.pb1->value() + 1);
  if (left <= 0) {
    form_.pb1->setValue(0);
    form_.timer3->setEnabled(false);
    form_.l_time->setText(QStringLiteral("0"));
    fone_state = 0;
  }
}

void BackgroundPlayer::Timer_playfoneTimer() {
  if (audio_.ChannelIsActive(fone_chan) != ACTIVE_STOPPED) return;
  const int count = form_.ListBox1->count();
  if (count == 0) {
    // Nothing to play (an empty room, or resume before any playlist): say so once and
    // stop ticking until a play or resume command enables the tick again.
    form_.Timer_playfone->setEnabled(false);
    form_.logs->playbackFailure(kEmptyPlaylist);
    return;
  }
  if (track_no < 0 || track_no >= count) track_no = 0;
  form_.efilename->setText(form_.ListBox1->item(track_no)->text());
  form_.l_numtrack->setText(QString::number(track_no + 1));
  ++track_no;
  if (track_no > count - 1) track_no = 0;

  // The library reports the channel idle, so a paused state is stale (the paused track was
  // stopped by "next"): the new entry must be loaded, not the old track continued.
  if (fone_state == 2) fone_state = 0;
  const Outcome outcome = play(true);
  countdownStart(true);
  const int volume = cmd_volume != 0 ? cmd_volume : defaultVolume();
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(volume) / 100.0f);

  if (outcome != Outcome::Played && ++failed_in_row_ >= form_.ListBox1->count()) {
    // Every entry has failed in a row: retrying each second would only fill the log.
    failed_in_row_ = 0;
    form_.Timer_playfone->setEnabled(false);
    form_.logs->playbackFailure(kNothingPlayable);
  }
}

void BackgroundPlayer::playmusfoldername() {
  track_no = 0;
  const FolderListing listing = listMp3Folder(form_.folder_m->text() + QLatin1Char('/') + room);
  form_.FileListBox1->setDirectory(listing.folder);
  form_.FileListBox1->setMask(QStringLiteral("*.mp3"));
  form_.FileListBox1->setEntries(listing.names);
  const QDir dir(listing.folder);
  form_.ListBox1->clear();
  for (const QString& name : listing.names) form_.ListBox1->addItem(dir.filePath(name));
  missing_box_shown_ = false;
  failed_in_row_ = 0;
  if (form_.chbx_shufle->isChecked()) form_.btn_shufleClick();
  form_.Timer_playfone->setEnabled(true);
}

void BackgroundPlayer::btn_shufleClick() {
  QListWidget& list = *form_.ListBox1;
  QListWidget& scratch = *form_.ListBox2;
  scratch.clear();
  while (list.count() > 0) {
    const int r = static_cast<int>(random.next(static_cast<std::uint32_t>(list.count())));
    scratch.addItem(list.item(r)->text());
    delete list.takeItem(r);
  }
  list.clear();
  for (int i = 0; i < scratch.count(); ++i) list.addItem(scratch.item(i)->text());
}

void BackgroundPlayer::setlevel1(const QString& lev1) {
  const int volume = StrToInt(lev1);
  cmd_volume = volume;
  form_.JvTrackBar1->setValue(std::clamp(volume, 0, 100));
  form_.l_volume->setText(lev1);
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(volume) / 100.0f);
}

void BackgroundPlayer::JvTrackBar1Change() {
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(form_.JvTrackBar1->value()) / 100.0f);
}

void BackgroundPlayer::btn_playClick() {
  form_.l_stoped->setVisible(false);
  if (fone_state == 1) return;
  Player();
  countdownStart(false);
}

void BackgroundPlayer::btn_pauseClick() {
  if (fone_state != 1) return;
  form_.l_stoped->setVisible(true);
  audio_.ChannelPause(fone_chan);
  fone_state = 2;
  form_.timer3->setEnabled(false);
}

void BackgroundPlayer::btn_stopClick() {
  if (fone_state != 1) return;
  form_.l_stoped->setVisible(false);
  audio_.ChannelStop(fone_chan);
  fone_state = 0;
  form_.l_numtrack->setText(QStringLiteral("_"));
  form_.pb1->setValue(0);
  form_.timer3->setEnabled(false);
  form_.l_time->setText(QStringLiteral("0"));
  form_.Timer_playfone->setEnabled(false);
}

}  // namespace vuvedid
