// The four effect slots on their own, on a fake audio library and a recording view.
#include <gtest/gtest.h>

#include "app/Errors.h"
#include "support/RoomDoubles.h"

namespace vuvedid::test {
namespace {

const QString kStamp = QStringLiteral("09.12.23 14:05:07");

class EffectChannelsTest : public ::testing::Test {
 protected:
  EffectChannelsTest() {
    bell = r.file(QStringLiteral("signals/bell.mp3"));
    gong = r.file(QStringLiteral("signals/gong.mp3"));
  }
  HSTREAM chan(int n) const {
    const HSTREAM c[4] = {fx.fx_chan1, fx.fx_chan2, fx.fx_chan3, fx.fx_chan4};
    return c[n - 1];
  }
  int state(int n) { return r.audio.ChannelIsActive(chan(n)); }

  RoomRig r;
  EffectChannels& fx = r.fx;
  QString bell, gong;
};

TEST_F(EffectChannelsTest, SoundsTakeTheFirstFreeSlotAndAFifthIsDropped) {
  for (int n = 1; n <= 4; ++n) {
    fx.playfx(QStringLiteral("40!bell.mp3"));
    EXPECT_EQ(state(n), ACTIVE_PLAYING) << n;
    EXPECT_EQ(r.view.effectFiles.at(size_t(n - 1)), bell);
    EXPECT_FLOAT_EQ(r.audio.stream(chan(n))->volume, 0.40f);
  }
  const int created = r.audio.created;
  fx.playfx(QStringLiteral("40!gong.mp3"));
  EXPECT_EQ(r.audio.created, created);
  EXPECT_EQ(fx.fx_state1 + fx.fx_state2 + fx.fx_state3 + fx.fx_state4, 4);

  // A slot whose sound ended is free again, the first one first.
  r.audio.finish(fx.fx_chan3);
  r.audio.finish(fx.fx_chan2);
  fx.playfx(QStringLiteral("70!gong.mp3"));
  EXPECT_EQ(r.audio.ChannelGetFileName(fx.fx_chan2), gong);
  EXPECT_EQ(state(3), ACTIVE_STOPPED);
  EXPECT_TRUE(r.boxes.empty());
}

TEST_F(EffectChannelsTest, RepeatCheckSilencesTheSameSoundBeforeItStartsAgain) {
  struct Case {
    bool povtor;
    int slotsSounding;
  };
  for (const Case c : {Case{false, 2}, Case{true, 1}}) {
    SCOPED_TRACE(c.povtor);
    RoomRig rig;
    rig.file(QStringLiteral("signals/bell.mp3"));
    rig.settings.povtor = c.povtor;
    rig.fx.playfx(QStringLiteral("50!bell.mp3"));
    rig.fx.playfx(QStringLiteral("50!bell.mp3"));
    int sounding = 0;
    for (HSTREAM h : {rig.fx.fx_chan1, rig.fx.fx_chan2, rig.fx.fx_chan3, rig.fx.fx_chan4})
      sounding += rig.audio.ChannelIsActive(h) == ACTIVE_PLAYING;
    EXPECT_EQ(sounding, c.slotsSounding);
  }
}

TEST_F(EffectChannelsTest, VolumeThatIsNoNumberFailsOnlyWhenASlotIsFree) {
  for (const char* text : {"bell.mp3", "x!bell.mp3", "!bell.mp3"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(fx.playfx(QString::fromLatin1(text)), ConvertError);
    EXPECT_EQ(fx.fx_chan1, 0u);
  }
  for (int n = 0; n < 4; ++n) fx.playfx(QStringLiteral("50!bell.mp3"));
  EXPECT_NO_THROW(fx.playfx(QStringLiteral("x!bell.mp3")));  // dropped before the volume
}

TEST_F(EffectChannelsTest, FailuresAreLoggedAndTheSlotStaysUnstarted) {
  r.audio.broken.insert(gong);
  struct Case {
    QString argument;
    const char* line;
  };
  const Case cases[] = {{QStringLiteral("50!none.mp3"), "Файл не существует "},
                        {QStringLiteral("50!gong.mp3"), "Ошибка загрузки файла "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const qsizetype before = r.protocol().size();
    fx.playfx(c.argument);
    ASSERT_EQ(r.protocol().size(), before + 1);
    EXPECT_EQ(r.protocol().last(), QString::fromUtf8(c.line) + kStamp);
    EXPECT_EQ(fx.fx_state1, 0);
  }
  EXPECT_TRUE(r.boxes.empty());
}

TEST_F(EffectChannelsTest, TestButtonStartsASlotOnlyUntilItHasSounded) {
  fx.fx_file2 = bell;
  r.room.effectButton(2);
  EXPECT_EQ(state(2), ACTIVE_PLAYING);
  r.audio.finish(fx.fx_chan2);
  const int created = r.audio.created;
  r.room.effectButton(2);
  EXPECT_EQ(r.audio.created, created);

  // The bar sets the slot's level at once.
  r.room.effectVolume(2, 80);
  EXPECT_EQ(fx.fx_volume2, 80);
  EXPECT_FLOAT_EQ(r.audio.stream(fx.fx_chan2)->volume, 0.80f);
}

}  // namespace
}  // namespace vuvedid::test
