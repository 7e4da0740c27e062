// What a broker may deliver that no controller in the field sends: messages of megabytes,
// and names in other scripts for topics, rooms, effect files and the heartbeat text. Each
// ends in a defined outcome, and the command that follows still runs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextDocument>

#include "MqttSession.h"
#include "app/Logs.h"
#include "audio/BackgroundPlayer.h"
#include "audio/EffectChannels.h"
#include "commands/Room.h"
#include "support/SoundFiles.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

// Sends payload as one message (from a file, so no size limit of an argument applies) and
// waits until the program has handled it.
bool deliver(MqttSession& s, const QByteArray& payload, int ms) {
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("payload")));
  if (!file.open(QIODevice::WriteOnly) || file.write(payload) != payload.size()) return false;
  file.close();
  const qsizetype handled = s.count(QStringLiteral("Callback_on_message"));
  if (s.send({QStringLiteral("-f"), file.fileName()}) != 0) return false;
  return waitFor([&] { return s.count(QStringLiteral("Callback_on_message")) > handled; }, ms);
}

// The command after the odd one is executed.
bool nextCommandRuns(MqttSession& s, const QString& word) {
  if (s.send({QStringLiteral("-m"), QStringLiteral("speak:") + word}) != 0) return false;
  return waitFor([&] { return s.f.speech.spoken.contains(word); }, 5000);
}

TEST(BadInput, MessagesOfMegabytesAreHandledAndTheLogsStayBounded) {
  struct Case {
    const char* name;
    QByteArray payload;
  };
  const Case cases[] = {
      {"1 MB in one line", QByteArray(1 << 20, 'x')},
      {"16 MB in one line", QByteArray(16 << 20, 'y')},
      // Far more lines than a box keeps: only the newest stay.
      {"1 MB of short lines", QByteArray("line\n").repeated((1 << 20) / 5)},
      // Keywords at the very end of a long text are found and executed.
      {"16 MB ending in a command", QByteArray(16 << 20, ' ') + "speak:at the end"},
  };
  MqttSession s;
  ASSERT_TRUE(s.connectAndSubscribe());
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(deliver(s, c.payload, 60000));
    EXPECT_LE(s.form.M_protokol->document()->blockCount(), kLogLineLimit);
    EXPECT_LE(s.form.memo2->document()->blockCount(), kLogLineLimit);
    for (const QString& line : s.protocol()) ASSERT_LE(line.size(), kLogLineChars);
    const QString word = QStringLiteral("after%1").arg(++n);
    EXPECT_TRUE(nextCommandRuns(s, word));
    EXPECT_EQ(s.protocol().last(), monthFirst(QStringLiteral("speak:") + word));
  }
  EXPECT_TRUE(s.f.speech.spoken.contains(QStringLiteral("at the end")));
  EXPECT_TRUE(s.f.boxes.boxes.empty()) << s.boxTexts().join(QLatin1Char('|')).toStdString();
}

// Cyrillic, emoji and combining marks (a decomposed "é" stays decomposed: file names are
// bytes) in every name a command or a setting carries, end to end.
TEST(BadInput, NamesInAnyScriptWorkEndToEnd) {
  const QString room = QString::fromUtf8("Зал \xF0\x9F\x8E\xB5 e\xCC\x81");
  const QString effect = QString::fromUtf8("звон \xF0\x9F\x94\x94 \xC3\xA9.mp3");
  const QString track = QString::fromUtf8("пе\xCC\x81сня \xF0\x9F\x8E\xB6.mp3");
  QTemporaryDir dir;
  const QString music = dir.filePath(QStringLiteral("музыка"));
  const QString signalFolder = dir.filePath(QString::fromUtf8("сигналы \xE2\x9C\xA8"));
  ASSERT_TRUE(QDir().mkpath(music + QLatin1Char('/') + room));
  ASSERT_TRUE(QDir().mkpath(signalFolder));
  ASSERT_TRUE(toneFile(music + QLatin1Char('/') + room + QLatin1Char('/') + track, 2.0));
  ASSERT_TRUE(toneFile(signalFolder + QLatin1Char('/') + effect, 2.0));

  MqttSession s;
  s.form.folder_m->setText(music);
  s.form.folder_s->setText(signalFolder);
  s.form.eTopic->setText(QString::fromUtf8("комната/\xF0\x9F\x8F\xA0/e\xCC\x81"));
  s.form.eTopicSend->setText(QString::fromUtf8("статус/\xF0\x9F\x92\x93"));
  s.form.e_con_act->setText(QString::fromUtf8("жив \xF0\x9F\x92\x93 a\xCC\x88"));
  ASSERT_TRUE(s.connect());
  Subscriber status(s.broker, s.form.eTopicSend->text());
  ASSERT_TRUE(s.subscribe());

  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("play:") + room}), 0);
  ASSERT_TRUE(waitFor([&] { return s.form.ListBox1->count() == 1; }, 5000));
  s.form.room->background.Timer_playfoneTimer();
  EXPECT_EQ(s.form.windowTitle(), track);
  EXPECT_EQ(s.form.l_komnata->text(), room);
  IAudioLibrary& audio = *s.form.services.audio;
  const HSTREAM music1 = s.form.room->background.fone_chan;
  EXPECT_EQ(audio.ChannelIsActive(music1), ACTIVE_PLAYING);
  EXPECT_EQ(audio.ChannelGetFileName(music1),
            QDir(music + QLatin1Char('/') + room).filePath(track));

  ASSERT_EQ(s.send({QStringLiteral("-m"), QStringLiteral("fx:50!") + effect}), 0);
  ASSERT_TRUE(waitFor([&] { return !s.form.efilename1->text().isEmpty(); }, 5000));
  EXPECT_EQ(s.form.efilename1->text(), signalFolder + QLatin1Char('/') + effect);
  EXPECT_EQ(audio.ChannelIsActive(s.form.room->effects.fx_chan1), ACTIVE_PLAYING);

  s.press(&TForm_player::Timer_actTimer);
  const QString heartbeat = s.form.e_con_act->text();
  EXPECT_EQ(status.waitForMessages(1),
            QStringList{s.form.eTopicSend->text() +
                        QStringLiteral("|0|0|%1|").arg(heartbeat.toUtf8().size()) + heartbeat});
  EXPECT_EQ(s.protocol().last(), dayFirst(heartbeat));
  EXPECT_TRUE(s.f.boxes.boxes.empty()) << s.boxTexts().join(QLatin1Char('|')).toStdString();
  // Nothing went to the protocol log as a playback failure.
  for (const QString& line : s.protocol()) EXPECT_FALSE(line.startsWith(QStringLiteral("Ошибка")));
}

}  // namespace
