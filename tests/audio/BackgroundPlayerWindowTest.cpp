// The background channel on the real audio layer (SDL's dummy driver) with generated mp3
// rooms. Timer handlers are called directly where a tick's effect is the point; real time
// runs only where a track's real end or a paused position must be observed.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QTemporaryDir>

#include "app/Errors.h"
#include "audio/AudioDecoder.h"
#include "audio/BackgroundPlayer.h"
#include "commands/Room.h"
#include "support/AudioQtPrinters.h"
#include "support/Broker.h"
#include "support/FormFixture.h"
#include "support/RecordedWindow.h"
#include "support/SoundFiles.h"

namespace vuvedid::test {
namespace {

const QString kStamp = QStringLiteral("09.12.23 14:05:07");

QStringList listTexts(const QListWidget& list) {
  QStringList out;
  for (int i = 0; i < list.count(); ++i) out << list.item(i)->text();
  return out;
}

class BackgroundTest : public ::testing::Test, protected RecordedWindow {
 protected:
  BackgroundTest() {
    form.folder_m->setText(music.path());
    form.vol_default->setText(QStringLiteral("60"));
  }

  // A room folder holding tone files of the given lengths.
  QString room(const QString& name, const QStringList& files, double seconds = 1.0) {
    const QString dir = music.path() + QLatin1Char('/') + name;
    QDir().mkpath(dir);
    for (const QString& file : files)
      EXPECT_TRUE(toneFile(dir + QLatin1Char('/') + file, seconds)) << file.toStdString();
    return dir;
  }
  void playRoom(const QString& name) {
    bg.room = name;
    bg.playmusfoldername();
  }
  // What the "next" command does: the channel falls silent, the next tick moves on.
  void next() { real.ChannelStop(bg.fone_chan); }
  BackgroundPlayer& bg = form.room->background;
  QTemporaryDir music;
};

TEST_F(BackgroundTest, ListsPlainMp3FilesInCaseInsensitiveNameOrder) {
  enum Kind { File, Folder, Link };
  struct Entry {
    const char* name;
    Kind kind;
    int listedAt;  // -1: not listed
  };
  const Entry entries[] = {{"B.mp3", File, 1},       {"a.mp3", File, 0},
                           {"track10.mp3", File, 3}, {"track2.mp3", File, 4},
                           {"c.MP3", File, 2},       {"notes.txt", File, -1},
                           {".y.mp3", File, -1},     {"x.mp3", Folder, -1},
                           {"gone.mp3", Link, -1},   {"song.mp3.bak", File, -1}};
  const QString dir = music.path() + QStringLiteral("/hall");
  QDir().mkpath(dir);
  QStringList expected(5);
  for (const Entry& e : entries) {
    const QString path = dir + QLatin1Char('/') + QString::fromUtf8(e.name);
    if (e.kind == Folder) QDir().mkpath(path);
    if (e.kind == File) {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    if (e.kind == Link) {
      ASSERT_TRUE(QFile::link(dir + QStringLiteral("/nowhere"), path));
    }
    if (e.listedAt >= 0) expected[e.listedAt] = QString::fromUtf8(e.name);
  }
  // Doubled and trailing separators in the setting do not reach the playlist's paths.
  form.folder_m->setText(music.path() + QStringLiteral("//"));
  playRoom(QStringLiteral("hall"));

  EXPECT_EQ(form.FileListBox1->entries(), expected);
  EXPECT_EQ(form.FileListBox1->directory(), dir);
  QStringList paths;
  for (const QString& name : expected) paths << dir + QLatin1Char('/') + name;
  EXPECT_EQ(listTexts(*form.ListBox1), paths);
  EXPECT_EQ(bg.track_no, 0);
  EXPECT_TRUE(bg.Timer_playfone.enabled());
}

TEST_F(BackgroundTest, MissingRoomFolderIsReportedAndThePreviousPlaylistStays) {
  room(QStringLiteral("hall"), {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
  playRoom(QStringLiteral("hall"));
  const QStringList before = listTexts(*form.ListBox1);
  bg.track_no = 1;

  bg.room = QStringLiteral("cellar");
  form.guarded([this] { bg.playmusfoldername(); });

  ASSERT_EQ(f.boxes.boxes.size(), 1u);
  EXPECT_EQ(f.boxes.boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(f.boxes.boxes[0].caption, QStringLiteral("Vuvedid"));
  EXPECT_EQ(f.boxes.boxes[0].text, QStringLiteral("The specified file was not found."));
  EXPECT_EQ(listTexts(*form.ListBox1), before);
  EXPECT_EQ(bg.track_no, 0);  // the old playlist starts again from its first entry
  EXPECT_TRUE(bg.Timer_playfone.enabled());
}

TEST_F(BackgroundTest, ShuffleFollowsTheGeneratorsDraws) {
  // Worked by hand from state' = state * 134775813 + 1 (mod 2^32), draw = (state' * n) >> 32:
  //  seed 1: 134775814*3>>32 = 0 (A); 3698175007*2>>32 = 1 (C of B,C); then B.
  //  seed 7: 943430692*4>>32 = 0 (A); 3603733685*3>>32 = 2 (D of B,C,D);
  //          1081369482*2>>32 = 0 (B); then C.
  struct Case {
    std::uint32_t seed;
    QStringList in, out;
  };
  const Case cases[] = {
      {1, {"A", "B", "C"}, {"A", "C", "B"}},
      {7, {"A", "B", "C", "D"}, {"A", "D", "B", "C"}},
  };
  for (const Case& c : cases) {
    bg.playlist = c.in;
    bg.track_no = 2;
    bg.random.setSeed(c.seed);
    form.btn_shufleClick();
    EXPECT_EQ(listTexts(*form.ListBox1), c.out) << "seed " << c.seed;
    EXPECT_EQ(listTexts(*form.ListBox2), c.out) << "seed " << c.seed;
    EXPECT_EQ(bg.track_no, 2);
  }
}

TEST_F(BackgroundTest, ShuffleBoxShufflesEveryNewPlaylist) {
  room(QStringLiteral("hall"),
       {QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3")});
  form.chbx_shufle->setChecked(true);
  bg.random.setSeed(1);
  playRoom(QStringLiteral("hall"));
  const QString dir = music.path() + QStringLiteral("/hall/");
  EXPECT_EQ(listTexts(*form.ListBox1), (QStringList{dir + "a.mp3", dir + "c.mp3", dir + "b.mp3"}));
}

TEST_F(BackgroundTest, RoomPlaysInOrderAndLoops) {
  const QString dir =
      room(QStringLiteral("hall"),
           {QStringLiteral("c.mp3"), QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}, 2.0);
  playRoom(QStringLiteral("hall"));
  struct Step {
    const char* number;
    const char* file;
    int trackNoAfter;
  };
  const Step steps[] = {{"1", "a.mp3", 1}, {"2", "b.mp3", 2}, {"3", "c.mp3", 0}, {"1", "a.mp3", 1}};
  for (const Step& s : steps) {
    bg.Timer_playfoneTimer();
    EXPECT_EQ(form.l_numtrack->text(), QString::fromUtf8(s.number));
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8(s.file));
    EXPECT_EQ(bg.track_no, s.trackNoAfter);
    EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING) << s.file;
    EXPECT_EQ(audio.ChannelGetFileName(bg.fone_chan), dir + QLatin1Char('/') + s.file);
    EXPECT_EQ(bg.fone_state, 1);
    // While the track sounds the tick leaves it alone.
    bg.Timer_playfoneTimer();
    EXPECT_EQ(form.l_numtrack->text(), QString::fromUtf8(s.number));
    next();
  }
  EXPECT_TRUE(f.boxes.boxes.empty());
  EXPECT_TRUE(protocol().isEmpty());
}

TEST_F(BackgroundTest, NextTrackStartsWhenTheCurrentOneEnds) {
  room(QStringLiteral("hall"), {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}, 1.0);
  playRoom(QStringLiteral("hall"));  // enables the real one-second tick
  ASSERT_TRUE(waitFor([&] { return form.windowTitle() == QLatin1String("a.mp3"); }, 2500));
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
  EXPECT_TRUE(waitFor([&] { return form.windowTitle() == QLatin1String("b.mp3"); }, 4000));
  EXPECT_EQ(form.l_numtrack->text(), QStringLiteral("2"));
}

TEST_F(BackgroundTest, CountdownShowsWholeSecondsAndMarksStoppedAtZero) {
  room(QStringLiteral("hall"), {QStringLiteral("a.mp3")}, 2.6);
  playRoom(QStringLiteral("hall"));
  bg.Timer_playfoneTimer();
  EXPECT_EQ(bg.track_len_sec, 2);
  EXPECT_EQ(form.l_time->text(), QStringLiteral("2"));
  EXPECT_EQ(form.pb1->maximum(), 2);
  EXPECT_EQ(form.pb1->value(), 0);
  EXPECT_TRUE(bg.timer3.enabled());

  bg.timer3Timer();
  EXPECT_EQ(form.l_time->text(), QStringLiteral("1"));
  EXPECT_EQ(form.pb1->value(), 1);
  EXPECT_EQ(bg.fone_state, 1);

  bg.timer3Timer();
  EXPECT_EQ(form.l_time->text(), QStringLiteral("0"));
  EXPECT_EQ(form.pb1->value(), 0);
  EXPECT_FALSE(bg.timer3.enabled());
  EXPECT_EQ(bg.fone_state, 0);
  // Only the mark is reset: the last fraction of a second still sounds.
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
}

TEST_F(BackgroundTest, CountdownOfAVbrTrackEndsUpAtItsExactLength) {
  // Silence, then a tone, VBR without a header tag: the file's start tells its length only
  // roughly, the layer measures it while the track plays.
  QTemporaryDir scratch;
  const QString wav = scratch.filePath(QStringLiteral("t.wav"));
  ASSERT_TRUE(
      runTool(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth",
                                      "12", "sine", "440", "vol", "0.5", "pad", "8", "0"}));
  const QString dir = room(QStringLiteral("hall"), {});
  const QString mp3 = dir + QStringLiteral("/a.mp3");
  ASSERT_TRUE(runTool(QStringLiteral("lame"), {"--quiet", "-V2", "-t", wav, mp3}));
  const int exact = static_cast<int>(AudioDecoder::exactFrames(mp3) / 44100);
  ASSERT_GE(exact, 20);

  playRoom(QStringLiteral("hall"));
  bg.Timer_playfone.setEnabled(false);  // this test drives the ticks itself
  bg.Timer_playfoneTimer();
  ASSERT_TRUE(waitFor([&] { return audio.ChannelLengthFinal(bg.fone_chan); }, 10000));
  bg.timer3Timer();
  EXPECT_EQ(bg.track_len_sec, exact);
  EXPECT_EQ(form.l_time->text(), QString::number(exact - 1));
  EXPECT_EQ(form.pb1->maximum(), exact);
  EXPECT_EQ(form.pb1->value(), 1);
}

TEST_F(BackgroundTest, PauseKeepsThePositionAndPlayResumes) {
  room(QStringLiteral("hall"), {QStringLiteral("a.mp3")}, 2.0);
  playRoom(QStringLiteral("hall"));
  bg.Timer_playfone.setEnabled(false);  // this test drives the ticks itself
  bg.Timer_playfoneTimer();
  spin(1000);

  form.btn_pauseClick();
  EXPECT_EQ(bg.fone_state, 2);
  EXPECT_FALSE(form.l_stoped->isHidden());
  EXPECT_FALSE(bg.timer3.enabled());
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PAUSED);
  bg.Timer_playfoneTimer();  // a paused channel counts as busy
  EXPECT_EQ(form.l_numtrack->text(), QStringLiteral("1"));
  form.btn_stopClick();  // stop while paused does nothing
  EXPECT_EQ(bg.fone_state, 2);
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PAUSED);
  EXPECT_EQ(form.l_numtrack->text(), QStringLiteral("1"));
  spin(1200);  // longer than the rest of the track

  bg.setTimeLeft(1);
  form.btn_playClick();
  EXPECT_EQ(bg.fone_state, 1);
  EXPECT_TRUE(form.l_stoped->isHidden());
  EXPECT_TRUE(bg.timer3.enabled());
  EXPECT_EQ(form.l_time->text(), QStringLiteral("2"));  // the countdown starts afresh
  // About one second was left: the track outlived the pause and ends well before a
  // restarted one (two seconds) would.
  QElapsedTimer t;
  t.start();
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
  EXPECT_TRUE(waitFor([&] { return audio.ChannelIsActive(bg.fone_chan) == ACTIVE_STOPPED; }, 3000));
  EXPECT_GT(t.elapsed(), 500);
  EXPECT_LT(t.elapsed(), 1700);

  form.btn_playClick();  // play while playing only hides the mark
  EXPECT_EQ(form.l_numtrack->text(), QStringLiteral("1"));
}

TEST_F(BackgroundTest, StopButtonStopsOnlyAPlayingTrack) {
  room(QStringLiteral("hall"), {QStringLiteral("a.mp3")}, 2.0);
  playRoom(QStringLiteral("hall"));
  bg.Timer_playfoneTimer();
  ASSERT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);

  form.btn_stopClick();
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_STOPPED);
  EXPECT_EQ(bg.fone_state, 0);
  EXPECT_EQ(form.l_numtrack->text(), QStringLiteral("_"));
  EXPECT_EQ(form.l_time->text(), QStringLiteral("0"));
  EXPECT_EQ(form.pb1->value(), 0);
  EXPECT_FALSE(bg.timer3.enabled());
  EXPECT_FALSE(bg.Timer_playfone.enabled());
}

TEST_F(BackgroundTest, PausedTrackStoppedByNextGivesWayToTheNextEntry) {
  const QString dir =
      room(QStringLiteral("hall"), {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}, 2.0);
  playRoom(QStringLiteral("hall"));
  bg.Timer_playfoneTimer();
  form.btn_pauseClick();
  next();
  bg.Timer_playfoneTimer();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("b.mp3"));
  EXPECT_EQ(audio.ChannelGetFileName(bg.fone_chan), dir + QStringLiteral("/b.mp3"));
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
}

