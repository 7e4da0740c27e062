// The SDL audio layer with real files on SDL's dummy driver (silent real time) and its disk
// driver (the mixed output written to a file we can measure).
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/Trace.h"
#include "audio/AudioDecoder.h"
#include "audio/SdlAudioLibrary.h"
#include "support/Broker.h"
#include "support/ScopedEnv.h"
#include "support/SoundFiles.h"

namespace vuvedid::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kNoLength = ~std::uint64_t{0};

bool writeBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray randomBytes(int n, unsigned seed) {
  std::mt19937 gen(seed);
  QByteArray b(n, '\0');
  for (auto& c : b) c = static_cast<char>(gen() & 0xff);
  return b;
}

// A 16-bit stereo WAV of a quiet sine, written directly: quicker than sox for long files.
bool writeLongWav(const QString& path, int seconds) {
  const std::uint32_t frames = std::uint32_t(seconds) * 44100;
  const std::uint32_t dataBytes = frames * 4;
  const QByteArray head = wavHeader(dataBytes);
  // 100 periods of 441 Hz fill one second exactly.
  QByteArray second(44100 * 4, '\0');
  auto* pcm = reinterpret_cast<std::int16_t*>(second.data());
  for (int i = 0; i < 44100; ++i)
    pcm[2 * i] = pcm[2 * i + 1] = std::int16_t(3000 * std::sin(2 * M_PI * 441 * i / 44100.0));
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size()) return false;
  for (int s = 0; s < seconds; ++s)
    if (f.write(second) != second.size()) return false;
  return true;
}

bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::int64_t residentBytes() {
  QFile f(QStringLiteral("/proc/self/statm"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const QList<QByteArray> parts = f.readAll().split(' ');
  return parts.size() > 1 ? parts[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// Playing, or waiting for the decoder on a machine under load: either way not ended.
bool sounding(SdlAudioLibrary& lib, HSTREAM h) {
  const int a = lib.ChannelIsActive(h);
  return a == ACTIVE_PLAYING || a == ACTIVE_STALLED;
}

class AudioLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(lib.Init(-1, 44100));
  }

  QString path(const QString& name) const { return dir.filePath(name); }

  QString tone(const QString& name, double seconds, int rate = 44100, double freq = 440,
               double amplitude = 0.5, bool vbrNoTag = false) {
    const QString p = path(name);
    EXPECT_TRUE(toneFile(p, seconds, rate, freq, amplitude, vbrNoTag)) << name.toStdString();
    return p;
  }

  // The length once the layer has measured it: the first answer may be an estimate.
  std::uint64_t finalLength(HSTREAM h) {
    lib.ChannelGetLength(h);
    EXPECT_TRUE(waitUntil([&] { return lib.ChannelLengthFinal(h); }, 20s)) << "never measured";
    return lib.ChannelGetLength(h);
  }

  QTemporaryDir dir;
  SdlAudioLibrary lib;
};

TEST_F(AudioLibraryTest, StreamGoesThroughPlayPauseStopAndEnd) {
  const QString file = tone(QStringLiteral("a.wav"), 0.5);
  const HSTREAM h = lib.StreamCreateFile(file);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(lib.ChannelGetFileName(h), file);
  EXPECT_EQ(lib.ChannelIsActive(h), ACTIVE_STOPPED) << "a new stream waits at its start";

  const auto play = [&] { return lib.ChannelPlay(h, false); };
  const auto pause = [&] { return lib.ChannelPause(h); };
  const auto stop = [&] { return lib.ChannelStop(h); };
  struct Step {
    const char* what;
    std::function<bool()> op;
    bool result;
    int active;
  };
  const Step steps[] = {
      {"play a new stream", play, true, ACTIVE_PLAYING},
      {"pause", pause, true, ACTIVE_PAUSED},
      {"pause a paused stream", pause, false, ACTIVE_PAUSED},
      {"resume", play, true, ACTIVE_PLAYING},
      {"play a playing stream", play, true, ACTIVE_PLAYING},
      {"amplify", [&] { return lib.ChannelSetVolume(h, 1.5f); }, true, ACTIVE_PLAYING},
      {"volume that is no number", [&] { return lib.ChannelSetVolume(h, NAN); }, false,
       ACTIVE_PLAYING},
      {"stop", stop, true, ACTIVE_STOPPED},
      {"pause a stopped stream", pause, false, ACTIVE_STOPPED},
      {"stop again", stop, true, ACTIVE_STOPPED},
      {"play after stop", play, true, ACTIVE_PLAYING},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    EXPECT_EQ(s.op(), s.result);
    EXPECT_EQ(lib.ChannelIsActive(h), s.active);
  }

  ASSERT_TRUE(waitUntil([&] { return lib.ChannelIsActive(h) == ACTIVE_STOPPED; }, 3s))
      << "the stream never ended";
  EXPECT_FALSE(lib.ChannelPause(h)) << "an ended stream has nothing to pause";
  EXPECT_EQ(lib.ChannelGetFileName(h), file) << "an ended stream is still a stream";
  EXPECT_TRUE(lib.ChannelPlay(h, false)) << "an ended stream plays again";
  EXPECT_EQ(lib.ChannelIsActive(h), ACTIVE_PLAYING);
  EXPECT_TRUE(lib.StreamFree(h));
}

TEST_F(AudioLibraryTest, HandlesThatNameNoStreamFailHarmlessly) {
  const QString file = tone(QStringLiteral("a.wav"), 0.3);
  const HSTREAM freed = lib.StreamCreateFile(file);
  ASSERT_NE(freed, 0u);
  ASSERT_TRUE(lib.StreamFree(freed));
  const HSTREAM next = lib.StreamCreateFile(file);
  EXPECT_NE(next, 0u);
  EXPECT_NE(next, freed) << "a freed handle must not name the next stream";

  const struct {
    const char* what;
    HSTREAM h;
  } cases[] = {{"zero", 0}, {"never made", 0xDEADBEEFu}, {"freed", freed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(lib.ChannelPlay(c.h, false));
    EXPECT_FALSE(lib.ChannelPlay(c.h, true));
    EXPECT_FALSE(lib.ChannelPause(c.h));
    EXPECT_FALSE(lib.ChannelStop(c.h));
    EXPECT_FALSE(lib.ChannelSetVolume(c.h, 0.5f));
    EXPECT_EQ(lib.ChannelGetLength(c.h), kNoLength);
    EXPECT_LT(lib.ChannelBytes2Seconds(c.h, 1000), 0);
    EXPECT_EQ(lib.ChannelIsActive(c.h), ACTIVE_STOPPED);
    EXPECT_TRUE(lib.ChannelGetFileName(c.h).isEmpty());
    EXPECT_FALSE(lib.StreamFree(c.h));
  }
  // The other streams are untouched by all that.
  EXPECT_TRUE(lib.ChannelPlay(next, false));
  EXPECT_EQ(lib.ChannelIsActive(next), ACTIVE_PLAYING);
}

TEST_F(AudioLibraryTest, FreeReleasesEverythingAndInitStartsAgain) {
  const QString file = tone(QStringLiteral("a.wav"), 0.3);
  const HSTREAM h = lib.StreamCreateFile(file);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(lib.ChannelPlay(h, false));
  EXPECT_TRUE(lib.Stop());
  EXPECT_EQ(lib.ChannelIsActive(h), ACTIVE_STOPPED) << "output stopped: every channel silent";
  // Playing again starts the output again: the stream comes to its end.
  EXPECT_TRUE(lib.ChannelPlay(h, false));
  EXPECT_TRUE(waitUntil([&] { return lib.ChannelIsActive(h) == ACTIVE_STOPPED; }, 3s));
  EXPECT_TRUE(lib.Free());

  EXPECT_EQ(lib.ChannelIsActive(h), ACTIVE_STOPPED);
  EXPECT_TRUE(lib.ChannelGetFileName(h).isEmpty());
  EXPECT_FALSE(lib.ChannelPlay(h, false));
  EXPECT_EQ(lib.StreamCreateFile(file), 0u) << "no output, no streams";
  EXPECT_FALSE(lib.Stop());
  EXPECT_FALSE(lib.Free());

  ASSERT_TRUE(lib.Init(-1, 44100));
  const HSTREAM again = lib.StreamCreateFile(file);
  EXPECT_NE(again, 0u);
  EXPECT_NE(again, h);
  EXPECT_TRUE(lib.ChannelPlay(again, false));
  EXPECT_EQ(lib.ChannelIsActive(again), ACTIVE_PLAYING);
}

TEST_F(AudioLibraryTest, InitFailsHonestlyWhenNoOutputOpens) {
  const QString file = tone(QStringLiteral("a.wav"), 0.3);
  // SDL's dummy driver (the suite's) has a single device.
  if (std::string(SDL_GetCurrentAudioDriver()) == "dummy") {
    SCOPED_TRACE("the only device of the driver is taken");
    SdlAudioLibrary second;
    EXPECT_FALSE(second.Init(-1, 44100));
    EXPECT_EQ(second.StreamCreateFile(file), 0u);
    EXPECT_FALSE(second.Stop());
  }
  ASSERT_TRUE(lib.Free());
  {
    SCOPED_TRACE("no such audio driver");
    ScopedEnv driver("SDL_AUDIODRIVER", QStringLiteral("no-such-driver"));
    EXPECT_FALSE(lib.Init(-1, 44100));
    EXPECT_EQ(lib.StreamCreateFile(file), 0u);
    EXPECT_FALSE(lib.Free());
  }
  for (const auto& [device, freq] : {std::pair{0, 44100}, {-1, 0}, {9999, 44100}}) {
    SCOPED_TRACE(testing::Message() << "device " << device << ", " << freq << " Hz");
    EXPECT_FALSE(lib.Init(device, freq));
  }
  EXPECT_TRUE(lib.Init(-1, 44100)) << "a failed attempt leaves nothing behind";
  EXPECT_NE(lib.StreamCreateFile(file), 0u);
}

TEST_F(AudioLibraryTest, OutputLeavesStopSignalsToTheProcess) {
  ASSERT_TRUE(lib.Free());
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  struct sigaction oldInt {};
  struct sigaction oldTerm {};
  sigaction(SIGINT, &dfl, &oldInt);
  sigaction(SIGTERM, &dfl, &oldTerm);
  ASSERT_TRUE(lib.Init(-1, 44100));
  struct sigaction nowInt {};
  struct sigaction nowTerm {};
  sigaction(SIGINT, nullptr, &nowInt);
  sigaction(SIGTERM, nullptr, &nowTerm);
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  EXPECT_EQ(nowInt.sa_handler, SIG_DFL) << "Ctrl+C would no longer end the program";
  EXPECT_EQ(nowTerm.sa_handler, SIG_DFL) << "a service stop would no longer end the program";
}

TEST_F(AudioLibraryTest, LengthIsExactAtTheFilesOwnRateAndChannels) {
  // A VBR mp3 without its header tag and a quiet start: any estimate from the first frames
  // or the file size is far off; only reading every frame header gets it. Without the tag
  // the decoder cannot drop the encoder's delay and padding, hence the small excess.
  const QString silentStartWav = path(QStringLiteral("quiet-start.wav"));
  ASSERT_TRUE(
      runTool(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", "-b", "16", silentStartWav,
                                      "synth", "3", "sine", "440", "vol", "0.5", "pad", "3", "0"}));
  const QString silentStartMp3 = path(QStringLiteral("quiet-start.mp3"));
  ASSERT_TRUE(
      runTool(QStringLiteral("lame"), {"--quiet", "-V2", "-t", silentStartWav, silentStartMp3}));
  // Music files often carry a large tag in front of the audio.
  const QString plain = tone(QStringLiteral("plain.wav"), 1.0);
  const QString tagged = path(QStringLiteral("tagged.mp3"));
  ASSERT_TRUE(
      runTool(QStringLiteral("lame"), {"--quiet", "-b", "128", "--tt", "Title", "--ta", "Artist",
                                       "--pad-id3v2-size", "60000", plain, tagged}));
  const QString mono = path(QStringLiteral("mono.wav"));
  ASSERT_TRUE(runTool(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "1", mono, "synth", "0.7",
                                              "sine", "440", "vol", "0.5"}));

  const struct {
    QString file;
    int rate;
    int channels;
    double seconds;
    double excess;  // allowed extra seconds; 0 = exact to the frame
  } cases[] = {
      {tone(QStringLiteral("a.wav"), 1.5), 44100, 2, 1.5, 0},
      {mono, 44100, 1, 0.7, 0},
      {tone(QStringLiteral("b.flac"), 1.25, 48000), 48000, 2, 1.25, 0},
      {tone(QStringLiteral("c.ogg"), 1.0), 44100, 2, 1.0, 0},
      {tone(QStringLiteral("d.aiff"), 0.8, 22050), 22050, 2, 0.8, 0},
      {tone(QStringLiteral("e.mp3"), 1.0), 44100, 2, 1.0, 0},
      {tone(QStringLiteral("f.mp3"), 1.0, 48000), 48000, 2, 1.0, 0},
      {tagged, 44100, 2, 1.0, 0},
      {tone(QStringLiteral("g.mp3"), 2.0, 44100, 440, 0.5, true), 44100, 2, 2.0, 0.06},
      {silentStartMp3, 44100, 2, 6.0, 0.06},
  };
  std::vector<HSTREAM> handles;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    const HSTREAM h = lib.StreamCreateFile(c.file);
    ASSERT_NE(h, 0u);
    handles.push_back(h);
    const std::uint64_t bytes = finalLength(h);
    const std::uint64_t bytesPerSecond = std::uint64_t(c.rate) * c.channels * 2;
    const auto exact =
        static_cast<std::uint64_t>(std::llround(c.seconds * c.rate)) * c.channels * 2;
    if (c.excess == 0) {
      EXPECT_EQ(bytes, exact);
    } else {
      EXPECT_GE(bytes, exact);
      EXPECT_LE(bytes, exact + std::uint64_t(c.excess * bytesPerSecond));
    }
    EXPECT_EQ(bytes % (std::uint64_t(c.channels) * 2), 0u) << "whole 16-bit frames";
    EXPECT_NEAR(lib.ChannelBytes2Seconds(h, bytes), c.seconds, c.excess + 1e-9);
    EXPECT_DOUBLE_EQ(lib.ChannelBytes2Seconds(h, bytesPerSecond), 1.0);
  }
  // Every kind decodes in play, all of them mixed at once.
  for (HSTREAM h : handles) EXPECT_TRUE(lib.ChannelPlay(h, false));
  std::this_thread::sleep_for(150ms);
  for (HSTREAM h : handles) EXPECT_TRUE(sounding(lib, h)) << h;
}

