#pragma once
// A room without a window and without sound: an audio library that keeps its streams as
// plain records, and views that keep the last thing each control was told to show.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <optional>
#include <vector>

#include "app/Logs.h"
#include "app/Problems.h"
#include "app/Settings.h"
#include "audio/AudioLibrary.h"
#include "audio/EffectsView.h"
#include "audio/PlayerView.h"
#include "commands/Room.h"
#include "commands/SpeechView.h"
#include "support/Doubles.h"

namespace vuvedid::test {

class FakeAudioLibrary final : public IAudioLibrary {
 public:
  // 16-bit stereo at 44.1 kHz, as the real layer reports lengths.
  static constexpr std::uint64_t kBytesPerSecond = 44100 * 4;

  struct Stream {
    QString path;
    int state = ACTIVE_STOPPED;
    float volume = 1.0f;
    bool ducked = false;
  };

  // Files that exist but do not decode, and the length (bytes) of those that do.
  QSet<QString> broken;
  QHash<QString, std::uint64_t> lengths;  // default: one second
  // Files whose length is first answered with this estimate, until measured() is called.
  QHash<QString, std::uint64_t> estimates;
  bool playFails = false;

  QHash<HSTREAM, Stream> streams;
  int created = 0;

  const Stream* stream(HSTREAM h) const {
    auto it = streams.constFind(h);
    return it == streams.cend() ? nullptr : &*it;
  }
  // The exact length of `path` is known from now on.
  void measured(const QString& path) { estimates.remove(path); }
  // The sound ends by itself.
  void finish(HSTREAM h) {
    if (auto it = streams.find(h); it != streams.end()) it->state = ACTIVE_STOPPED;
  }

  std::uint32_t GetVersion() noexcept override { return kAudioInterfaceVersion; }
  bool Init(int, int) noexcept override { return true; }
  HSTREAM StreamCreateFile(const QString& path) noexcept override {
    if (broken.contains(path)) return 0;
    const HSTREAM h = ++next_;
    streams.insert(h, Stream{path});
    ++created;
    return h;
  }
  bool ChannelPlay(HSTREAM h, bool) noexcept override {
    auto it = streams.find(h);
    if (it == streams.end() || playFails) return false;
    it->state = ACTIVE_PLAYING;
    return true;
  }
  bool ChannelPause(HSTREAM h) noexcept override {
    auto it = streams.find(h);
    if (it == streams.end() || it->state != ACTIVE_PLAYING) return false;
    it->state = ACTIVE_PAUSED;
    return true;
  }
  bool ChannelStop(HSTREAM h) noexcept override {
    auto it = streams.find(h);
    if (it == streams.end()) return false;
    it->state = ACTIVE_STOPPED;
    return true;
  }
  bool StreamFree(HSTREAM h) noexcept override { return streams.remove(h) > 0; }
  bool ChannelSetVolume(HSTREAM h, float volume) noexcept override {
    auto it = streams.find(h);
    if (it == streams.end()) return false;
    it->volume = volume;
    return true;
  }
  std::uint64_t ChannelGetLength(HSTREAM h) noexcept override {
    const Stream* s = stream(h);
    if (!s) return ~std::uint64_t{0};
    if (auto it = estimates.constFind(s->path); it != estimates.cend()) return *it;
    return lengths.value(s->path, kBytesPerSecond);
  }
  bool ChannelLengthFinal(HSTREAM h) noexcept override {
    const Stream* s = stream(h);
    return !s || !estimates.contains(s->path);
  }
  double ChannelBytes2Seconds(HSTREAM h, std::uint64_t bytes) noexcept override {
    if (!stream(h)) return -1;
    return static_cast<double>(bytes) / kBytesPerSecond;
  }
  int ChannelIsActive(HSTREAM h) noexcept override {
    const Stream* s = stream(h);
    return s ? s->state : ACTIVE_STOPPED;
  }
  QString ChannelGetFileName(HSTREAM h) noexcept override {
    const Stream* s = stream(h);
    return s ? s->path : QString();
  }
  void ChannelSetDucked(HSTREAM h, bool ducked) noexcept override {
    if (auto it = streams.find(h); it != streams.end()) it->ducked = ducked;
  }
  bool Stop() noexcept override {
    for (Stream& s : streams) s.state = ACTIVE_STOPPED;
    return true;
  }
  bool Free() noexcept override {
    streams.clear();
    return true;
  }

