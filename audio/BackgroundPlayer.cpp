#include "audio/BackgroundPlayer.h"

#include <QDir>
#include <algorithm>
#include <limits>

#include "app/IntConvert.h"
#include "app/Logs.h"
#include "app/Problems.h"
#include "app/Settings.h"
#include "app/Trace.h"
#include "audio/PlaybackFailures.h"
#include "audio/PlayerView.h"
#include "audio/PlaylistFolder.h"

namespace vuvedid {

namespace {

const QString kMissingFile = QStringLiteral("Файл не существует");
const QString kEmptyPlaylist = QStringLiteral("Плейлист пуст ");
const QString kNothingPlayable = QStringLiteral("Нет воспроизводимых файлов в плейлисте ");
// Missing playlist files must not stack modal boxes on an unattended machine (one per
// tick, or one per round of a room with a missing file): the tick shows the box once per
// playlist build and only logs the rest.
const QString kMissingInPlaylist = QStringLiteral("playlist: missing file");

QString fileNamePart(const QString& path) {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

BackgroundPlayer::BackgroundPlayer(IAudioLibrary& audio, Logs& logs, ProblemReporter& problems,
                                   PlayerView& view, const Settings& settings, EventRunner runEvent)
    : audio_(audio), logs_(logs), problems_(problems), view_(view), settings_(settings) {
  random.randomize();
  timer3.setObjectName(QStringLiteral("timer3"));
  Timer_playfone.setObjectName(QStringLiteral("Timer_playfone"));
  if (!runEvent) runEvent = [](const std::function<void()>& handler) { handler(); };
  QObject::connect(&timer3, &QTimer::timeout, &timer3,
                   [this, runEvent] { runEvent([this] { timer3Timer(); }); });
  QObject::connect(&Timer_playfone, &QTimer::timeout, &Timer_playfone, [this, runEvent] {
    runEvent([this] {
      const std::int64_t t0 = trace::on() ? trace::nowNs() : 0;
      Timer_playfoneTimer();
      if (t0 != 0) trace::mark("tick", t0, trace::nowNs() - t0);
    });
  });
}

void BackgroundPlayer::Player() { play(false); }

BackgroundPlayer::Outcome BackgroundPlayer::play(bool fromTick) {
  const QString path = track_path;
  if (fone_state != 2) {
    if (!soundFileExists(path)) {
      problems_.report(BoxIcon::None, QStringLiteral("Vuvedid"), kMissingFile,
                       fromTick ? kMissingInPlaylist : QString());
      logs_.playbackFailure(kMissingFileLine);
      return Outcome::Missing;
    }
    audio_.ChannelStop(fone_chan);
    audio_.StreamFree(fone_chan);
    fone_chan = audio_.StreamCreateFile(path);
    if (fone_chan == 0) {
      logs_.playbackFailure(kLoadFailedLine);
      return Outcome::LoadFailed;
    }
    audio_.ChannelSetDucked(fone_chan, true);  // the music gives way to effects and speech
  }
  view_.showTitle(fileNamePart(path));
  if (!audio_.ChannelPlay(fone_chan, false)) {
    logs_.playbackFailure(kPlayFailedLine);
    return Outcome::PlayFailed;
  }
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(settings_.vol_default) / 100.0f);
  fone_state = 1;
  failed_in_row_ = 0;
  return Outcome::Played;
}

void BackgroundPlayer::setTimeLeft(int seconds) {
  time_left = seconds;
  view_.showTimeLeft(seconds);
}

void BackgroundPlayer::setProgress(int value) {
  progress = value;
  view_.showProgress(progress, progress_max);
}

void BackgroundPlayer::readTrackLength() {
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
}

void BackgroundPlayer::countdownStart(bool withProgress) {
  if (fone_state == 2) {
    timer3.setEnabled(true);
    return;
  }
  // Asked before the length, so a length read as final is never an older estimate.
  length_pending_ = !audio_.ChannelLengthFinal(fone_chan);
  readTrackLength();
  setTimeLeft(track_len_sec);
  timer3.setEnabled(true);
  if (withProgress) {
    // A zero maximum would turn the bar into a busy indicator; an empty bar says "0".
    progress_max = std::max(track_len_sec, 1);
    progress_chan_ = fone_chan;
    setProgress(0);
  }
}

void BackgroundPlayer::refineTrackLength() {
  if (!length_pending_ || !audio_.ChannelLengthFinal(fone_chan)) return;
  length_pending_ = false;
  const std::int32_t before = track_len_sec;
  readTrackLength();
  if (track_len_sec == before) return;
  const std::int64_t left = std::int64_t{time_left} + track_len_sec - before;
  time_left = static_cast<int>(std::clamp<std::int64_t>(left, 0, 2147483647));
  if (progress_chan_ == fone_chan && progress_chan_ != 0) {
    progress_max = std::max(track_len_sec, 1);
    setProgress(std::min(progress, progress_max));
  }
}

void BackgroundPlayer::countdownReset() {
  timer3.setEnabled(false);
  setProgress(0);
  setTimeLeft(0);
}

void BackgroundPlayer::timer3Timer() {
  refineTrackLength();
  setTimeLeft(time_left - 1);
  if (progress < progress_max) setProgress(progress + 1);
  if (time_left <= 0) {
    countdownReset();
    fone_state = 0;
  }
}

void BackgroundPlayer::Timer_playfoneTimer() {
  if (audio_.ChannelIsActive(fone_chan) != ACTIVE_STOPPED) return;
  const int count = static_cast<int>(playlist.size());
  if (count == 0) {
    // Nothing to play (an empty room, or resume before any playlist): say so once and
    // stop ticking until a play or resume command enables the tick again.
    Timer_playfone.setEnabled(false);
    logs_.playbackFailure(kEmptyPlaylist);
    return;
  }
  if (track_no < 0 || track_no >= count) track_no = 0;
  track_path = playlist.at(track_no);
  view_.showTrack(track_path);
  view_.showTrackNumber(QString::number(track_no + 1));
  ++track_no;
  if (track_no > count - 1) track_no = 0;

  // The library reports the channel idle, so a paused state is stale (the paused track was
  // stopped by "next"): the new entry must be loaded, not the old track continued.
  if (fone_state == 2) fone_state = 0;
  const Outcome outcome = play(true);
  countdownStart(true);
  const int volume = cmd_volume != 0 ? cmd_volume : settings_.vol_default;
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(volume) / 100.0f);