TEST_F(AudioLibraryTest, LongVbrMp3WithoutTagReportsItsRealLength) {
  const HSTREAM h =
      lib.StreamCreateFile(tone(QStringLiteral("long.mp3"), 215.9, 44100, 440, 0.05, true));
  ASSERT_NE(h, 0u);
  const double seconds = lib.ChannelBytes2Seconds(h, finalLength(h));
  EXPECT_GE(seconds, 215.9);
  EXPECT_LT(seconds, 215.96);
}

TEST_F(AudioLibraryTest, VbrLengthBecomesWhatTheStreamPlays) {
  // Three seconds of silence, then a tone, VBR without a header tag: its frames differ in
  // size, so the file's start tells its length only roughly.
  const QString wav = path(QStringLiteral("quiet-start.wav"));
  ASSERT_TRUE(
      runTool(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "5",
                                      "sine", "440", "vol", "0.5", "pad", "3", "0"}));
  const QString mp3 = path(QStringLiteral("quiet-start.mp3"));
  ASSERT_TRUE(runTool(QStringLiteral("lame"), {"--quiet", "-V2", "-t", wav, mp3}));
  auto decoder = AudioDecoder::open(mp3);
  ASSERT_NE(decoder, nullptr);
  std::uint64_t decoded = 0;
  std::vector<float> buffer(2 * 4096);
  while (const std::size_t n = decoder->readStereo(buffer.data(), 4096)) decoded += n;

  // Freed while its length is being measured, then made again: the second is measured too.
  const HSTREAM early = lib.StreamCreateFile(mp3);
  ASSERT_NE(early, 0u);
  lib.ChannelGetLength(early);
  lib.StreamFree(early);
  EXPECT_TRUE(lib.ChannelLengthFinal(early)) << "no stream has no pending length";

  const HSTREAM h = lib.StreamCreateFile(mp3);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(lib.ChannelPlay(h, false));
  EXPECT_EQ(finalLength(h), decoded * 4);
  EXPECT_EQ(finalLength(h), std::uint64_t(AudioDecoder::exactFrames(mp3)) * 4);
  EXPECT_TRUE(sounding(lib, h));
}