TEST_F(BackgroundTest, VolumeCommandSetsTheChannelTheBarAndTheLabel) {
  room(QStringLiteral("hall"), {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}, 2.0);
  struct Case {
    const char* text;
    int bar;
    float toLayer;
  };
  const Case cases[] = {{"30", 30, 0.3f}, {"150", 100, 1.5f}, {"0", 0, 0.0f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    bg.cmd_volume = 0;
    playRoom(QStringLiteral("hall"));
    bg.Timer_playfoneTimer();
    EXPECT_FLOAT_EQ(audio.lastVolume(bg.fone_chan), 0.6f);  // vol_default

    bg.setlevel1(QString::fromUtf8(c.text));
    EXPECT_FLOAT_EQ(audio.lastVolume(bg.fone_chan), c.toLayer);
    EXPECT_EQ(form.JvTrackBar1->value(), c.bar);
    EXPECT_EQ(form.l_volume->text(), QString::fromUtf8(c.text));

    // Pause and play bring back the default until the next track takes the command's
    // volume (none after a command of 0).
    form.btn_pauseClick();
    form.btn_playClick();
    EXPECT_FLOAT_EQ(audio.lastVolume(bg.fone_chan), 0.6f);
    next();
    bg.Timer_playfoneTimer();
    EXPECT_FLOAT_EQ(audio.lastVolume(bg.fone_chan), c.toLayer == 0 ? 0.6f : c.toLayer);
    next();
  }
}

TEST_F(BackgroundTest, VolumeTextThatIsNoIntegerChangesNothing) {
  bg.setlevel1(QStringLiteral("40"));
  const std::size_t calls = audio.volumes.size();
  for (const char* text : {"abc", "", "30 next", "1.5", "99999999999"}) {
    form.guarded([&] { bg.setlevel1(QString::fromUtf8(text)); });
    ASSERT_FALSE(f.boxes.boxes.empty());
    EXPECT_EQ(f.boxes.boxes.back().text,
              QStringLiteral("'%1' is not a valid integer value.").arg(QString::fromUtf8(text)));
    EXPECT_EQ(bg.cmd_volume, 40);
    EXPECT_EQ(form.JvTrackBar1->value(), 40);
    EXPECT_EQ(form.l_volume->text(), QStringLiteral("40"));
    EXPECT_EQ(audio.volumes.size(), calls);
  }
}

TEST_F(BackgroundTest, MissingTrackShowsTheBoxAndALogLine) {
  const QString folder = room(QStringLiteral("hall"), {});
  for (const QString& path : {QString(), music.path() + QStringLiteral("/none.mp3"), folder}) {
    SCOPED_TRACE(path.toStdString());
    f.boxes.boxes.clear();
    form.M_protokol->clear();
    form.efilename->setText(path);
    form.btn_playClick();
    ASSERT_EQ(f.boxes.boxes.size(), 1u);
    EXPECT_EQ(f.boxes.boxes[0].icon, BoxIcon::None);
    EXPECT_EQ(f.boxes.boxes[0].text, QStringLiteral("Файл не существует"));
    EXPECT_EQ(protocol(), QStringList{QStringLiteral("Файл не существует ") + kStamp});
    EXPECT_EQ(bg.fone_chan, 0u);
    EXPECT_EQ(bg.fone_state, 0);
    EXPECT_EQ(form.l_time->text(), QStringLiteral("0"));
  }
}

TEST_F(BackgroundTest, UnloadableTrackIsLoggedAndShowsZero) {
  const QString dir = room(QStringLiteral("hall"), {});
  QFile bad(dir + QStringLiteral("/bad.mp3"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("this is no sound");
  bad.close();
  bg.progress_max = 7;
  playRoom(QStringLiteral("hall"));
  bg.Timer_playfoneTimer();

  EXPECT_EQ(protocol().value(0), QStringLiteral("Ошибка загрузки файла ") + kStamp);
  EXPECT_TRUE(f.boxes.boxes.empty());
  EXPECT_EQ(bg.fone_chan, 0u);
  EXPECT_EQ(form.l_time->text(), QStringLiteral("0"));
  EXPECT_EQ(form.pb1->value(), 0);
  EXPECT_GE(form.pb1->maximum(), 0);
  bg.timer3Timer();
  EXPECT_EQ(form.l_time->text(), QStringLiteral("0"));
  EXPECT_GE(form.pb1->maximum(), 0);
}

TEST_F(BackgroundTest, EmptyPlaylistStopsTheTickWithOneLine) {
  room(QStringLiteral("empty"), {});
  struct Case {
    const char* what;
    bool build;
  };
  for (const Case c : {Case{"room without mp3 files", true}, Case{"no playlist yet", false}}) {
    SCOPED_TRACE(c.what);
    form.M_protokol->clear();
    bg.playlist.clear();
    if (c.build)
      playRoom(QStringLiteral("empty"));
    else
      bg.Timer_playfone.setEnabled(true);  // what "resume" does
    for (int i = 0; i < 5 && bg.Timer_playfone.enabled(); ++i) bg.Timer_playfoneTimer();
    EXPECT_FALSE(bg.Timer_playfone.enabled());
    EXPECT_EQ(protocol(), QStringList{QStringLiteral("Плейлист пуст ") + kStamp});
    EXPECT_TRUE(f.boxes.boxes.empty());
  }
}

TEST_F(BackgroundTest, PlaylistOfMissingFilesShowsOneBoxAndStops) {
  const QString dir =
      room(QStringLiteral("hall"),
           {QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3")});
  playRoom(QStringLiteral("hall"));
  QDir(dir).removeRecursively();
  // The box is modal: ticks go on while it is open.
  f.boxes.onShow = [this](const Box&) {
    bg.Timer_playfoneTimer();
    bg.Timer_playfoneTimer();
  };
  for (int i = 0; i < 10 && bg.Timer_playfone.enabled(); ++i) bg.Timer_playfoneTimer();

  EXPECT_EQ(f.boxes.texts(), QStringList{QStringLiteral("Файл не существует")});
  const QString missing = QStringLiteral("Файл не существует ") + kStamp;
  EXPECT_EQ(protocol(),
            (QStringList{missing, missing, missing,
                         QStringLiteral("Нет воспроизводимых файлов в плейлисте ") + kStamp}));
  EXPECT_FALSE(bg.Timer_playfone.enabled());
  EXPECT_GE(form.pb1->maximum(), 0);

  // A resume tries the round again, quietly: the box was shown for this playlist.
  bg.Timer_playfone.setEnabled(true);
  for (int i = 0; i < 10 && bg.Timer_playfone.enabled(); ++i) bg.Timer_playfoneTimer();
  EXPECT_EQ(f.boxes.boxes.size(), 1u);
  EXPECT_FALSE(bg.Timer_playfone.enabled());
}

TEST_F(BackgroundTest, MissingEntryAmongGoodOnesShowsItsBoxOncePerPlaylistBuild) {
  const QString dir =
      room(QStringLiteral("hall"), {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}, 2.0);
  for (int build = 1; build <= 2; ++build) {
    SCOPED_TRACE(build);
    EXPECT_TRUE(toneFile(dir + QStringLiteral("/b.mp3"), 2.0));
    playRoom(QStringLiteral("hall"));
    QFile::remove(dir + QStringLiteral("/b.mp3"));
    for (int round = 0; round < 3; ++round) {
      bg.Timer_playfoneTimer();  // a.mp3 plays
      EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
      next();
      bg.Timer_playfoneTimer();  // b.mp3 is gone
    }
    EXPECT_EQ(f.boxes.boxes.size(), std::size_t(build));
    EXPECT_TRUE(bg.Timer_playfone.enabled());  // the room still plays what it has
  }
  EXPECT_EQ(protocol().count(QStringLiteral("Файл не существует ") + kStamp), 6);
}

}  // namespace
}  // namespace vuvedid::test
