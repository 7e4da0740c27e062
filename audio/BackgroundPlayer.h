#pragma once
// The background music channel: a room's playlist played track after track, with its
// countdown, progress, pause and volume. It owns its state and its two one-second timers;
// what the user should see goes to a PlayerView.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "app/Timer.h"
#include "audio/AudioLibrary.h"
#include "audio/DelphiRandom.h"

namespace vuvedid {

class Logs;
class PlayerView;
class ProblemReporter;
struct Settings;

// Runs one event handler the way the program runs every event (exceptions reported, the
// program carrying on); the default runs it bare.
using EventRunner = std::function<void(const std::function<void()>&)>;

class BackgroundPlayer {
 public:
  BackgroundPlayer(IAudioLibrary& audio, Logs& logs, ProblemReporter& problems, PlayerView& view,
                   const Settings& settings, EventRunner runEvent = {});

  HSTREAM fone_chan = 0;
  std::uint8_t fone_state = 0;  // 0 stopped, 1 playing, 2 paused
  std::int32_t track_no = 0;    // the playlist entry the next tick starts
  std::int32_t cmd_volume = 0;  // last volume command, 0 when none
  QString room;
  std::uint32_t track_len_bytes = 0;
  std::int32_t track_len_sec = 0;

  QStringList playlist;  // full paths in playing order
  QString track_path;    // the track Player starts (the user may type one too)
  int time_left = 0;     // seconds of the countdown
  int progress = 0;      // the progress bar's position, within 0 .. progress_max
  int progress_max = 100;

  DelphiRandom random;  // the shuffle's generator, seeded once at start

  // Starts the next playlist entry whenever the channel is silent.
  Timer Timer_playfone{1000};
  // Counts the current track's seconds down.
  Timer timer3{1000};

  // Continues a paused track, otherwise (re)starts track_path.
  void Player();
  // Lists folder_m/room into the playlist (shuffled when shufle is on) and enables
  // Timer_playfone. Throws FileError when the folder does not exist.
  void playmusfoldername();
  // Background volume from a text; throws ConvertError when it is no integer.
  void setlevel1(const QString& lev1);
  // The user's volume bar.
  void setBarVolume(int percent);
  void shuffle();
  void timer3Timer();
  void Timer_playfoneTimer();

  // The pieces the room's verbs are made of.
  void showRoom(const QString& name);
  // Reads the new track's length and starts the countdown (a paused track only resumes
  // it); withProgress also restarts the progress bar.
  void countdownStart(bool withProgress);
  // Countdown off, progress and seconds at zero.
  void countdownReset();
  // A playing channel pauses; any other state is left alone.
  void pauseChannel();
  void stopChannel();
  void showPaused(bool paused);
  void showStoppedTrack();
  // The countdown's seconds and the progress bar's position, kept and shown.
  void setTimeLeft(int seconds);
  void setProgress(int value);

 private:
  enum class Outcome { Played, Missing, LoadFailed, PlayFailed };
  // fromTick: the playlist tick shows the missing-file box once per playlist and only logs
  // further missing entries.
  Outcome play(bool fromTick);
  // The length of fone_chan into track_len_bytes and track_len_sec.
  void readTrackLength();
  // While the layer's length of the track is still an estimate, each countdown tick asks
  // again; the exact one moves the countdown (and the bar the countdown start set) by the
  // difference.
  void refineTrackLength();

  IAudioLibrary& audio_;
  Logs& logs_;
  ProblemReporter& problems_;
  PlayerView& view_;
  const Settings& settings_;
  // Entries in a row the tick could not start; a whole round of them stops the tick
  // instead of retrying (and logging) every second for as long as nobody looks.
  int failed_in_row_ = 0;
  bool length_pending_ = false;  // track_len_sec came from an estimate
  HSTREAM progress_chan_ = 0;    // the stream whose length set progress_max
};

}  // namespace vuvedid