TEST_F(AudioLibraryTest, FilesThatAreNoSoundGiveNoStream) {
  const QString wav = tone(QStringLiteral("ok.wav"), 0.5);
  QFile whole(wav);
  ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
  const QByteArray wavBytes = whole.readAll();
  const QString mp3 = tone(QStringLiteral("ok.mp3"), 0.5);
  QFile wholeMp3(mp3);
  ASSERT_TRUE(wholeMp3.open(QIODevice::ReadOnly));
  const QByteArray mp3Bytes = wholeMp3.readAll();
  const QString noFrames = path(QStringLiteral("no-frames.wav"));
  ASSERT_TRUE(
      runTool(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", noFrames, "trim", "0", "0"}));

  const struct {
    const char* name;
    QByteArray content;  // written as the file; a null array writes nothing
  } files[] = {
      {"empty.mp3", QByteArray("")},
      {"random.mp3", randomBytes(64 * 1024, 1)},
      {"random.bin", randomBytes(300 * 1024, 2)},
      {"tiny.wav", randomBytes(3, 3)},
      {"notes.txt", QByteArray("play:room1\nvolume:50\n")},
      {"text-named.mp3", QByteArray("This is no sound at all.\n").repeated(500)},
      {"header-only.wav", wavBytes.left(44)},
      {"mp3-header-only.mp3", mp3Bytes.left(200)},
  };
  QStringList bad;
  for (const auto& f : files) {
    const QString p = path(QString::fromLatin1(f.name));
    ASSERT_TRUE(writeBytes(p, f.content)) << f.name;
    bad << p;
  }
  bad << noFrames << path(QStringLiteral("missing.mp3")) << dir.path()
      << wav + QStringLiteral("/under-a-file.mp3") << QString();
  for (const QString& p : bad) EXPECT_EQ(lib.StreamCreateFile(p), 0u) << p.toStdString();
  EXPECT_NE(lib.StreamCreateFile(wav), 0u) << "the good file beside them still opens";
}

TEST_F(AudioLibraryTest, DamagedButDecodableFilesStillPlay) {
  const QString mp3 = tone(QStringLiteral("ok.mp3"), 1.0);
  QFile f(mp3);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray bytes = f.readAll();
  f.close();
  const QByteArray truncated = bytes.left(bytes.size() / 2);
  QByteArray holed = bytes;
  const QByteArray noise = randomBytes(1500, 4);
  holed.replace(holed.size() / 2, noise.size(), noise);
  const struct {
    const char* name;
    QByteArray content;
  } files[] = {{"truncated.mp3", truncated}, {"holed.mp3", holed}};
  for (const auto& c : files) {
    SCOPED_TRACE(c.name);
    const QString p = path(QString::fromLatin1(c.name));
    ASSERT_TRUE(writeBytes(p, c.content));
    const HSTREAM h = lib.StreamCreateFile(p);
    ASSERT_NE(h, 0u);
    EXPECT_NE(lib.ChannelGetLength(h), kNoLength);
    EXPECT_TRUE(lib.ChannelPlay(h, false));
    EXPECT_TRUE(waitUntil([&] { return lib.ChannelIsActive(h) == ACTIVE_STOPPED; }, 3s))
        << "a damaged file must still come to its end";
  }
}

TEST_F(AudioLibraryTest, LargeFilesAreStreamedNotHeldInMemory) {
  // 110 s of 16-bit stereo: 19 MB on disk, 39 MB as float samples.
  const QString bigWav = path(QStringLiteral("big.wav"));
  ASSERT_TRUE(writeLongWav(bigWav, 110));
  // MPEG frames simply follow each other: 1100 copies of a tagless 1 s mp3 make an
  // 18 MB file whose length is 1100 times the copy's.
  const QString oneSecond = tone(QStringLiteral("one.wav"), 1.0);
  const QString copyMp3 = path(QStringLiteral("copy.mp3"));
  ASSERT_TRUE(runTool(QStringLiteral("lame"), {"--quiet", "-b", "128", "-t", oneSecond, copyMp3}));
  const HSTREAM copy = lib.StreamCreateFile(copyMp3);
  ASSERT_NE(copy, 0u);
  const std::uint64_t copyLength = finalLength(copy);
  lib.StreamFree(copy);
  QFile copyFile(copyMp3);
  ASSERT_TRUE(copyFile.open(QIODevice::ReadOnly));
  const QString bigMp3 = path(QStringLiteral("big.mp3"));
  ASSERT_TRUE(writeBytes(bigMp3, copyFile.readAll().repeated(1100)));

  const struct {
    QString file;
    std::uint64_t length;
  } cases[] = {
      {bigWav, std::uint64_t(110) * 44100 * 4},
      {bigMp3, 1100 * copyLength},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    const std::int64_t before = residentBytes();
    const HSTREAM h = lib.StreamCreateFile(c.file);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(lib.ChannelPlay(h, false));
    EXPECT_EQ(finalLength(h), c.length);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(sounding(lib, h));
    const std::int64_t grown = residentBytes() - before;
    EXPECT_LT(grown, 12 * 1024 * 1024) << "resident memory grew by " << grown << " bytes";
    lib.StreamFree(h);
  }
}

TEST_F(AudioLibraryTest, TraceNotesPlayAndFirstSoundOnlyWhenAsked) {
  const QString file = tone(QStringLiteral("a.wav"), 0.5);
  const HSTREAM quiet = lib.StreamCreateFile(file);
  ASSERT_TRUE(lib.ChannelPlay(quiet, false));
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(lib.traceEnabled());
  EXPECT_EQ(lib.playCalledNs(quiet), 0);
  EXPECT_EQ(lib.firstSoundNs(quiet), 0);

  // SDL's dummy driver has one device: the traced session replaces the first.
  ASSERT_TRUE(lib.Free());
  {
    ScopedEnv trace("VUVEDID_AUDIO_TRACE", QStringLiteral("1"));
    ASSERT_TRUE(lib.Init(-1, 44100));
  }
  ASSERT_TRUE(lib.traceEnabled());
  const HSTREAM h = lib.StreamCreateFile(file);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(lib.playCalledNs(h), 0);
  ASSERT_TRUE(lib.ChannelPlay(h, false));
  EXPECT_TRUE(waitUntil([&] { return lib.firstSoundNs(h) != 0; }, 2s));
  EXPECT_GT(lib.playCalledNs(h), 0);
  EXPECT_GE(lib.firstSoundNs(h), lib.playCalledNs(h));
}

TEST_F(AudioLibraryTest, EndIsReportedOnceForAStreamThatPlaysOutAndNeverForOneCutShort) {
  struct End {
    HSTREAM h;
    std::int64_t endNs, seenNs;
  };
  std::mutex m;
  std::vector<End> ends;
  const auto steadyNs = [] { return trace::nowNs(); };
  lib.SetEndHandler([&](HSTREAM h, std::int64_t endNs) {
    const std::int64_t now = steadyNs();
    std::lock_guard<std::mutex> lk(m);
    ends.push_back({h, endNs, now});
  });
  auto count = [&] {
    std::lock_guard<std::mutex> lk(m);
    return ends.size();
  };
  const QString file = tone(QStringLiteral("a.wav"), 0.3);
  const HSTREAM played = lib.StreamCreateFile(file);
  const HSTREAM stopped = lib.StreamCreateFile(file);
  const HSTREAM paused = lib.StreamCreateFile(file);
  const HSTREAM freed = lib.StreamCreateFile(file);
  ASSERT_TRUE(played && stopped && paused && freed);
  const std::int64_t playedAt = steadyNs();
  for (HSTREAM h : {played, stopped, paused, freed}) ASSERT_TRUE(lib.ChannelPlay(h, false));
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(lib.ChannelStop(stopped));
  ASSERT_TRUE(lib.ChannelPause(paused));
  ASSERT_TRUE(lib.StreamFree(freed));

  ASSERT_TRUE(waitUntil([&] { return count() >= 1; }, 3s)) << "no end was reported";
  std::this_thread::sleep_for(500ms);  // long enough for a wrong second report
  {
    std::lock_guard<std::mutex> lk(m);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].h, played);
    // The end lies no earlier than the file's length after the play, whenever the report
    // itself comes.
    EXPECT_GE(ends[0].endNs - playedAt, 300'000'000);
    EXPECT_LT(ends[0].seenNs - playedAt, 3'000'000'000);
  }

  // Played again, it ends again; a stream played before any receiver was set is not
  // watched afterwards.
  ASSERT_TRUE(lib.ChannelPlay(played, true));
  ASSERT_TRUE(waitUntil([&] { return count() >= 2; }, 3s));
  lib.SetEndHandler(nullptr);
  ASSERT_TRUE(lib.ChannelPlay(played, true));
  ASSERT_TRUE(waitUntil([&] { return lib.ChannelIsActive(played) == ACTIVE_STOPPED; }, 3s));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(count(), 2u);
}

// ---- The mixed output, measured on SDL's disk driver ----

struct Burst {
  std::size_t from;  // frames
  std::size_t to;
  double seconds() const { return double(to - from) / 44100; }
};

// One session of the layer writing its output to a raw file (f32 stereo 44.1 kHz).
class DiskOutput {
 public:
  explicit DiskOutput(const QString& file)
      : file_(file),
        driver_("SDL_AUDIODRIVER", QStringLiteral("disk")),
        diskFile_("SDL_DISKAUDIOFILE", file) {
    ok_ = lib.Init(-1, 44100) && SDL_GetCurrentAudioDriver() &&
          std::string(SDL_GetCurrentAudioDriver()) == "disk";
  }
  bool ok() const { return ok_; }

  // Ends the session and reads what was written.
  std::vector<float> finish() {
    std::this_thread::sleep_for(80ms);  // the last buffers reach the file
    lib.Free();
    std::vector<float> samples;
    QFile f(file_);
    if (!f.open(QIODevice::ReadOnly)) return samples;
    const QByteArray raw = f.readAll();
    samples.resize(std::size_t(raw.size()) / sizeof(float));
    std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(float));
    return samples;
  }

  SdlAudioLibrary lib;

 private:
  QString file_;
  ScopedEnv driver_;
  ScopedEnv diskFile_;
  bool ok_ = false;
};

