// The background channel on its own: a fake audio library that keeps streams as records
// and a view that keeps what each control was told, so every step of the playlist, the
// countdown and the failure reports can be checked without a window or a sound card.
#include <gtest/gtest.h>

#include <QFile>

#include "app/Errors.h"
#include "support/RoomDoubles.h"

namespace vuvedid::test {
namespace {

const QString kStamp = QStringLiteral("09.12.23 14:05:07");

QString line(const char* text) { return QString::fromUtf8(text) + kStamp; }

class BackgroundPlayerTest : public ::testing::Test {
 protected:
  void build(const QString& name) {
    bg.room = name;
    bg.playmusfoldername();
  }
  const FakeAudioLibrary::Stream* music() const { return r.audio.stream(bg.fone_chan); }

  RoomRig r;
  BackgroundPlayer& bg = r.bg;
  RecordingRoomView& view = r.view;
};

TEST_F(BackgroundPlayerTest, TickWalksThePlaylistInNameOrderAndWraps) {
  const QStringList paths = r.roomFolder(QStringLiteral("hall"), {"b.mp3", "a.mp3", "c.mp3"});
  const QStringList sorted{paths[1], paths[0], paths[2]};
  build(QStringLiteral("hall"));
  EXPECT_EQ(bg.playlist, sorted);
  EXPECT_EQ(view.playlist, sorted);
  EXPECT_EQ(view.listedNames, QStringList({"a.mp3", "b.mp3", "c.mp3"}));
  EXPECT_TRUE(bg.Timer_playfone.enabled());

  for (int expected : {0, 1, 2, 0}) {
    SCOPED_TRACE(expected);
    bg.Timer_playfoneTimer();
    ASSERT_NE(music(), nullptr);
    EXPECT_EQ(music()->path, sorted[expected]);
    EXPECT_EQ(music()->state, ACTIVE_PLAYING);
    EXPECT_TRUE(music()->ducked);
    EXPECT_EQ(view.track, sorted[expected]);
    EXPECT_EQ(view.trackNumber, QString::number(expected + 1));
    EXPECT_EQ(view.title, sorted[expected].section('/', -1));
    EXPECT_EQ(bg.fone_state, 1);
    // While the track sounds the tick leaves it alone.
    const int created = r.audio.created;
    bg.Timer_playfoneTimer();
    EXPECT_EQ(r.audio.created, created);
    r.audio.finish(bg.fone_chan);
  }
  // Only the current stream is held.
  EXPECT_EQ(r.audio.streams.size(), 1);
  EXPECT_TRUE(r.boxes.empty());
}

TEST_F(BackgroundPlayerTest, CountdownStartsAtTheTrackLengthAndEndsAtZero) {
  struct Case {
    const char* name;
    std::uint64_t bytes;  // 0: the file does not load
    int seconds;
    int progressMax;
  };
  const Case cases[] = {
      {"three seconds", 3 * FakeAudioLibrary::kBytesPerSecond, 3, 3},
      {"a part second is cut", FakeAudioLibrary::kBytesPerSecond * 5 / 2, 2, 2},
      {"unloadable file", 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RoomRig rig;
    const QString path = rig.roomFolder(QStringLiteral("hall"), {"a.mp3"}).first();
    if (c.bytes == 0)
      rig.audio.broken.insert(path);
    else
      rig.audio.lengths.insert(path, c.bytes);
    BackgroundPlayer& p = rig.bg;
    p.room = QStringLiteral("hall");
    p.playmusfoldername();
    p.Timer_playfoneTimer();
    EXPECT_EQ(rig.view.timeLeft, c.seconds);
    EXPECT_EQ(rig.view.progress, 0);
    EXPECT_EQ(rig.view.progressMax, c.progressMax);
    EXPECT_TRUE(p.timer3.enabled());

    for (int left = c.seconds - 1; left > 0; --left) {
      p.timer3Timer();
      EXPECT_EQ(rig.view.timeLeft, left);
      EXPECT_EQ(rig.view.progress, c.seconds - left);
      EXPECT_TRUE(p.timer3.enabled());
    }
    p.timer3Timer();
    EXPECT_EQ(rig.view.timeLeft, 0);
    EXPECT_EQ(rig.view.progress, 0);
    EXPECT_FALSE(p.timer3.enabled());
    EXPECT_EQ(p.fone_state, 0);
  }
}

TEST_F(BackgroundPlayerTest, CountdownTakesUpTheExactLengthOnceTheLayerHasMeasuredIt) {
  // The layer answers with an estimate first; the countdown must still end when the track
  // does, and the bar's maximum must be the real length.
  struct Case {
    const char* name;
    int estimate;
    int exact;
    int ticksBefore;  // countdown ticks while the length is still an estimate
  };
  const Case cases[] = {
      {"estimate too short", 200, 215, 3},
      {"estimate too long", 230, 215, 3},
      {"measured before the first tick", 230, 215, 0},
      {"estimate right", 215, 215, 2},
  };
  constexpr std::uint64_t kSecond = FakeAudioLibrary::kBytesPerSecond;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RoomRig rig;
    const QString path = rig.roomFolder(QStringLiteral("hall"), {"a.mp3"}).first();
    rig.audio.lengths.insert(path, c.exact * kSecond + kSecond / 2);
    rig.audio.estimates.insert(path, c.estimate * kSecond);
    BackgroundPlayer& p = rig.bg;
    p.room = QStringLiteral("hall");
    p.playmusfoldername();
    p.Timer_playfoneTimer();
    EXPECT_EQ(rig.view.timeLeft, c.estimate);
    EXPECT_EQ(rig.view.progressMax, c.estimate);
    for (int i = 0; i < c.ticksBefore; ++i) p.timer3Timer();
    EXPECT_EQ(rig.view.timeLeft, c.estimate - c.ticksBefore);

    rig.audio.measured(path);
    p.timer3Timer();
    int ticks = c.ticksBefore + 1;
    EXPECT_EQ(p.track_len_sec, c.exact);
    EXPECT_EQ(rig.view.timeLeft, c.exact - ticks);
    EXPECT_EQ(rig.view.progressMax, c.exact);
    EXPECT_EQ(rig.view.progress, ticks);
    while (p.timer3.enabled() && ticks < 1000) {
      p.timer3Timer();
      ++ticks;
    }
    EXPECT_EQ(ticks, c.exact) << "the countdown ends with the track's whole seconds";
    EXPECT_EQ(p.fone_state, 0);
  }
}

TEST_F(BackgroundPlayerTest, MissingFileBoxOncePerPlaylistFromTheTickEveryTimeFromTheButton) {
  const QStringList paths = r.roomFolder(QStringLiteral("hall"), {"a.mp3", "b.mp3"});
  build(QStringLiteral("hall"));
  for (const QString& p : paths) QFile::remove(p);

  bg.Timer_playfoneTimer();
  bg.Timer_playfoneTimer();  // the whole round failed: the tick gives up
  EXPECT_EQ(r.boxTexts(), QStringList{QStringLiteral("Файл не существует")});
  EXPECT_EQ(r.boxes.at(0).caption, QStringLiteral("Vuvedid"));
  EXPECT_EQ(r.boxes.at(0).icon, BoxIcon::None);
  EXPECT_EQ(r.protocol(), QStringList({line("Файл не существует "), line("Файл не существует "),
                                       line("Нет воспроизводимых файлов в плейлисте ")}));
  EXPECT_FALSE(bg.Timer_playfone.enabled());

  // A new playlist may show the box again.
  r.roomFolder(QStringLiteral("hall"), {"a.mp3"});
  build(QStringLiteral("hall"));
  QFile::remove(paths[0]);
  bg.Timer_playfoneTimer();
  EXPECT_EQ(r.boxes.size(), 2u);

  // The play button is a person asking: each press is answered.
  r.room.playButton();
  r.room.playButton();
  EXPECT_EQ(r.boxes.size(), 4u);
  EXPECT_EQ(bg.fone_state, 0);
}

TEST_F(BackgroundPlayerTest, EmptyPlaylistStopsTheTickWithOneLine) {
  r.roomFolder(QStringLiteral("empty"), {});
  build(QStringLiteral("empty"));
  bg.Timer_playfoneTimer();
  EXPECT_FALSE(bg.Timer_playfone.enabled());
  EXPECT_EQ(r.protocol(), QStringList{line("Плейлист пуст ")});
  EXPECT_TRUE(r.boxes.empty());
}

TEST_F(BackgroundPlayerTest, VolumeCommandSetsTheChannelAndTheTickKeepsIt) {
  struct Case {
    const char* text;
    int bar;
    float volume;
  };
  r.roomFolder(QStringLiteral("hall"), {"a.mp3", "b.mp3"});
  r.settings.setVolDefault(QStringLiteral("60"));
  build(QStringLiteral("hall"));
  bg.Timer_playfoneTimer();
  EXPECT_FLOAT_EQ(music()->volume, 0.60f);

  for (const Case& c : {Case{"30", 30, 0.30f}, Case{"150", 100, 1.50f}, Case{"-5", 0, -0.05f}}) {
    SCOPED_TRACE(c.text);
    bg.setlevel1(QString::fromLatin1(c.text));
    EXPECT_EQ(bg.cmd_volume, QString::fromLatin1(c.text).toInt());
    EXPECT_EQ(view.volumeBar, c.bar);
    EXPECT_EQ(view.volumeText, QString::fromLatin1(c.text));
    EXPECT_FLOAT_EQ(music()->volume, c.volume);
  }
  // No number: nothing changes.
  EXPECT_THROW(bg.setlevel1(QStringLiteral("loud")), ConvertError);
  EXPECT_EQ(bg.cmd_volume, -5);
  EXPECT_EQ(view.volumeText, QStringLiteral("-5"));

  // The next track plays at the commanded level; a command of 0 hands back to the default.
  bg.setlevel1(QStringLiteral("30"));
  r.audio.finish(bg.fone_chan);
  bg.Timer_playfoneTimer();
  EXPECT_FLOAT_EQ(music()->volume, 0.30f);
  bg.setlevel1(QStringLiteral("0"));
  r.audio.finish(bg.fone_chan);
  bg.Timer_playfoneTimer();
  EXPECT_FLOAT_EQ(music()->volume, 0.60f);
}

TEST_F(BackgroundPlayerTest, NextWhilePausedStartsTheFollowingEntry) {
  const QStringList paths = r.roomFolder(QStringLiteral("hall"), {"a.mp3", "b.mp3"});
  build(QStringLiteral("hall"));
  bg.Timer_playfoneTimer();
  r.room.pauseButton();
  EXPECT_EQ(bg.fone_state, 2);
  EXPECT_EQ(music()->state, ACTIVE_PAUSED);
  EXPECT_TRUE(view.paused);

  r.room.next();
  bg.Timer_playfoneTimer();
  EXPECT_EQ(music()->path, paths[1]);
  EXPECT_EQ(music()->state, ACTIVE_PLAYING);
  EXPECT_EQ(bg.fone_state, 1);
}

}  // namespace
}  // namespace vuvedid::test
