// Connecting to and disconnecting from a real broker.
#include <gtest/gtest.h>
#include <mosquitto.h>

#include <QApplication>
#include <QCheckBox>

#include "MqttSession.h"

using namespace vuvedid;
using namespace vuvedid::test;

TEST(Connect, EmptyFieldsAreRefusedWithTheirBoxAndFocus) {
  struct Case {
    QLineEdit* TForm_player::*field;
    const char16_t* text;
    bool sessionCreated;  // login is checked before the session is replaced, the others after
  };
  const Case cases[] = {
      {&TForm_player::eLogin, u"Недопустимо пустое значение User ID", false},
      {&TForm_player::cxte_WillTopic, u"Недопустимо пустое значение Will Topic", true},
      {&TForm_player::eIP, u"Недопустимо пустое значение Host Name", true},
  };
  for (const Case& c : cases) {
    MqttSession s;
    s.form.PageControl1->setCurrentWidget(s.form.TabSheet2);
    (s.form.*c.field)->clear();
    s.press(&TForm_player::btnConnectClick);
    ASSERT_EQ(s.f.boxes.boxes.size(), 1u);
    EXPECT_EQ(s.f.boxes.boxes[0].text, QString::fromUtf16(c.text));
    EXPECT_EQ(s.f.boxes.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(s.f.boxes.boxes[0].icon, BoxIcon::Error);
    EXPECT_EQ(s.form.focusWidget(), s.form.*c.field);
    EXPECT_EQ(s.mqtt.f_mosq != nullptr, c.sessionCreated);
    EXPECT_TRUE(s.form.btnConnect->isEnabled());
    EXPECT_FALSE(QApplication::overrideCursor());
    spin(50);
    EXPECT_TRUE(s.broker.logLines(QStringLiteral("New client connected")).isEmpty());
  }
}

TEST(Connect, LibraryRefusalsShowTheCallsTextAndLeaveConnectEnabled) {
  struct Case {
    std::function<void(MqttSession&)> setup;
    const char16_t* text;
  };
  const Case cases[] = {
      {[](MqttSession& s) { s.form.eport->setText(QString::number(freeLocalPort())); },
       u"Ошибка соединения: Connection error"},
      {[](MqttSession& s) { s.form.eport->setText(QStringLiteral("70000")); },
       u"Ошибка соединения: The input parameters is invalid"},
      {[](MqttSession& s) { s.form.cxte_WillTopic->setText(QStringLiteral("room/+/will")); },
       u"Ошибка установки завещания: The input parameters is invalid"},
      {[](MqttSession& s) {
         // Not empty as a field, but the client identifier it gives is.
         s.form.eLogin->setText(QString(QChar(0)) + QStringLiteral("room"));
       },
       u"Ошибка инициализации сессии MQTT клиента"},
  };
  for (const Case& c : cases) {
    MqttSession s;
    c.setup(s);
    s.mqtt.user_disconnect = 1;
    s.press(&TForm_player::btnConnectClick);
    // The connect itself runs on the session's thread: its failure comes as an event.
    waitFor([&] { return !s.f.boxes.boxes.empty(); }, 5000);
    spin(100);
    ASSERT_EQ(s.f.boxes.boxes.size(), 1u) << QString::fromUtf16(c.text).toStdString();
    EXPECT_EQ(s.f.boxes.boxes[0].text, QString::fromUtf16(c.text));
    EXPECT_EQ(s.f.boxes.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(s.f.boxes.boxes[0].icon, BoxIcon::Warning);
    EXPECT_FALSE(QApplication::overrideCursor());
    EXPECT_TRUE(s.form.btnConnect->isEnabled());
    EXPECT_EQ(s.mqtt.user_disconnect, 1);
    EXPECT_FALSE(s.mqtt.f_connected);
  }
}

TEST(Connect, BrokerSeesClientIdUserKeepAliveThirtyCleanFlagAndRetainedWill) {
  struct Case {
    QString keepAliveText;
    bool clean;
    QString willPayload;
    QString expectedClient;  // the broker's "connected as" line
    QString expectedWill;
  };
  const Case cases[] = {
      {QStringLiteral("60"), false, QStringLiteral("Will"),
       QStringLiteral("as room1 (p2, c0, k30, u'room1')."),
       QStringLiteral("Will message specified (4 bytes) (r1, q0).")},
      {QStringLiteral("1"), true, QStringLiteral("ушёл"),
       QStringLiteral("as room1 (p2, c1, k30, u'room1')."),
       QStringLiteral("Will message specified (8 bytes) (r1, q0).")},
      {QStringLiteral("not a number"), false, QString(),
       QStringLiteral("as room1 (p2, c0, k30, u'room1')."),
       QStringLiteral("Will message specified (0 bytes) (r1, q0).")},
  };
  for (const Case& c : cases) {
    MqttSession s;
    s.form.cxsped_KeepAlive->setText(c.keepAliveText);
    s.form.CleanBox2->setChecked(c.clean);
    s.form.cxte_WillPayload->setText(c.willPayload);
    s.form.eUID->clear();  // takes no part in the session
    ASSERT_TRUE(s.connect()) << c.expectedClient.toStdString();
    EXPECT_TRUE(s.broker.waitForLog(c.expectedClient)) << s.broker.log().toStdString();
    EXPECT_TRUE(s.broker.log().contains(c.expectedWill)) << s.broker.log().toStdString();
    EXPECT_TRUE(s.f.boxes.boxes.empty());
    EXPECT_FALSE(s.form.btnConnect->isEnabled());
    EXPECT_EQ(s.mqtt.user_disconnect, 0);
    EXPECT_EQ(s.mqtt.f_connect_result, 0);
    EXPECT_TRUE(s.sysLog().contains(QStringLiteral("Callback_on_connect")));
  }
}

// A refused login is shown once, with the broker's reason; a room not set to reconnect does
// not knock again.
TEST(Connect, PasswordBrokerAcceptsTheAccountAndShowsARefusalOnce) {
  struct Case {
    QString login, password;
    bool accepted;
  };
  const Case cases[] = {
      {QStringLiteral("alice"), QStringLiteral("secret"), true},
      {QStringLiteral("alice"), QStringLiteral("wrong"), false},
      {QStringLiteral("alice"), QString(), false},  // an empty password is sent as empty
  };
  for (const Case& c : cases) {
    MqttSession s(BrokerOptions{.requirePassword = true});
    s.form.eLogin->setText(c.login);
    s.form.ePassword->setText(c.password);
    s.press(&TForm_player::btnConnectClick);
    ASSERT_TRUE(
        waitFor([&] { return s.sysLog().contains(QStringLiteral("Callback_on_connect")); }, 3000));
    spin(50);
    EXPECT_EQ(s.mqtt.f_connected.load(), c.accepted);
    EXPECT_EQ(s.mqtt.f_connect_result == 0, c.accepted);
    if (c.accepted) {
      EXPECT_TRUE(s.f.boxes.boxes.empty());
    } else {
      // 5: not authorised, the broker's answer to a wrong or missing password.
      EXPECT_EQ(s.boxTexts(), QStringList{QStringLiteral("Ошибка соединения: ") +
                                          QString::fromLatin1(mosquitto_connack_string(5))});
      EXPECT_EQ(s.f.boxes.boxes[0].icon, BoxIcon::Warning);
    }
    // The event of the broker's answer ends the busy cursor either way.
    EXPECT_FALSE(QApplication::overrideCursor());
    EXPECT_FALSE(s.form.btnConnect->isEnabled());
    if (!c.accepted) {
      // Not set to reconnect: the room does not keep knocking.
      spin(1500);
      EXPECT_EQ(s.broker.logLines(QStringLiteral("Sending CONNACK")).size(), 1);
    }
  }
}

TEST(Connect, UserDisconnectEndsTheSessionCleanlyAndNextConnectReplacesTheHandle) {
  MqttSession s;
  s.press(&TForm_player::btnConnectClick);
  // Busy until the broker's answer has been handled.
  ASSERT_TRUE(QApplication::overrideCursor());
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ASSERT_TRUE(waitFor([&] { return s.mqtt.f_connected.load(); }, 3000));
  spin(50);
  EXPECT_FALSE(QApplication::overrideCursor());
  ::mosquitto* first = s.mqtt.f_mosq;
  s.press(&TForm_player::btnDisconnectClick);
  EXPECT_EQ(s.mqtt.user_disconnect, 1);
  EXPECT_TRUE(s.form.btnConnect->isEnabled());
  ASSERT_TRUE(
      waitFor([&] { return s.sysLog().contains(QStringLiteral("Callback_on_disconnect")); }, 3000));
  EXPECT_FALSE(s.mqtt.f_connected);
  EXPECT_FALSE(QApplication::overrideCursor());
  EXPECT_EQ(s.mqtt.f_disconnect_result, 0);
  // A disconnect the broker was told of: no will.
  EXPECT_TRUE(s.broker.waitForLog(QStringLiteral("Client room1 disconnected.")));
  EXPECT_FALSE(s.broker.log().contains(QStringLiteral("Sending will")));
  EXPECT_EQ(s.mqtt.f_mosq, first);  // kept until the next connect

  // Disconnect again while not connected: only the flag and the button.
  const QStringList before = s.sysLog();
  s.press(&TForm_player::btnDisconnectClick);
  EXPECT_EQ(s.sysLog(), before);

  ASSERT_TRUE(s.connect());
  EXPECT_EQ(s.mqtt.user_disconnect, 0);
  EXPECT_EQ(s.broker.logLines(QStringLiteral("New client connected")).size(), 2);
}

TEST(Connect, ConnectWhileConnectedKeepsTheWorkingSession) {
  MqttSession s;
  ASSERT_TRUE(s.connect());
  const std::uint64_t tag = s.mqtt.sessionTag();
  s.press(&TForm_player::btnConnectClick);  // a click from code runs even a disabled button
  spin(200);
  EXPECT_EQ(s.mqtt.sessionTag(), tag);
  EXPECT_TRUE(s.mqtt.f_connected);
  EXPECT_TRUE(s.f.boxes.boxes.empty());
  EXPECT_EQ(s.broker.logLines(QStringLiteral(" as room1 ")).size(), 1);
  EXPECT_FALSE(s.broker.log().contains(QStringLiteral("Client room1 disconnected")));
}
