// Losing the broker and coming back: the room's own retrying, the refused heartbeat's
// reconnect, and events of a session that has been replaced.
#include <gtest/gtest.h>

#include <QApplication>

#include "MqttSession.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

// Stops the broker and waits until the window has handled the lost connection.
void loseBroker(MqttSession& s) {
  const qsizetype handled = s.count(QStringLiteral("Callback_on_disconnect"));
  s.broker.stop();
  ASSERT_TRUE(
      waitFor([&] { return s.count(QStringLiteral("Callback_on_disconnect")) > handled; }, 3000));
  ASSERT_FALSE(s.mqtt.f_connected);
}

// A command sent now is executed.
bool commandRuns(MqttSession& s, const QString& word) {
  if (s.send({QStringLiteral("-m"), QStringLiteral("speak:") + word}) != 0) return false;
  return waitFor([&] { return s.f.speech.spoken.contains(word); }, 3000);
}

}  // namespace

// A room set to reconnect comes back by itself once the broker is back: no tick, no click.
TEST(Reconnect, AfterTheBrokerCameBackTheRoomConnectsAndSubscribesByItself) {
  for (bool clean : {false, true}) {
    MqttSession s;
    s.form.chbx_act->setChecked(true);
    s.form.chbx_reconnect->setChecked(true);
    s.form.CleanBox2->setChecked(clean);
    ASSERT_TRUE(s.connectAndSubscribe());
    const std::uint64_t before = s.mqtt.sessionTag();
    const qsizetype acks = s.count(QStringLiteral("Callback_on_subscribe"));
    loseBroker(s);
    EXPECT_FALSE(QApplication::overrideCursor());
    s.broker.start();
    ASSERT_TRUE(
        waitFor([&] { return s.count(QStringLiteral("Callback_on_subscribe")) > acks; }, 5000));
    EXPECT_NE(s.mqtt.sessionTag(), before);
    EXPECT_EQ(s.mqtt.user_disconnect, 0);
    EXPECT_FALSE(s.form.btnConnect->isEnabled());
    EXPECT_TRUE(s.mqtt.f_connected);
    EXPECT_TRUE(commandRuns(s, QStringLiteral("back")));
    EXPECT_TRUE(s.f.boxes.boxes.empty());

    // Connected again: the next tick is an ordinary heartbeat.
    const std::uint64_t after = s.mqtt.sessionTag();
    s.press(&TForm_player::Timer_actTimer);
    EXPECT_EQ(s.mqtt.sessionTag(), after);
  }
}

// A broker that stays away for a while: the room keeps trying with a growing delay, the
// operator gets one box for the whole outage (the rest go to the system log), and the room
// is back and subscribed as soon as the broker is.
TEST(Reconnect, ABrokerDownForAWhileIsRetriedWithOneBox) {
  MqttSession s;
  s.form.chbx_act->setChecked(true);
  s.form.chbx_reconnect->setChecked(true);
  ASSERT_TRUE(s.connectAndSubscribe());
  loseBroker(s);
  // Ticks meanwhile only try their heartbeat; the attempts do not wait for them.
  for (int tick = 0; tick < 3; ++tick) s.press(&TForm_player::Timer_actTimer);
  ASSERT_TRUE(waitFor(
      [&] { return s.count(QStringLiteral("Ошибка соединения: Connection error")) >= 1; }, 6000));
  ASSERT_EQ(s.f.boxes.boxes.size(), 1u);
  EXPECT_EQ(s.f.boxes.boxes[0].text, QStringLiteral("Ошибка соединения: Connection error"));
  EXPECT_TRUE(s.mqtt.retryPending() || !s.mqtt.f_connected);

  s.broker.start();
  const qsizetype acks = s.count(QStringLiteral("Callback_on_subscribe"));
  ASSERT_TRUE(
      waitFor([&] { return s.count(QStringLiteral("Callback_on_subscribe")) > acks; }, 8000));
  EXPECT_EQ(s.mqtt.user_disconnect, 0);
  EXPECT_TRUE(commandRuns(s, QStringLiteral("again")));
  EXPECT_EQ(s.f.boxes.boxes.size(), 1u);

  // The user's own Disconnect ends the retrying for good.
  loseBroker(s);
  s.press(&TForm_player::btnDisconnectClick);
  EXPECT_FALSE(s.mqtt.retryPending());
  s.broker.start();
  spin(2500);
  s.press(&TForm_player::Timer_actTimer);
  EXPECT_EQ(s.f.boxes.boxes.size(), 1u);
  EXPECT_FALSE(s.mqtt.f_connected);
}

