// One command text holding a thousand keywords. Each keyword fires at most once, its
// argument running to the end of the text, so the outcome is that of the first occurrence
// of each; a failing one ends the text with its box. The next text is executed as ever.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "audio/AudioLibrary.h"
#include "audio/BackgroundPlayer.h"
#include "commands/Room.h"
#include "support/FormFixture.h"
#include "support/SoundFiles.h"
#include "ui/TForm_player.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vuvedid::test {
namespace {

QString thousand(const QString& word) {
  QString out;
  for (int i = 1; i <= 1000; ++i) out += word.arg(i) + QLatin1Char(' ');
  return out;
}

struct Case {
  const char* name;
  QString text;
  QStringList boxes;  // their start
  QStringList spoken;
  int commandVolume;
  bool stopMark;
  bool playing;             // the background channel afterwards
  QStringList logged = {};  // protocol lines
};

TEST(KeywordFlood, ThousandKeywordsInOneTextFireOnceEach) {
  QTemporaryDir dir;
  QDir().mkpath(dir.filePath(QStringLiteral("music/hall")));
  ASSERT_TRUE(toneFile(dir.filePath(QStringLiteral("music/hall/a.mp3")), 2.0));
  const QString speech = thousand(QStringLiteral("speak:%1"));
  const Case cases[] = {
      {"volume:1 ... volume:1000",
       thousand(QStringLiteral("volume:%1")),
       {QStringLiteral("'1 volume:2 volume:3 ")},
       {},
       0,
       false,
       true},
      {"speak:1 ... speak:1000", speech, {}, {speech.mid(6)}, 0, false, true},
      {"pause resume next shufle, 250 times",
       QStringLiteral("pause resume next shufle ").repeated(250),
       {},
       {},
       0,
       false,
       false},
      {"pause, 1000 times", thousand(QStringLiteral("pause")), {}, {}, 0, true, false},
      // The file name runs to the end of the text: no such file, a protocol line only.
      {"fx:50!a.mp3, 1000 times",
       thousand(QStringLiteral("fx:50!a.mp3")),
       {},
       {},
       0,
       false,
       true,
       {QStringLiteral("Файл не существует 09.12.23 14:05:07")}},
      {"play:hall, 1000 times",
       thousand(QStringLiteral("play:hall")),
       {QStringLiteral("The specified file was not found.")},
       {},
       0,
       false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture f;
    TForm_player& form = f.form();
    form.folder_m->setText(dir.filePath(QStringLiteral("music")));
    form.folder_s->setText(dir.filePath(QStringLiteral("music/hall")));
    form.guarded([&] { form.CommandsRun(QStringLiteral("play:hall")); });
    form.room->background.Timer_playfoneTimer();
    ASSERT_EQ(form.services.audio->ChannelIsActive(form.room->background.fone_chan),
              ACTIVE_PLAYING);

    form.guarded([&] { form.CommandsRun(c.text); });
    ASSERT_EQ(f.boxes.boxes.size(), static_cast<size_t>(c.boxes.size()));
    for (qsizetype i = 0; i < c.boxes.size(); ++i)
      EXPECT_TRUE(f.boxes.boxes[size_t(i)].text.startsWith(c.boxes[i]))
          << f.boxes.boxes[size_t(i)].text.left(80).toStdString();
    EXPECT_EQ(f.speech.spoken, c.spoken);
    EXPECT_EQ(form.M_protokol->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              c.logged);
    EXPECT_EQ(form.room->background.cmd_volume, c.commandVolume);
    EXPECT_EQ(!form.l_stoped->isHidden(), c.stopMark);
    const int active = form.services.audio->ChannelIsActive(form.room->background.fone_chan);
    EXPECT_EQ(active == ACTIVE_PLAYING, c.playing) << active;

    // The next text runs as ever.
    form.guarded([&] { form.CommandsRun(QStringLiteral("volume:40")); });
    EXPECT_EQ(form.room->background.cmd_volume, 40);
    EXPECT_EQ(f.boxes.boxes.size(), static_cast<size_t>(c.boxes.size()));
  }
}

}  // namespace
}  // namespace vuvedid::test