// Stretches of sound separated by at least 20 ms of exact silence.
std::vector<Burst> bursts(const std::vector<float>& s) {
  constexpr std::size_t kGap = 882;
  std::vector<Burst> out;
  const std::size_t frames = s.size() / 2;
  std::size_t silentRun = kGap;
  for (std::size_t i = 0; i < frames; ++i) {
    const bool sound = s[2 * i] != 0.0f || s[2 * i + 1] != 0.0f;
    if (sound) {
      if (silentRun >= kGap || out.empty())
        out.push_back({i, i + 1});
      else
        out.back().to = i + 1;
      silentRun = 0;
    } else {
      ++silentRun;
    }
  }
  return out;
}

double rms(const std::vector<float>& s, std::size_t fromFrame, std::size_t toFrame) {
  double sum = 0;
  for (std::size_t i = 2 * fromFrame; i < 2 * toFrame; ++i) sum += double(s[i]) * s[i];
  return toFrame > fromFrame ? std::sqrt(sum / double(2 * (toFrame - fromFrame))) : 0;
}

float peak(const std::vector<float>& s) {
  float p = 0;
  for (float v : s) p = std::max(p, std::fabs(v));
  return p;
}

class AudioOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString tone(const QString& name, double seconds, int rate = 44100, double freq = 440) {
    const QString p = dir.filePath(name);
    EXPECT_TRUE(toneFile(p, seconds, rate, freq, 0.5));
    return p;
  }
  QTemporaryDir dir;
};