TEST(Reconnect, NoReconnectWhenNotAllowedOrAfterTheUserDisconnected) {
  struct Case {
    bool allowed;
    bool userDisconnects;
  };
  for (const Case c : {Case{false, false}, Case{true, true}}) {
    MqttSession s;
    s.form.chbx_act->setChecked(true);
    s.form.chbx_reconnect->setChecked(c.allowed);
    ASSERT_TRUE(s.connectAndSubscribe());
    if (c.userDisconnects) {
      s.press(&TForm_player::btnDisconnectClick);
      ASSERT_TRUE(waitFor([&] { return !s.mqtt.f_connected; }, 3000));
    } else {
      loseBroker(s);
      s.broker.start();
    }
    const std::uint64_t tag = s.mqtt.sessionTag();
    for (int i = 0; i < 3; ++i) s.press(&TForm_player::Timer_actTimer);
    spin(100);
    EXPECT_EQ(s.mqtt.sessionTag(), tag);
    EXPECT_FALSE(s.mqtt.f_connected);
    EXPECT_TRUE(s.f.boxes.boxes.empty());
  }
}

TEST(Reconnect, RefusedHeartbeatLeadsToOneReconnectAtTheNextAcceptedTick) {
  MqttSession s;
  s.form.chbx_act->setChecked(true);
  s.form.chbx_reconnect->setChecked(true);
  s.form.CleanBox2->setChecked(true);
  ASSERT_TRUE(s.connectAndSubscribe());
  const std::uint64_t first = s.mqtt.sessionTag();

  s.form.eTopicSend->setText(QStringLiteral("send/+"));  // the library refuses the publish
  s.press(&TForm_player::Timer_actTimer);
  ASSERT_EQ(s.f.boxes.boxes.size(), 1u);
  EXPECT_EQ(s.f.boxes.boxes[0].text,
            QStringLiteral("Ошибка выполнения Publish: The input parameters is invalid"));
  EXPECT_EQ(s.mqtt.publish_error, 1);
  EXPECT_EQ(s.mqtt.sessionTag(), first);  // not in the tick that failed

  s.form.eTopicSend->setText(QStringLiteral("send"));
  Subscriber sub(s.broker, QStringLiteral("send"));
  const qsizetype acks = s.count(QStringLiteral("Callback_on_subscribe"));
  s.press(&TForm_player::Timer_actTimer);
  EXPECT_EQ(sub.waitForMessages(1), QStringList{QStringLiteral("send|0|0|18|ping?MAC=DO3VEZEZO")});
  const std::uint64_t second = s.mqtt.sessionTag();
  EXPECT_NE(second, first);
  EXPECT_EQ(s.mqtt.publish_error, 0);
  // The back-to-back disconnect and connect: the old session's events arrive after the new
  // one started and must leave it alone.
  ASSERT_TRUE(
      waitFor([&] { return s.count(QStringLiteral("Callback_on_subscribe")) > acks; }, 3000));
  spin(200);
  EXPECT_TRUE(s.mqtt.f_connected);
  EXPECT_TRUE(commandRuns(s, QStringLiteral("still here")));

  for (int i = 0; i < 2; ++i) s.press(&TForm_player::Timer_actTimer);
  EXPECT_EQ(s.mqtt.sessionTag(), second);
  EXPECT_EQ(sub.waitForMessages(3).size(), 3);
  EXPECT_EQ(s.broker.logLines(QStringLiteral(" as room1 ")).size(), 2);
}

TEST(Reconnect, StaleEventsOfAReplacedSessionChangeNothing) {
  MqttSession s;
  ASSERT_TRUE(s.connectAndSubscribe());
  const std::uint64_t old = s.mqtt.sessionTag();
  s.press(&TForm_player::btnDisconnectClick);
  s.press(&TForm_player::btnConnectClick);
  ASSERT_NE(s.mqtt.sessionTag(), old);
  ASSERT_TRUE(waitFor([&] { return s.mqtt.f_connected.load(); }, 3000));
  ASSERT_TRUE(s.subscribe());

  // Late events of the replaced session: a lost connection would disconnect and stop the
  // current handle if it were taken for the current session's.
  for (int rc : {0, 7}) {
    auto stale = std::make_unique<T_win_message>();
    stale->description = QStringLiteral("Callback_on_disconnect");
    stale->id = ON_DISCONNECT_ID;
    stale->rc = rc;
    stale->session = old;
    const QStringList before = s.sysLog();
    s.form.guarded([&] { s.mqtt.OnMqttEvent(std::move(stale)); });
    EXPECT_EQ(s.sysLog(), before);
  }
  EXPECT_TRUE(s.mqtt.f_connected);
  EXPECT_TRUE(commandRuns(s, QStringLiteral("alive")));
}