  if (outcome != Outcome::Played && ++failed_in_row_ >= playlist.size()) {
    // Every entry has failed in a row: retrying each second would only fill the log.
    failed_in_row_ = 0;
    Timer_playfone.setEnabled(false);
    logs_.playbackFailure(kNothingPlayable);
  }
}

void BackgroundPlayer::playmusfoldername() {
  track_no = 0;
  const FolderListing listing = listMp3Folder(settings_.folder_m + QLatin1Char('/') + room);
  view_.showListing(listing.folder, listing.names);
  const QDir dir(listing.folder);
  playlist.clear();
  for (const QString& name : listing.names) playlist << dir.filePath(name);
  view_.showPlaylist(playlist);
  problems_.rearm(kMissingInPlaylist);
  failed_in_row_ = 0;
  if (settings_.shufle) shuffle();
  Timer_playfone.setEnabled(true);
}

void BackgroundPlayer::shuffle() {
  // Entries drawn one by one from what is left, so every order is reachable and the same
  // seed gives the same order.
  QStringList left = playlist;
  QStringList order;
  order.reserve(left.size());
  while (!left.isEmpty()) {
    const int r = static_cast<int>(random.next(static_cast<std::uint32_t>(left.size())));
    order << left.takeAt(r);
  }
  view_.showShuffled(order);
  playlist = order;
  view_.showPlaylist(playlist);
}

void BackgroundPlayer::setlevel1(const QString& lev1) {
  const int volume = StrToInt(lev1);
  cmd_volume = volume;
  view_.showVolume(std::clamp(volume, 0, 100), lev1);
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(volume) / 100.0f);
}

void BackgroundPlayer::setBarVolume(int percent) {
  audio_.ChannelSetVolume(fone_chan, static_cast<float>(percent) / 100.0f);
}

void BackgroundPlayer::showRoom(const QString& name) {
  room = name;
  view_.showRoom(room);
}

void BackgroundPlayer::pauseChannel() {
  if (fone_state != 1) return;
  audio_.ChannelPause(fone_chan);
  fone_state = 2;
}

void BackgroundPlayer::stopChannel() { audio_.ChannelStop(fone_chan); }

void BackgroundPlayer::showPaused(bool paused) { view_.showPaused(paused); }

void BackgroundPlayer::showStoppedTrack() { view_.showTrackNumber(QStringLiteral("_")); }

}  // namespace vuvedid