TEST_F(AudioOutputTest, LevelFollowsVolumeAndStreamsAddUp) {
  // A 0.5 sine has an RMS of 0.354. Each row's streams play together, the rows one after
  // the other with silence between.
  const QString a440 = tone(QStringLiteral("a440.wav"), 0.5);
  const QString a660 = tone(QStringLiteral("a660.wav"), 0.5, 44100, 660);
  const struct {
    const char* what;
    std::vector<std::pair<QString, float>> streams;
    double rms;
    double tolerance;
  } rows[] = {
      {"attenuated", {{a440, 0.3f}}, 0.106, 0.004},
      {"amplified", {{a440, 1.5f}}, 0.530, 0.01},
      {"amplified past full scale is clipped", {{a440, 3.0f}}, 0.838, 0.01},
      {"two streams add up", {{a440, 0.5f}, {a660, 0.5f}}, 0.250, 0.006},
  };
  DiskOutput out(dir.filePath(QStringLiteral("levels.raw")));
  ASSERT_TRUE(out.ok()) << "the disk driver did not open";
  for (const auto& row : rows) {
    std::vector<HSTREAM> hs;
    for (const auto& [file, volume] : row.streams) {
      const HSTREAM h = out.lib.StreamCreateFile(file);
      ASSERT_NE(h, 0u);
      ASSERT_TRUE(out.lib.ChannelSetVolume(h, volume));
      hs.push_back(h);
    }
    for (HSTREAM h : hs) ASSERT_TRUE(out.lib.ChannelPlay(h, false));
    ASSERT_TRUE(
        waitUntil([&] { return out.lib.ChannelIsActive(hs.front()) == ACTIVE_STOPPED; }, 3s));
    for (HSTREAM h : hs) out.lib.StreamFree(h);
    std::this_thread::sleep_for(100ms);
  }
  const std::vector<float> samples = out.finish();
  EXPECT_LE(peak(samples), 1.0f);
  const std::vector<Burst> found = bursts(samples);
  ASSERT_EQ(found.size(), std::size(rows));
  for (std::size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(rows[i].what);
    EXPECT_NEAR(found[i].seconds(), 0.5, 0.01);
    const std::size_t margin = 2205;  // 50 ms off each edge
    EXPECT_NEAR(rms(samples, found[i].from + margin, found[i].to - margin), rows[i].rms,
                rows[i].tolerance);
  }
}

TEST_F(AudioOutputTest, WhatIsHeardFollowsPlayPauseStopAndRestart) {
  const QString wav = tone(QStringLiteral("t.wav"), 0.5);
  const QString flac48 = tone(QStringLiteral("t48.flac"), 0.5, 48000);
  const QString mp348 = tone(QStringLiteral("t48.mp3"), 0.5, 48000);
  enum class Op { Play, PlayOnceEnded, Restart, Pause, Stop };
  struct Step {
    int atMs;
    Op op;
  };
  const struct {
    const char* what;
    QString file;
    std::vector<Step> script;
    std::vector<double> bursts;  // seconds of sound between silences
    double tolerance;            // per burst
    double total;                // all sound heard, in seconds
    double totalTolerance;
  } rows[] = {
      {"plays its length", wav, {{0, Op::Play}}, {0.5}, 0.005, 0.5, 0.005},
      {"48 kHz flac keeps its length", flac48, {{0, Op::Play}}, {0.5}, 0.005, 0.5, 0.005},
      {"48 kHz mp3 keeps its length", mp348, {{0, Op::Play}}, {0.5}, 0.005, 0.5, 0.005},
      // However the pieces fall, holding the place loses and repeats nothing.
      {"pause holds the place",
       wav,
       {{0, Op::Play}, {200, Op::Pause}, {450, Op::Play}},
       {0.2, 0.3},
       0.1,
       0.5,
       0.005},
      {"stop holds the place",
       wav,
       {{0, Op::Play}, {200, Op::Stop}, {450, Op::Play}},
       {0.2, 0.3},
       0.1,
       0.5,
       0.005},
      {"an ended stream plays again from its start",
       wav,
       {{0, Op::Play}, {0, Op::PlayOnceEnded}},
       {0.5, 0.5},
       0.005,
       1.0,
       0.01},
      {"restart starts over at once",
       wav,
       {{0, Op::Play}, {250, Op::Restart}},
       {0.75},
       0.1,
       0.75,
       0.1},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    DiskOutput out(dir.filePath(QStringLiteral("run%1.raw").arg(n++)));
    ASSERT_TRUE(out.ok()) << "the disk driver did not open";
    const HSTREAM h = out.lib.StreamCreateFile(row.file);
    ASSERT_NE(h, 0u);
    const auto start = std::chrono::steady_clock::now();
    for (const Step& step : row.script) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(step.atMs));
      switch (step.op) {
        case Op::PlayOnceEnded:
          EXPECT_TRUE(waitUntil([&] { return out.lib.ChannelIsActive(h) == ACTIVE_STOPPED; }, 3s));
          std::this_thread::sleep_for(100ms);
          [[fallthrough]];
        case Op::Play:
          EXPECT_TRUE(out.lib.ChannelPlay(h, false));
          break;
        case Op::Restart:
          EXPECT_TRUE(out.lib.ChannelPlay(h, true));
          break;
        case Op::Pause:
          EXPECT_TRUE(out.lib.ChannelPause(h));
          break;
        case Op::Stop:
          EXPECT_TRUE(out.lib.ChannelStop(h));
          break;
      }
    }
    EXPECT_TRUE(waitUntil([&] { return out.lib.ChannelIsActive(h) == ACTIVE_STOPPED; }, 3s));
    const std::vector<float> samples = out.finish();
    const std::vector<Burst> found = bursts(samples);
    ASSERT_EQ(found.size(), row.bursts.size());
    double heard = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_NEAR(found[i].seconds(), row.bursts[i], row.tolerance) << "burst " << i;
      heard += found[i].seconds();
    }
    EXPECT_NEAR(heard, row.total, row.totalTolerance);
  }
}