 private:
  HSTREAM next_ = 0;
};

// The last value each of the room's controls was given.
class RecordingRoomView final : public PlayerView, public EffectsView, public SpeechView {
 public:
  QString title;
  QString listedFolder;
  QStringList listedNames, playlist, shuffled;
  QString track;
  QString trackNumber = QStringLiteral("0");
  int timeLeft = 0;
  int progress = 0, progressMax = 100;
  bool paused = false;
  std::optional<int> volumeBar;
  QString volumeText;
  QString room;
  std::array<QString, 4> effectFiles;
  QString speechText;

  void showTitle(const QString& text) override { title = text; }
  void showListing(const QString& folder, const QStringList& names) override {
    listedFolder = folder;
    listedNames = names;
  }
  void showPlaylist(const QStringList& paths) override { playlist = paths; }
  void showShuffled(const QStringList& paths) override { shuffled = paths; }
  void showTrack(const QString& path) override { track = path; }
  void showTrackNumber(const QString& text) override { trackNumber = text; }
  void showTimeLeft(int seconds) override { timeLeft = seconds; }
  void showProgress(int value, int maximum) override {
    progress = value;
    progressMax = maximum;
  }
  void showPaused(bool on) override { paused = on; }
  void showVolume(int bar, const QString& text) override {
    volumeBar = bar;
    volumeText = text;
  }
  void showRoom(const QString& name) override { room = name; }
  void showEffectFile(int slot, const QString& path) override {
    effectFiles.at(static_cast<size_t>(slot - 1)) = path;
  }
  void showSpeechText(const QString& text) override { speechText = text; }
};

// A whole room on the doubles above: music under folder_m, signals under folder_s, both in
// a fresh temporary folder; boxes are recorded, log lines kept by the real Logs.
struct RoomRig {
  RoomRig() {
    settings.folder_m = dir.filePath(QStringLiteral("music"));
    settings.folder_s = dir.filePath(QStringLiteral("signals"));
    QDir().mkpath(settings.folder_m);
    QDir().mkpath(settings.folder_s);
  }
  // An empty file (the fake library needs no sound in it) at a path below the folder.
  QString file(const QString& relative) {
    const QString path = dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    return path;
  }
  // A room folder under folder_m with the named files; returns their paths in that order.
  QStringList roomFolder(const QString& name, const QStringList& files) {
    QDir().mkpath(settings.folder_m + QLatin1Char('/') + name);
    QStringList paths;
    for (const QString& f : files) paths << file(QStringLiteral("music/") + name + '/' + f);
    return paths;
  }
  QStringList protocol() const { return logs.lines(LogBox::Protocol); }
  QStringList boxTexts() const {
    QStringList t;
    for (const Box& b : boxes) t << b.text;
    return t;
  }

  QTemporaryDir dir;
  Settings settings;
  FixedClock clock;
  Logs logs{settings, clock};
  std::vector<Box> boxes;
  ProblemReporter problems{[this](BoxIcon icon, const QString& caption, const QString& text) {
    boxes.push_back({icon, caption, text});
  }};
  FakeAudioLibrary audio;
  RecordingRoomView view;
  RecordingSpeech speech;
  RecordingStarter starter;
  Room room{audio, speech, starter, logs, problems, RoomViews{view, view, view}, settings};
  BackgroundPlayer& bg = room.background;
  EffectChannels& fx = room.effects;
};

}  // namespace vuvedid::test
