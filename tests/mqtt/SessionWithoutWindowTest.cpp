// The broker session without a window: settings, logs, a problem reporter and a recording
// view are all it needs. Empty fields, the command road from a real broker, and an outage
// that shows one box.
#include <gtest/gtest.h>

#include <vector>

#include "app/Errors.h"
#include "app/Logs.h"
#include "app/Settings.h"
#include "mqtt/MqttClient.h"
#include "support/Broker.h"
#include "support/Doubles.h"
#include "support/FormFixture.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

class RecordingSessionView final : public SessionView {
 public:
  SessionOptions sessionOptions() const override { return options; }
  QString debugCommand() const override { return command; }
  void showConnectEnabled(bool enabled) override { connectEnabled = enabled; }
  void focusField(SessionField field) override { focused.push_back(field); }
  void showBusy(bool on) override { busyChanges.push_back(on); }

  SessionOptions options;
  QString command = QStringLiteral("play:room1");
  bool connectEnabled = true;
  std::vector<SessionField> focused;
  std::vector<bool> busyChanges;
};

struct Shown {
  BoxIcon icon;
  QString caption, text;
};

struct Room {
  Settings settings;
  FixedClock clock;
  Logs logs{settings, clock};
  std::vector<Shown> boxes;
  ProblemReporter problems{[this](BoxIcon icon, const QString& caption, const QString& text) {
    boxes.push_back({icon, caption, text});
  }};
  RecordingSessionView view;
  MqttClient mqtt{settings, logs, problems, view};
  QStringList commands;

  explicit Room(int port) {
    settings.ip = QStringLiteral("127.0.0.1");
    settings.port = QString::number(port);
    settings.login = QStringLiteral("room1");
    mqtt.onCommand = [this](const QString& c) { commands << c; };
  }
  void press(void (MqttClient::*handler)()) {
    try {
      (mqtt.*handler)();
    } catch (const SilentAbort&) {
    }
  }
  qsizetype sysLines(const QString& prefix) const {
    qsizetype n = 0;
    for (const QString& l : logs.lines(LogBox::System)) n += l.startsWith(prefix) ? 1 : 0;
    return n;
  }
};

TEST(SessionWithoutWindow, EmptyFieldIsReportedAndFocused) {
  const struct {
    const char* name;
    void (*empty)(Room&);
    void (MqttClient::*press)();
    QString text;
    SessionField field;
  } cases[] = {
      {"login", [](Room& r) { r.settings.login.clear(); }, &MqttClient::btnConnectClick,
       "Недопустимо пустое значение User ID", SessionField::eLogin},
      {"broker address", [](Room& r) { r.settings.ip.clear(); }, &MqttClient::btnConnectClick,
       "Недопустимо пустое значение Host Name", SessionField::eIP},
      {"will topic", [](Room& r) { r.view.options.cxte_WillTopic.clear(); },
       &MqttClient::btnConnectClick, "Недопустимо пустое значение Will Topic",
       SessionField::cxte_WillTopic},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Room r(1);
    c.empty(r);
    r.press(c.press);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].icon, BoxIcon::Error);
    EXPECT_EQ(r.boxes[0].caption, "Error");
    EXPECT_EQ(r.boxes[0].text, c.text);
    EXPECT_EQ(r.view.focused, std::vector<SessionField>{c.field});
    EXPECT_TRUE(r.view.connectEnabled);
    EXPECT_TRUE(r.view.busyChanges.empty());
  }
}

// Connect, subscribe, a command from the broker reaches the callback and the protocol log;
// the wait cursor is shown while the connect is under way and taken away after.
TEST(SessionWithoutWindow, CommandsFromTheBrokerReachTheCallback) {
  Broker broker;
  Room r(broker.port());
  r.settings.chbx_act = true;
  r.press(&MqttClient::btnConnectClick);
  EXPECT_FALSE(r.view.connectEnabled);
  ASSERT_TRUE(waitFor([&] { return r.mqtt.f_connected.load() && !r.mqtt.busyCursor(); }, 5000));
  EXPECT_EQ(r.view.busyChanges, (std::vector<bool>{true, false}));
  r.press(&MqttClient::btn_SUBClick);
  EXPECT_TRUE(r.mqtt.Timer_act->enabled());
  ASSERT_TRUE(waitFor([&] { return r.sysLines("Callback_on_subscribe") > 0; }, 5000));
  ASSERT_EQ(mosquittoPub(broker, {"-t", r.settings.topic, "-m", "volume:30"}), 0);
  ASSERT_TRUE(waitFor([&] { return !r.commands.isEmpty(); }, 5000));
  EXPECT_EQ(r.commands, QStringList{"volume:30"});
  EXPECT_TRUE(r.logs.lines(LogBox::Protocol).contains("volume:30 12.09.23 14:05:07"));
  EXPECT_TRUE(r.boxes.empty());
}

// A room started unattended against a broker that is not there: the first failure is a
// box, the retries that follow are system-log lines only.
TEST(SessionWithoutWindow, OutageShowsOneBox) {
  int deadPort = 0;
  {
    Broker gone;
    deadPort = gone.port();
  }
  Room r(deadPort);
  r.mqtt.setUnattended();
  r.press(&MqttClient::btnConnectClick);
  ASSERT_TRUE(waitFor([&] { return r.sysLines("Ошибка соединения: ") >= 2; }, 15000));
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].icon, BoxIcon::Warning);
  EXPECT_TRUE(r.boxes[0].text.startsWith("Ошибка соединения: "));
  r.press(&MqttClient::btnDisconnectClick);
}

}  // namespace