// ---- Fades instead of steps, and music that gives way ----

// Largest difference between neighbouring samples of one channel.
float largestStep(const std::vector<float>& s) {
  float worst = 0;
  for (std::size_t i = 2; i < s.size(); ++i) worst = std::max(worst, std::fabs(s[i] - s[i - 2]));
  return worst;
}

// Amplitude of a sine at freq in the left channel over frames [from, from + n).
double amplitudeAt(const std::vector<float>& s, std::size_t from, std::size_t n, double freq) {
  double re = 0, im = 0;
  for (std::size_t i = 0; i < n && 2 * (from + i) < s.size(); ++i) {
    const double phase = 2 * M_PI * freq * double(i) / 44100.0;
    re += s[2 * (from + i)] * std::cos(phase);
    im -= s[2 * (from + i)] * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / double(n);
}

TEST_F(AudioOutputTest, CutsAndVolumeJumpsFadeInsteadOfStepping) {
  // A 100 Hz sine at 0.5 steps by at most 0.007 between samples by itself; cut wherever it
  // happens to be, it steps by up to the whole 0.5. One second is 100 whole periods, so the
  // file's own end is at a zero crossing.
  const QString low = tone(QStringLiteral("low.wav"), 1.0, 44100, 100);
  enum class Op { Stop, Pause, PauseResume, Free, Restart, Replace, VolumeDown, VolumeUp };
  const struct {
    const char* what;
    Op op;
  } rows[] = {
      {"stop", Op::Stop},
      {"pause", Op::Pause},
      {"pause, then resume", Op::PauseResume},
      {"free", Op::Free},
      {"restart from the beginning", Op::Restart},
      {"a new stream in place of the freed one", Op::Replace},
      {"volume from 1.0 to 0.1", Op::VolumeDown},
      {"volume from 0.1 to 1.5", Op::VolumeUp},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    DiskOutput out(dir.filePath(QStringLiteral("cut%1.raw").arg(n++)));
    ASSERT_TRUE(out.ok()) << "the disk driver did not open";
    SdlAudioLibrary& lib = out.lib;
    HSTREAM h = lib.StreamCreateFile(low);
    ASSERT_NE(h, 0u);
    if (row.op == Op::VolumeUp) lib.ChannelSetVolume(h, 0.1f);
    ASSERT_TRUE(lib.ChannelPlay(h, false));
    std::this_thread::sleep_for(237ms);  // somewhere inside a period
    switch (row.op) {
      case Op::Stop:
        lib.ChannelStop(h);
        EXPECT_EQ(lib.ChannelIsActive(h), ACTIVE_STOPPED);  // reported at once
        break;
      case Op::Pause:
        lib.ChannelPause(h);
        EXPECT_EQ(lib.ChannelIsActive(h), ACTIVE_PAUSED);
        break;
      case Op::PauseResume:
        lib.ChannelPause(h);
        std::this_thread::sleep_for(113ms);
        lib.ChannelPlay(h, false);
        break;
      case Op::Free:
        lib.StreamFree(h);
        EXPECT_EQ(lib.ChannelIsActive(h), ACTIVE_STOPPED);
        h = 0;
        break;
      case Op::Restart:
        lib.ChannelPlay(h, true);
        break;
      case Op::Replace: {
        lib.ChannelStop(h);
        lib.StreamFree(h);
        h = lib.StreamCreateFile(low);
        ASSERT_NE(h, 0u);
        std::this_thread::sleep_for(2ms);  // the old one is still fading
        lib.ChannelPlay(h, false);
        break;
      }
      case Op::VolumeDown:
        lib.ChannelSetVolume(h, 0.1f);
        break;
      case Op::VolumeUp:
        lib.ChannelSetVolume(h, 1.5f);
        break;
    }
    if (h != 0) {
      EXPECT_TRUE(waitUntil([&] { return lib.ChannelIsActive(h) != ACTIVE_PLAYING; }, 3s));
    }
    std::this_thread::sleep_for(100ms);
    const std::vector<float> samples = out.finish();
    ASSERT_FALSE(bursts(samples).empty());
    const float step = largestStep(samples);
    RecordProperty(std::string("largest_step_") + std::to_string(n), std::to_string(step));
    EXPECT_LT(step, 0.02f);  // 4 % of the amplitude
  }
}

TEST_F(AudioOutputTest, MusicGivesWayToEffectsAndSpeechAndComesBackToItsVolume) {
  // Music at 300 Hz, the effect at 1000 Hz: both fill 10 ms windows with whole periods, so
  // each level reads cleanly beside the other. The music plays at 0.8; its volume is set to
  // 0.6 while it has given way, and must come back to exactly that.
  const QString music = tone(QStringLiteral("music.wav"), 3.0, 44100, 300);
  const QString effect = tone(QStringLiteral("fx.wav"), 0.6, 44100, 1000);
  enum class Cue { Effect, Speech };
  const struct {
    const char* what;
    int duck;  // percent; -1 off
    Cue cue;
    double level;  // the music's share while it gives way
  } rows[] = {
      {"no ducking: an effect changes nothing", -1, Cue::Effect, 1.0},
      {"an effect ducks the music to 30 %", 30, Cue::Effect, 0.3},
      {"speech ducks the music to 30 %", 30, Cue::Speech, 0.3},
      {"ducking to 0 silences the music", 0, Cue::Effect, 0.0},
  };
  constexpr std::size_t kWin = 441;  // 10 ms
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    DiskOutput out(dir.filePath(QStringLiteral("duck%1.raw").arg(n++)));
    ASSERT_TRUE(out.ok()) << "the disk driver did not open";
    SdlAudioLibrary& lib = out.lib;
    lib.setDucking(row.duck);
    const HSTREAM m = lib.StreamCreateFile(music);
    ASSERT_NE(m, 0u);
    lib.ChannelSetDucked(m, true);
    ASSERT_TRUE(lib.ChannelPlay(m, false));
    lib.ChannelSetVolume(m, 0.8f);
    std::this_thread::sleep_for(500ms);
    HSTREAM e = 0;
    if (row.cue == Cue::Effect) {
      e = lib.StreamCreateFile(effect);
      ASSERT_NE(e, 0u);
      ASSERT_TRUE(lib.ChannelPlay(e, false));
    } else {
      lib.setSpeechSounding(true);
    }
    std::this_thread::sleep_for(300ms);
    lib.ChannelSetVolume(m, 0.6f);  // a volume command while the music has given way
    if (row.cue == Cue::Effect)
      EXPECT_TRUE(waitUntil([&] { return lib.ChannelIsActive(e) == ACTIVE_STOPPED; }, 3s));
    else
      std::this_thread::sleep_for(300ms);
    lib.setSpeechSounding(false);
    EXPECT_TRUE(waitUntil([&] { return lib.ChannelIsActive(m) == ACTIVE_STOPPED; }, 5s));
    const std::vector<float> samples = out.finish();
    const std::vector<Burst> found = bursts(samples);
    ASSERT_FALSE(found.empty());
    const std::size_t start = found.front().from;  // music silenced outright may leave a gap
    const std::size_t wins = (found.back().to - start) / kWin;
    ASSERT_GT(wins, 280u);
    std::vector<double> musicLevel(wins), effectLevel(wins);
    for (std::size_t w = 0; w < wins; ++w) {
      musicLevel[w] = amplitudeAt(samples, start + w * kWin, kWin, 300);
      effectLevel[w] = amplitudeAt(samples, start + w * kWin, kWin, 1000);
    }
    EXPECT_NEAR(musicLevel[30], 0.4, 0.005) << "before";
    EXPECT_NEAR(musicLevel[wins - 20], 0.3, 0.003) << "restored exactly";
    std::size_t on = 0, off = 0;  // the effect's first and last windows
    for (std::size_t w = 0; w < wins; ++w)
      if (effectLevel[w] > 0.05) {
        if (on == 0) on = w;
        off = w;
      }
    // While giving way: 50 ms before the effect's end (the windows where the effect fades
    // in or out blur both tones), or the quietest window under speech.
    const double given = row.cue == Cue::Effect
                             ? (off > 5 ? musicLevel[off - 5] : -1)
                             : *std::min_element(musicLevel.begin() + 30, musicLevel.end() - 20);
    EXPECT_NEAR(given, 0.3 * row.level, 0.004) << "while giving way";
    if (row.cue != Cue::Effect || row.level >= 1.0) continue;
    // Down within about 150 ms of the effect's first sound, up within about 400 ms of its
    // last, read on the output's own timeline.
    ASSERT_GT(on, 0u);
    std::size_t down = on, up = off;
    while (down < wins && musicLevel[down] > 0.4 * row.level + 0.01) ++down;
    while (up < wins && musicLevel[up] < 0.3 - 0.01) ++up;
    RecordProperty("fall_ms", std::to_string((down - on) * 10));
    RecordProperty("rise_ms", std::to_string((up - off) * 10));
    EXPECT_GE((down - on) * 10, 110u) << "fell in " << (down - on) * 10 << " ms";
    EXPECT_LE((down - on) * 10, 190u) << "fell in " << (down - on) * 10 << " ms";
    EXPECT_GE((up - off) * 10, 330u) << "rose in " << (up - off) * 10 << " ms";
    EXPECT_LE((up - off) * 10, 450u) << "rose in " << (up - off) * 10 << " ms";
  }
}

}  // namespace
}  // namespace vuvedid::test
