// Choosing the output by name, and carrying on when the sound server behind it restarts.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <optional>
#include <string>

#include "audio/AudioLibrary.h"
#include "audio/SdlAudioLibrary.h"
#include "support/AppFiles.h"
#include "support/Broker.h"
#include "support/FormFixture.h"
#include "support/ScopedEnv.h"
#include "support/SoundFiles.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {}  // namespace

// SDL's dummy driver has exactly one output, "System audio output device".
struct DeviceCase {
  const char* name;
  const char* device;  // nullptr: no [audio] section at all
  bool usesDefault;
  const char* logLine;  // expected in the system log, nullptr: no audio line there
};

void PrintTo(const DeviceCase& c, std::ostream* os) { *os << (c.device ? c.device : "(none)"); }

class OutputDeviceSetting : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(OutputDeviceSetting, OpensTheNamedOutputOrTheDefaultWithALogLine) {
  const DeviceCase c = GetParam();
  FormOptions o;
  o.prepare = [&](const QString& exeDir) {
    QByteArray ini = "[protokol]\nlog=1\n";
    if (c.device) ini += QByteArray("[audio]\ndevice=") + c.device + "\n";
    writeFileOrFail(exeDir + QStringLiteral("MQTT.ini"), ini);
  };
  FormFixture f(o);
  EXPECT_EQ(f.terminatedWith, -1);
  EXPECT_TRUE(f.boxes.boxes.empty());
  EXPECT_EQ(f.audio->usedDefaultOutput(), c.usesDefault);
  const QString log = f.form().memo2->toPlainText();
  if (c.logLine)
    EXPECT_TRUE(log.contains(QString::fromUtf8(c.logLine))) << log.toStdString();
  else
    EXPECT_FALSE(log.contains(QStringLiteral("Audio"))) << log.toStdString();
  // Whichever output it is, it plays.
  const QString tone = f.path(QStringLiteral("t.wav"));
  ASSERT_TRUE(toneFile(tone, 0.2));
  const HSTREAM h = f.audio->StreamCreateFile(tone);
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(f.audio->ChannelPlay(h, false));
  EXPECT_TRUE(waitFor([&] { return f.audio->ChannelIsActive(h) == ACTIVE_STOPPED; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputDeviceSetting,
    ::testing::Values(
        DeviceCase{"NoSection", nullptr, false, nullptr},
        DeviceCase{"EmptyName", "", false, nullptr},
        DeviceCase{"DummyOutput", "System audio output device", false, nullptr},
        DeviceCase{"BlanksAround", "  System audio output device  ", false, nullptr},
        DeviceCase{"Unknown", "Speakers in room 2", true,
                   "Audio device \"Speakers in room 2\" not found, using the default output"},
        DeviceCase{"UnknownCyrillic", "Система", true,
                   "Audio device \"Система\" not found, using the default output"}),
    [](const ::testing::TestParamInfo<DeviceCase>& info) { return std::string(info.param.name); });

// [audio] buffer= in frames; SDL's dummy driver opens exactly what is asked for.
TEST(BufferSetting, TheKeyChoosesTheDeviceBufferAndAnythingElseLeavesTheDefault) {
  constexpr int kDefault = SdlAudioLibrary::kDefaultBufferFrames;
  const struct {
    const char* ini;  // the [audio] section's lines
    int frames;
  } rows[] = {
      {"", kDefault},
      {"buffer=256\n", 256},
      {"buffer= 2048 \n", 2048},
      {"buffer=\n", kDefault},
      {"buffer=fast\n", kDefault},
      {"buffer=32\n", kDefault},
      {"buffer=100000\n", kDefault},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ini);
    FormOptions o;
    o.prepare = [&](const QString& exeDir) {
      writeFileOrFail(exeDir + QStringLiteral("MQTT.ini"), QByteArray("[audio]\n") + row.ini);
    };
    FormFixture f(o);
    EXPECT_EQ(f.audio->bufferFrames(), row.frames);
  }
}

// A private PulseAudio server with one null sink, killed and started again by the test.
class PulseServer {
 public:
  explicit PulseServer(const QString& dir) : dir_(dir) {}
  bool start() {
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("/usr/bin/pulseaudio"),
        QStringList{
            QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
            QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disable-shm=yes"),
            QStringLiteral("--log-target=file:") + dir_ + QStringLiteral("/pulse.log"),
            QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=room"),
            QStringLiteral("-L"),
            QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket()},
        false, false,
        QStringList{QStringLiteral("XDG_RUNTIME_DIR=") + dir_, QStringLiteral("HOME=") + dir_});
    return waitFor([&] { return pactl({QStringLiteral("info")}).has_value(); }, 8000);
  }
  void kill() {
    if (!process_) return;
    process_->signal(SIGKILL);
    process_->wait(3000);
    process_.reset();
  }
  QString socket() const { return dir_ + QStringLiteral("/native"); }
  // pactl's output, or nothing when it fails.
  std::optional<QString> pactl(const QStringList& args) const {
    // Through posix_spawn, not QProcess: see runTool.
    ChildProcess p(QStandardPaths::findExecutable(QStringLiteral("pactl")), args, false, true,
                   {QStringLiteral("PULSE_SERVER=unix:") + socket()});
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (p.running() && t.elapsed() < 3000) {
      out += p.readAvailable();
      QThread::msleep(2);
    }
    out += p.readAvailable();
    if (p.wait(0) != 0) return std::nullopt;
    return QString::fromUtf8(out);
  }

 private:
  QString dir_;
  std::unique_ptr<ChildProcess> process_;
};

// A small device buffer still gets a server-side margin: the server keeps at least 20 ms of
// ours queued (SDL alone would ask for one buffer, 5.8 ms here, and every late wake-up of
// the mixer would be a dropout). A latency the user asked for through libpulse's own
// variable is left alone.
// SDL's pulseaudio driver pointed at a private server of the test's own.
class RealPulse : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/pulseaudio")))
      GTEST_SKIP() << "pulseaudio is not installed (scripts/deps.sh test)";
    ASSERT_TRUE(dir.isValid());
    if (!pulse.start()) GTEST_SKIP() << "a private pulseaudio server cannot run here";
    driver.emplace("SDL_AUDIODRIVER", "pulseaudio");
    server.emplace("PULSE_SERVER", ("unix:" + pulse.socket()).toUtf8());
  }
  QTemporaryDir dir;
  PulseServer pulse{dir.path()};
  std::optional<ScopedEnv> driver;
  std::optional<ScopedEnv> server;
};
using ServerLatency = RealPulse;
using LostOutput = RealPulse;

