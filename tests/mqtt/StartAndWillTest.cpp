// The unattended start, and the last will when the program goes without a disconnect.
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <signal.h>
#include <sys/socket.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "MqttSession.h"
#include "support/AppFiles.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

auto unattended(const QString& login) {
  return [login](FormOptions& o, const Broker& broker) {
    o.arguments = QStringList{QStringLiteral("start")};
    o.prepare = [&broker, login](const QString& exeDir) {
      writeFileOrFail(exeDir + QStringLiteral("MQTT.ini"), settingsFor(broker, login));
    };
  };
}

}  // namespace

TEST(UnattendedStart, ConnectsAfterASecondAndSubscribesASecondLater) {
  MqttSession s({}, unattended(QStringLiteral("room1")));
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(s.mqtt.Timer_start1->enabled());
  ASSERT_TRUE(s.broker.waitForLog(QStringLiteral(" as room1 "), 5000));
  const qint64 connectedAt = clock.elapsed();
  ASSERT_TRUE(s.broker.waitForLog(QStringLiteral("Received SUBSCRIBE from room1"), 5000));
  const qint64 subscribedAt = clock.elapsed();
  // A second to the connect and another to the subscribe; a busy machine only adds to them.
  EXPECT_GE(connectedAt, 800);
  EXPECT_GE(subscribedAt, 1700);
  EXPECT_FALSE(s.mqtt.Timer_start1->enabled());
  EXPECT_FALSE(s.mqtt.Timer_start2->enabled());
  ASSERT_TRUE(s.broker.waitForLog(QStringLiteral("Sending SUBACK to room1")));
  spin(50);
  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("speak:started")}), 0);
  EXPECT_TRUE(waitFor([&] { return s.f.speech.spoken.contains(QStringLiteral("started")); }, 3000));
  EXPECT_TRUE(s.f.boxes.boxes.empty());
}

TEST(UnattendedStart, EmptyLoginStopsTheChainAfterItsBox) {
  MqttSession s({}, unattended(QString()));
  s.form.eLogin->clear();
  ASSERT_TRUE(waitFor([&] { return !s.f.boxes.boxes.empty(); }, 3000));
  EXPECT_EQ(s.boxTexts(), QStringList{QStringLiteral("Недопустимо пустое значение User ID")});
  spin(1300);
  EXPECT_FALSE(s.mqtt.Timer_start1->enabled());
  EXPECT_FALSE(s.mqtt.Timer_start2->enabled());
  EXPECT_EQ(s.f.boxes.boxes.size(), 1u);
  EXPECT_TRUE(s.broker.logLines(QStringLiteral("New client connected")).isEmpty());
}

TEST(Will, ClosingTheWindowSendsNoDisconnectSoTheBrokerPublishesTheWill) {
  Broker broker;
  Subscriber will(broker, QStringLiteral("room1/will"));
  auto f = std::make_unique<FormFixture>();
  TForm_player& form = f->form();
  form.eIP->setText(QStringLiteral("127.0.0.1"));
  form.eport->setText(QString::number(broker.port()));
  form.eLogin->setText(QStringLiteral("room1"));
  form.cxte_WillTopic->setText(QStringLiteral("room1/will"));
  form.cxte_WillPayload->setText(QStringLiteral("gone"));
  form.guarded([&] { form.btnConnectClick(); });
  ASSERT_TRUE(waitFor([&] { return form.mqtt->f_connected.load(); }, 3000));
  ::mosquitto* session = form.mqtt->f_mosq;

  form.close();
  EXPECT_TRUE(form.closed());
  f.reset();  // the window is gone; its session is left as it was
  spin(300);
  EXPECT_TRUE(will.messages().isEmpty());
  EXPECT_FALSE(broker.log().contains(QStringLiteral("Client room1 disconnected.")));

  // The process ending closes the socket without a word to the broker.
  ::shutdown(mosquitto_socket(session), SHUT_RDWR);
  EXPECT_EQ(will.waitForMessages(1), QStringList{QStringLiteral("room1/will|0|1|4|gone")});
}

TEST(Will, KilledProgramStartedUnattendedLeavesItsWill) {
  Broker broker;
  Subscriber will(broker, QStringLiteral("Will"));
  QTemporaryDir dir;
  const QString exe = dir.filePath(QStringLiteral("vuvedid"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(VUVEDID_EXE), exe));
  writeFileOrFail(dir.filePath(QStringLiteral("MQTT.ini")),
                  settingsFor(broker, QStringLiteral("room9")));
  // Its own runtime folder, and a speech service address where none runs: nothing of the
  // program outlives the test.
  ChildProcess program(
      exe, {QStringLiteral("start")}, false, false,
      {QStringLiteral("QT_QPA_PLATFORM=offscreen"), QStringLiteral("SDL_AUDIODRIVER=dummy"),
       QStringLiteral("XDG_RUNTIME_DIR=") + dir.path(),
       QStringLiteral("SPEECHD_ADDRESS=unix_socket:") +
           dir.filePath(QStringLiteral("no-speech.sock"))});
  ASSERT_TRUE(program.started());
  EXPECT_TRUE(broker.waitForLog(QStringLiteral("Received SUBSCRIBE from room9"), 8000))
      << broker.log().toStdString();
  program.signal(SIGKILL);
  program.wait(5000);
  EXPECT_EQ(will.waitForMessages(1), QStringList{QStringLiteral("Will|0|1|4|Will")});
}
