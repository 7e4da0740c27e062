// Messages the broker delivers: decoded, logged month-first, executed, released.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include "MqttSession.h"
#include "commands/Room.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

QString lastProtocolLine(const MqttSession& s) {
  const QStringList p = s.protocol();
  return p.isEmpty() ? QString() : p.last();
}

}  // namespace

TEST(Inbound, CommandIsLoggedMonthFirstExecutedAndReported) {
  MqttSession s;
  ASSERT_TRUE(s.connectAndSubscribe());
  ASSERT_TRUE(s.form.l_stoped->isHidden());
  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("pause")}), 0);
  ASSERT_TRUE(waitFor([&] { return !s.form.l_stoped->isHidden(); }, 3000));
  EXPECT_EQ(lastProtocolLine(s), monthFirst(QStringLiteral("pause")));
  EXPECT_EQ(s.sysLog().last(), QStringLiteral("Callback_on_message"));

  // Cyrillic text survives the trip into the interpreter.
  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("speak:Добрый вечер")}), 0);
  ASSERT_TRUE(waitFor([&] { return !s.f.speech.spoken.isEmpty(); }, 3000));
  EXPECT_EQ(s.f.speech.spoken, QStringList{QStringLiteral("Добрый вечер")});
  EXPECT_EQ(lastProtocolLine(s), monthFirst(QStringLiteral("speak:Добрый вечер")));

  // With the protocol log switched off the command still runs.
  s.form.Protokol->setChecked(false);
  const QStringList before = s.protocol();
  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("reset")}), 0);
  s.form.room->background.timer3.setEnabled(true);
  ASSERT_TRUE(waitFor([&] { return !s.form.room->background.timer3.enabled(); }, 3000));
  EXPECT_EQ(s.protocol(), before);
}

TEST(Inbound, PayloadBytesAreDecodedWhateverTheyHold) {
  struct Case {
    QByteArray bytes;  // empty: a zero-length message
    QString decoded;
  };
  const Case cases[] = {
      {QByteArray("pa\xC3(use\xFF", 8), QString::fromUtf16(u"pa\uFFFD(use\uFFFD")},
      {QByteArray("pa\0use\0", 7), QString::fromUtf16(u"pa\u0000use\u0000", 7)},
      {QByteArray(), QString()},
  };
  MqttSession s;
  ASSERT_TRUE(s.connectAndSubscribe());
  QTemporaryDir dir;
  for (const Case& c : cases) {
    const qsizetype handled = s.count(QStringLiteral("Callback_on_message"));
    if (c.bytes.isEmpty()) {
      ASSERT_EQ(s.send({QStringLiteral("-n")}), 0);
    } else {
      QFile file(dir.filePath(QStringLiteral("payload")));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(c.bytes);
      file.close();
      ASSERT_EQ(s.send({QStringLiteral("-f"), file.fileName()}), 0);
    }
    ASSERT_TRUE(
        waitFor([&] { return s.count(QStringLiteral("Callback_on_message")) > handled; }, 3000));
    EXPECT_EQ(lastProtocolLine(s), monthFirst(c.decoded));
  }
}

TEST(Inbound, RetainedMessageAndEarlierSubscriptionAreExecuted) {
  MqttSession s;
  ASSERT_EQ(s.send({QStringLiteral("-r"), QStringLiteral("-m"), QStringLiteral("speak:kept")}), 0);
  ASSERT_TRUE(s.connectAndSubscribe());
  ASSERT_TRUE(waitFor([&] { return s.f.speech.spoken.contains(QStringLiteral("kept")); }, 3000));

  // A second subscription adds to the first: both topics carry commands.
  s.form.eTopic->setText(QStringLiteral("room1/second"));
  ASSERT_TRUE(s.subscribe());
  ASSERT_EQ(mosquittoPub(s.broker, {QStringLiteral("-t"), QStringLiteral("recive"),
                                    QStringLiteral("-m"), QStringLiteral("speak:first")}),
            0);
  ASSERT_EQ(mosquittoPub(s.broker, {QStringLiteral("-t"), QStringLiteral("room1/second"),
                                    QStringLiteral("-m"), QStringLiteral("speak:second")}),
            0);
  ASSERT_TRUE(waitFor([&] { return s.f.speech.spoken.size() >= 3; }, 3000));
  EXPECT_EQ(s.f.speech.spoken, (QStringList{QStringLiteral("kept"), QStringLiteral("first"),
                                            QStringLiteral("second")}));
}

TEST(Inbound, FailingCommandIsReportedAndTheNextOneStillRuns) {
  MqttSession s;
  ASSERT_TRUE(s.connectAndSubscribe());
  const qsizetype reported = s.count(QStringLiteral("Callback_on_message"));
  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("volume:loud")}), 0);
  ASSERT_TRUE(waitFor([&] { return !s.f.boxes.boxes.empty(); }, 3000));
  EXPECT_EQ(s.f.boxes.boxes[0].caption, QStringLiteral("Vuvedid"));
  EXPECT_EQ(s.f.boxes.boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(lastProtocolLine(s), monthFirst(QStringLiteral("volume:loud")));
  // The failed command has no system-log line of its own.
  EXPECT_EQ(s.count(QStringLiteral("Callback_on_message")), reported);

  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("speak:after")}), 0);
  ASSERT_TRUE(waitFor([&] { return !s.f.speech.spoken.isEmpty(); }, 3000));
  EXPECT_EQ(s.count(QStringLiteral("Callback_on_message")), reported + 1);
}

TEST(Inbound, ThousandCommandsAtQos1AreAllHandledInOrder) {
  MqttSession s;
  s.form.cxrg_SubQoS->setItemIndex(1);
  ASSERT_TRUE(s.connectAndSubscribe());
  QByteArray input;
  QStringList expected;
  for (int i = 0; i < 1000; ++i) {
    const QString payload = QStringLiteral("cmd%1").arg(i, 4, 10, QLatin1Char('0'));
    input += payload.toUtf8() + '\n';
    expected << monthFirst(payload);
  }
  ASSERT_EQ(s.send({QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-l")}, input), 0);
  ASSERT_TRUE(waitFor([&] { return s.protocol().size() >= 1000; }, 10000));
  spin(100);
  EXPECT_EQ(s.protocol(), expected);
}