TEST_F(ServerLatency, ASmallBufferIsQueuedWithAMarginAndTheUsersOwnRequestStays) {
  const QString tone = dir.filePath(QStringLiteral("t.wav"));
  ASSERT_TRUE(toneFile(tone, 3.0));
  // The most the server held of ours while a tone played, in microseconds.
  auto queuedUs = [&](SdlAudioLibrary& audio) {
    const HSTREAM h = audio.StreamCreateFile(tone);
    EXPECT_TRUE(audio.ChannelPlay(h, false));
    long most = -1;
    for (int i = 0; i < 10; ++i) {
      spin(50);
      const QString out =
          pulse.pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}).value_or(QString());
      const qsizetype at = out.indexOf(QStringLiteral("Buffer Latency: "));
      if (at >= 0) most = std::max(most, out.mid(at + 16).section(' ', 0, 0).toLong());
    }
    return most;
  };
  // As at a fresh start (an output opened earlier in this process left its request).
  unsetenv("PULSE_LATENCY_MSEC");
  {
    ScopedEnv own("PULSE_LATENCY_MSEC", "7");
    SdlAudioLibrary audio;
    audio.setBufferFrames(256);
    ASSERT_TRUE(audio.Init(-1, 44100));
    EXPECT_STREQ(std::getenv("PULSE_LATENCY_MSEC"), "7");
    audio.Free();
  }
  ASSERT_EQ(std::getenv("PULSE_LATENCY_MSEC"), nullptr);
  SdlAudioLibrary audio;
  audio.setBufferFrames(256);
  ASSERT_TRUE(audio.Init(-1, 44100));
  EXPECT_STREQ(std::getenv("PULSE_LATENCY_MSEC"), "20");
  EXPECT_GT(queuedUs(audio), 9000);
  audio.Free();
  unsetenv("PULSE_LATENCY_MSEC");
  pulse.kill();
}

TEST_F(LostOutput, AStreamPlaysOnAfterTheSoundServerRestarts) {
  QStringList notices;
  SdlAudioLibrary audio;
  audio.setNotice([&](const QString& line) { notices << line; });
  ASSERT_TRUE(audio.Init(-1, 44100));
  const QString tone = dir.filePath(QStringLiteral("t.wav"));
  ASSERT_TRUE(toneFile(tone, 3.0));
  const HSTREAM h = audio.StreamCreateFile(tone);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(audio.ChannelPlay(h, false));
  spin(300);
  ASSERT_EQ(audio.ChannelIsActive(h), ACTIVE_PLAYING);

  pulse.kill();
  // While the server is away the stream waits where it was (nothing to play to).
  for (int i = 0; i < 10; ++i) {
    audio.ChannelIsActive(h);
    spin(100);
  }
  EXPECT_NE(audio.ChannelIsActive(h), ACTIVE_STOPPED);
  ASSERT_TRUE(pulse.start());

  // The players keep asking; the layer notices, opens the output again, and the rest of
  // the tone plays to its end on the new server.
  EXPECT_TRUE(waitFor(
      [&] {
        audio.ChannelIsActive(h);
        return audio.reopenCount() > 0;
      },
      8000))
      << notices.join('\n').toStdString();
  EXPECT_TRUE(waitFor(
      [&] {
        return !pulse
                    .pactl({QStringLiteral("list"), QStringLiteral("short"),
                            QStringLiteral("sink-inputs")})
                    .value_or(QString())
                    .trimmed()
                    .isEmpty();
      },
      3000));
  EXPECT_TRUE(waitFor([&] { return audio.ChannelIsActive(h) == ACTIVE_STOPPED; }, 8000));
  EXPECT_TRUE(notices.contains(QStringLiteral("Audio output lost, opened again")))
      << notices.join('\n').toStdString();
  // A new stream on the reopened output plays too.
  const HSTREAM h2 = audio.StreamCreateFile(tone);
  ASSERT_NE(h2, 0u);
  EXPECT_TRUE(audio.ChannelPlay(h2, false));
  spin(200);
  EXPECT_EQ(audio.ChannelIsActive(h2), ACTIVE_PLAYING);
  audio.Free();
  pulse.kill();
}
