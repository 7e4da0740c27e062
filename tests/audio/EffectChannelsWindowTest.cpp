// The four effect slots on the real audio layer (SDL's dummy driver) with generated mp3
// sounds in a real signal folder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "audio/BackgroundPlayer.h"
#include "audio/EffectChannels.h"
#include "commands/Room.h"
#include "support/AudioQtPrinters.h"
#include "support/FormFixture.h"
#include "support/RecordedWindow.h"
#include "support/ScopedEnv.h"
#include "support/SoundFiles.h"

namespace vuvedid::test {
namespace {

const QString kStamp = QStringLiteral("09.12.23 14:05:07");

class EffectsTest : public ::testing::Test, protected RecordedWindow {
 protected:
  EffectsTest() {
    form.folder_s->setText(signals_.path());
    for (const char* name : {"long.mp3", "other.mp3", "insert.mp3", "Insert.mp3"})
      EXPECT_TRUE(toneFile(path(name), 2.0)) << name;
  }

  QString path(const char* name) const {
    return signals_.path() + QLatin1Char('/') + QString::fromUtf8(name);
  }
  std::array<HSTREAM, 4> handles() const {
    return {fx.fx_chan1, fx.fx_chan2, fx.fx_chan3, fx.fx_chan4};
  }
  // Which slots sound, as "1010" for slots 1 and 3.
  QString busy() {
    QString out;
    for (HSTREAM h : handles())
      out += audio.ChannelIsActive(h) != ACTIVE_STOPPED ? QLatin1Char('1') : QLatin1Char('0');
    return out;
  }
  EffectChannels& fx = form.room->effects;
  QTemporaryDir signals_;
};

TEST_F(EffectsTest, CommandPlaysTheFileOfTheSignalFolderAtItsVolume) {
  fx.playfx(QStringLiteral("30!insert.mp3"));
  EXPECT_EQ(busy(), QStringLiteral("1000"));
  EXPECT_EQ(form.efilename1->text(), path("insert.mp3"));
  EXPECT_EQ(audio.ChannelGetFileName(fx.fx_chan1), path("insert.mp3"));
  EXPECT_FLOAT_EQ(audio.lastVolume(fx.fx_chan1), 0.3f);
  EXPECT_EQ(fx.fx_state1, 1);
  EXPECT_TRUE(protocol().isEmpty());
  EXPECT_TRUE(f.boxes.boxes.empty());
}

TEST_F(EffectsTest, FourLongSoundsTakeTheSlotsAndTheFifthIsDropped) {
  for (int i = 0; i < 4; ++i) fx.playfx(QStringLiteral("30!long.mp3"));
  EXPECT_EQ(busy(), QStringLiteral("1111"));
  const auto before = handles();
  EXPECT_EQ(std::set<HSTREAM>(before.begin(), before.end()).size(), 4u);

  // All busy: dropped before the volume is even read, so a bad one raises nothing.
  for (const char* text : {"30!other.mp3", "loud!other.mp3", "other.mp3"})
    EXPECT_NO_THROW(fx.playfx(QString::fromUtf8(text))) << text;
  EXPECT_EQ(handles(), before);
  EXPECT_EQ(form.efilename1->text(), path("long.mp3"));
  EXPECT_TRUE(protocol().isEmpty());
  EXPECT_TRUE(f.boxes.boxes.empty());

  real.ChannelStop(fx.fx_chan3);  // a slot whose sound ended is free again
  fx.playfx(QStringLiteral("40!other.mp3"));
  EXPECT_EQ(busy(), QStringLiteral("1111"));
  EXPECT_EQ(audio.ChannelGetFileName(fx.fx_chan3), path("other.mp3"));
}

TEST_F(EffectsTest, RepeatCheckStopsEverySlotPlayingTheSamePath) {
  struct Case {
    const char* what;
    bool repeatCheck;
    std::array<const char*, 3> playing;  // slots 1..3 before the command
    const char* command;
    const char* busyAfter;
    int slotOfNewSound;
  };
  const Case cases[] = {
      {"same file in slots 1 and 3",
       true,
       {"insert.mp3", "other.mp3", "insert.mp3"},
       "30!insert.mp3",
       "1100",
       1},
      {"letter case differs",
       true,
       {"insert.mp3", "other.mp3", nullptr},
       "30!Insert.mp3",
       "1110",
       3},
      {"check off", false, {"insert.mp3", nullptr, nullptr}, "30!insert.mp3", "1100", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (HSTREAM h : handles()) real.ChannelStop(h);
    form.chbx_povtor->setChecked(false);
    for (const char* name : c.playing)
      if (name) fx.playfx(QStringLiteral("50!") + QString::fromUtf8(name));
    form.chbx_povtor->setChecked(c.repeatCheck);

    fx.playfx(QString::fromUtf8(c.command));
    EXPECT_EQ(busy(), QString::fromUtf8(c.busyAfter));
    const QString expected = form.folder_s->text() + QLatin1Char('/') +
                             QString::fromUtf8(c.command).section(QLatin1Char('!'), 1);
    EXPECT_EQ(audio.ChannelGetFileName(handles()[c.slotOfNewSound - 1]), expected);
  }
}

TEST_F(EffectsTest, StreamsOfAnEarlierSignalFolderNeverMatch) {
  fx.playfx(QStringLiteral("30!insert.mp3"));
  form.chbx_povtor->setChecked(true);
  form.folder_s->setText(signals_.path() + QStringLiteral("/."));
  fx.playfx(QStringLiteral("30!insert.mp3"));
  EXPECT_EQ(busy(), QStringLiteral("1100"));
}

TEST_F(EffectsTest, FailuresAreLoggedWithoutABox) {
  QFile bad(path("bad.mp3"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a sound at all");
  bad.close();
  QDir().mkpath(path("folder.mp3"));
  struct Case {
    const char* command;
    const char* line;
  };
  const Case cases[] = {{"30!none.mp3", "Файл не существует "},
                        {"30!folder.mp3", "Файл не существует "},
                        {"30!", "Файл не существует "},
                        {"30!bad.mp3", "Ошибка загрузки файла "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    form.M_protokol->clear();
    EXPECT_NO_THROW(fx.playfx(QString::fromUtf8(c.command)));
    EXPECT_EQ(protocol(), QStringList{QString::fromUtf8(c.line) + kStamp});
    EXPECT_EQ(busy(), QStringLiteral("0000"));
    EXPECT_EQ(fx.fx_state1, 0);
  }
  EXPECT_TRUE(f.boxes.boxes.empty());
}

TEST_F(EffectsTest, VolumeTextThatIsNoIntegerEndsTheCommandBeforePlaying) {
  for (const char* text : {"insert.mp3", "x!insert.mp3", "a:30!insert.mp3", "!insert.mp3"}) {
    SCOPED_TRACE(text);
    f.boxes.boxes.clear();
    form.guarded([&] { fx.playfx(QString::fromUtf8(text)); });
    ASSERT_EQ(f.boxes.boxes.size(), 1u);
    EXPECT_EQ(f.boxes.boxes[0].icon, BoxIcon::Error);
    EXPECT_TRUE(f.boxes.boxes[0].text.endsWith(QStringLiteral("is not a valid integer value.")));
    EXPECT_EQ(busy(), QStringLiteral("0000"));
    EXPECT_TRUE(form.efilename1->text().isEmpty());
  }
  // The slice between ":" and "!" is what fails to convert.
  EXPECT_EQ(f.boxes.boxes[0].text, QStringLiteral("'' is not a valid integer value."));
}

TEST_F(EffectsTest, EachBarSetsOnlyItsOwnSlot) {
  for (int i = 0; i < 4; ++i) fx.playfx(QStringLiteral("30!long.mp3"));
  QSlider* bars[] = {form.JvTrackBar2, form.JvTrackBar3, form.JvTrackBar4, form.JvTrackBar5};
  for (int n = 0; n < 4; ++n) {
    SCOPED_TRACE(n + 1);
    audio.volumes.clear();
    bars[n]->setValue(80 - n);
    ASSERT_EQ(audio.volumes.size(), 1u);
    EXPECT_EQ(audio.volumes[0].handle, handles()[n]);
    EXPECT_FLOAT_EQ(audio.volumes[0].volume, (80 - n) / 100.0f);
  }
  // The next command's sound plays at the command's volume, not the bar's.
  real.ChannelStop(fx.fx_chan1);
  fx.playfx(QStringLiteral("20!long.mp3"));
  EXPECT_FLOAT_EQ(audio.lastVolume(fx.fx_chan1), 0.2f);
}

TEST_F(EffectsTest, TestButtonsActUntilTheirSlotHasOnceStarted) {
  struct Slot {
    std::function<void()> click;
    FileEdit* file;
    int index;
  };
  const Slot buttons[] = {{[this] { form.SpeedButton1Click(); }, form.efilename1, 0},
                          {[this] { form.SpeedButton4Click(); }, form.efilename2, 1},
                          {[this] { form.SpeedButton7Click(); }, form.efilename3, 2},
                          {[this] { form.SpeedButton2Click(); }, form.efilename4, 3}};
  const std::uint8_t* flags[] = {&fx.fx_state1, &fx.fx_state2, &fx.fx_state3, &fx.fx_state4};
  for (const Slot& s : buttons) {
    SCOPED_TRACE(s.index + 1);
    // A failed start leaves the button armed.
    s.file->setText(path("none.mp3"));
    s.click();
    EXPECT_EQ(*flags[s.index], 0);
    s.file->setText(path("long.mp3"));
    s.click();
    EXPECT_EQ(*flags[s.index], 1);
    EXPECT_EQ(audio.ChannelIsActive(handles()[s.index]), ACTIVE_PLAYING);
    EXPECT_FLOAT_EQ(audio.lastVolume(handles()[s.index]), -1);  // the library's default

    real.ChannelStop(handles()[s.index]);
    const HSTREAM h = handles()[s.index];
    s.click();  // started once: the button does nothing any more
    EXPECT_EQ(handles()[s.index], h);
    EXPECT_EQ(audio.ChannelIsActive(h), ACTIVE_STOPPED);
  }
  // A command's start sets the flag too, and commands go on using the slot.
  for (HSTREAM h : handles()) real.ChannelStop(h);
  fx.playfx(QStringLiteral("30!other.mp3"));
  EXPECT_EQ(audio.ChannelGetFileName(fx.fx_chan1), path("other.mp3"));
}

// ---- Music and an effect together, in SDL's disk driver output ----

// Amplitude of a sine at freq in the left channel of frames [from, from + n).
double toneAmplitude(const std::vector<float>& stereo, std::size_t from, std::size_t n,
                     double freq) {
  double re = 0, im = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = stereo[2 * (from + i)];
    const double phase = 2 * M_PI * freq * double(i) / 44100.0;
    re += x * std::cos(phase);
    im -= x * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / double(n);
}

class MixedOutputTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString rawFile = dir.path() + QStringLiteral("/out.raw");
  ScopedEnv driver{"SDL_AUDIODRIVER", QStringLiteral("disk")};
  ScopedEnv file{"SDL_DISKAUDIOFILE", rawFile};
  std::unique_ptr<FormFixture> f = std::make_unique<FormFixture>();

  // A room of one 3 s 440 Hz track at 0.3 and an 880 Hz effect at 0.3: the music starts,
  // and 800 ms later the effect joins it.
  void playMusicThenEffect(TForm_player& form) {
    const QString room = dir.path() + QStringLiteral("/music/hall");
    QDir().mkpath(room);
    ASSERT_TRUE(toneFile(room + QStringLiteral("/a.mp3"), 3.0, 44100, 440, 0.3));
    ASSERT_TRUE(toneFile(dir.path() + QStringLiteral("/fx.mp3"), 1.0, 44100, 880, 0.3));
    form.folder_m->setText(dir.path() + QStringLiteral("/music"));
    form.folder_s->setText(dir.path());
    form.room->background.room = QStringLiteral("hall");
    form.room->background.playmusfoldername();
    form.room->background.Timer_playfone.setEnabled(false);
    form.room->background.Timer_playfoneTimer();
    spin(800);
    form.room->effects.playfx(QStringLiteral("100!fx.mp3"));
  }

  // What the disk driver wrote: interleaved stereo floats (empty when there is no file).
  std::vector<float> recorded() const {
    QFile out(rawFile);
    if (!out.open(QIODevice::ReadOnly)) return {};
    const QByteArray raw = out.readAll();
    std::vector<float> samples(std::size_t(raw.size()) / sizeof(float));
    std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(float));
    return samples;
  }
};

TEST_F(MixedOutputTest, MusicAndAnEffectSoundTogether) {
  TForm_player& form = f->form();
  form.vol_default->setText(QStringLiteral("100"));
  ASSERT_NO_FATAL_FAILURE(playMusicThenEffect(form));
  spin(1500);
  form.FormClose();
  f.reset();

  const std::vector<float> samples = recorded();
  ASSERT_FALSE(samples.empty());

  // 100 ms windows hold whole periods of both tones, so each amplitude reads cleanly.
  constexpr std::size_t kWindow = 4410;
  bool musicAlone = false;
  double bothAtOnce = 0;
  for (std::size_t at = 0; (at + kWindow) * 2 <= samples.size(); at += kWindow) {
    const double music = toneAmplitude(samples, at, kWindow, 440);
    const double effect = toneAmplitude(samples, at, kWindow, 880);
    if (music > 0.25 && effect < 0.02) musicAlone = true;
    bothAtOnce = std::max(bothAtOnce, std::min(music, effect));
  }
  EXPECT_TRUE(musicAlone);
  EXPECT_NEAR(bothAtOnce, 0.3, 0.05);  // each at its own level, neither ducked
}

TEST_F(MixedOutputTest, WithDuckSetTheMusicGivesWayToAnEffectAndTheSaveKeepsTheKeys) {
  f.reset();  // this room's settings file asks for ducking to 25 %
  FormOptions o;
  o.prepare = [](const QString& exeDir) {
    QFile ini(exeDir + QStringLiteral("MQTT.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[volume]\nvol_default=100\nduck=25\n[audio]\nbuffer=512\n");
  };
  f = std::make_unique<FormFixture>(o);
  TForm_player& form = f->form();
  ASSERT_NO_FATAL_FAILURE(playMusicThenEffect(form));
  spin(2000);
  form.btn_save_mqttClick();
  QFile saved(f->path(QStringLiteral("MQTT.ini")));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray text = saved.readAll();
  EXPECT_TRUE(text.contains("duck=25")) << text.toStdString();
  EXPECT_TRUE(text.contains("buffer=512")) << text.toStdString();
  form.FormClose();
  f.reset();

  const std::vector<float> samples = recorded();
  ASSERT_FALSE(samples.empty());
  constexpr std::size_t kWindow = 4410;
  double alone = 0, under = 1, after = 0;
  bool effectSeen = false;
  for (std::size_t at = 0; (at + kWindow) * 2 <= samples.size(); at += kWindow) {
    const double music = toneAmplitude(samples, at, kWindow, 440);
    const double effect = toneAmplitude(samples, at, kWindow, 880);
    if (effect > 0.25) {
      effectSeen = true;
      under = std::min(under, music);
    } else if (!effectSeen) {
      alone = std::max(alone, music);
    } else if (effect < 0.01) {
      after = std::max(after, music);
    }
  }
  ASSERT_TRUE(effectSeen);
  EXPECT_NEAR(alone, 0.3, 0.02);
  EXPECT_NEAR(under, 0.3 * 0.25, 0.02);
  EXPECT_NEAR(after, 0.3, 0.02);  // back to its own volume once the effect has ended
}

}  // namespace
}  // namespace vuvedid::test
