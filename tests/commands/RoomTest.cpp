// The room's verbs on a fake audio library: where a button and its command differ, the
// table shows both from the same starting points.
#include <gtest/gtest.h>

#include <functional>

#include "support/RoomDoubles.h"

namespace vuvedid::test {
namespace {

enum class Before { Stopped, Playing, Paused };

TEST(Room, ButtonsAndCommandsFromEachPlayerState) {
  struct Case {
    const char* name;
    std::function<void(Room&)> verb;
    Before before;
    int foneState;
    int channel;  // what the library reports for the music
    bool mark;    // the pause mark shown
    bool timer3, playfone;
    bool restarted;  // a new stream made for the track
  };
  const auto pause = [](Room& r) { r.pause(); };
  const auto pauseButton = [](Room& r) { r.pauseButton(); };
  const auto resume = [](Room& r) { r.resume(); };
  const auto playButton = [](Room& r) { r.playButton(); };
  const auto stopButton = [](Room& r) { r.stopButton(); };
  const auto reset = [](Room& r) { r.reset(); };
  const Case cases[] = {
      {"pause command, playing", pause, Before::Playing, 2, ACTIVE_PAUSED, true, false, false,
       false},
      {"pause button, playing", pauseButton, Before::Playing, 2, ACTIVE_PAUSED, true, false, true,
       false},
      {"pause command, stopped", pause, Before::Stopped, 0, ACTIVE_STOPPED, true, false, false,
       false},
      {"pause button, stopped", pauseButton, Before::Stopped, 0, ACTIVE_STOPPED, false, true, true,
       false},
      {"resume command, paused", resume, Before::Paused, 1, ACTIVE_PLAYING, false, true, true,
       false},
      {"play button, paused", playButton, Before::Paused, 1, ACTIVE_PLAYING, false, true, true,
       false},
      // The command starts the track again; the button leaves a playing track alone.
      {"resume command, playing", resume, Before::Playing, 1, ACTIVE_PLAYING, false, true, true,
       true},
      {"play button, playing", playButton, Before::Playing, 1, ACTIVE_PLAYING, false, true, true,
       false},
      {"stop button, playing", stopButton, Before::Playing, 0, ACTIVE_STOPPED, false, false, false,
       false},
      {"stop button, paused", stopButton, Before::Paused, 2, ACTIVE_PAUSED, true, true, true,
       false},
      // "reset" silences the room but leaves the player's own state as it was.
      {"reset, playing", reset, Before::Playing, 1, ACTIVE_STOPPED, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RoomRig r;
    r.roomFolder(QStringLiteral("hall"), {"a.mp3", "b.mp3"});
    BackgroundPlayer& bg = r.bg;
    if (c.before != Before::Stopped) {
      r.room.play(QStringLiteral("hall"));
      bg.Timer_playfoneTimer();
      ASSERT_EQ(bg.fone_state, 1);
    }
    if (c.before == Before::Paused) {
      r.room.pause();
      ASSERT_EQ(bg.fone_state, 2);
    }
    // A running player, as far as its timers go.
    bg.timer3.setEnabled(true);
    bg.Timer_playfone.setEnabled(true);
    const int created = r.audio.created;
    c.verb(r.room);
    EXPECT_EQ(r.audio.created > created, c.restarted);
    EXPECT_EQ(bg.fone_state, c.foneState);
    EXPECT_EQ(r.audio.ChannelIsActive(bg.fone_chan), c.channel);
    EXPECT_EQ(r.view.paused, c.mark);
    EXPECT_EQ(bg.timer3.enabled(), c.timer3);
    EXPECT_EQ(bg.Timer_playfone.enabled(), c.playfone);
  }
}

TEST(Room, ResetSilencesEveryChannel) {
  RoomRig r;
  r.roomFolder(QStringLiteral("hall"), {"a.mp3"});
  r.file(QStringLiteral("signals/bell.mp3"));
  r.room.play(QStringLiteral("hall"));
  r.bg.Timer_playfoneTimer();
  for (int i = 0; i < 4; ++i) r.room.fx(QStringLiteral("50!bell.mp3"));
  r.bg.setTimeLeft(9);
  r.room.reset();
  for (const auto& s : r.audio.streams) EXPECT_EQ(s.state, ACTIVE_STOPPED) << s.path.toStdString();
  EXPECT_EQ(r.audio.streams.size(), 5);
  EXPECT_EQ(r.view.timeLeft, 0);
  EXPECT_EQ(r.view.progress, 0);
}

TEST(Room, SpokenTextIsShownEvenWhenTheServiceRefusesIt) {
  RoomRig r;
  r.room.speak(QStringLiteral(" Hello, hall "));
  EXPECT_EQ(r.speech.spoken, QStringList{" Hello, hall "});
  EXPECT_EQ(r.view.speechText, QStringLiteral(" Hello, hall "));
  EXPECT_EQ(r.room.speech.gpIVTxt, QStringLiteral(" Hello, hall "));

  r.speech.failWith = AppError(QStringLiteral("speech-dispatcher is not running"));
  EXPECT_THROW(r.room.speak(QStringLiteral("second")), AppError);
  EXPECT_EQ(r.view.speechText, QStringLiteral("second"));
  EXPECT_EQ(r.room.speech.gpIVTxt, QStringLiteral(" Hello, hall "));
}

}  // namespace
}  // namespace vuvedid::test
