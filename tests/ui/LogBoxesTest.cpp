// The two logs as the debug tab shows them: line shapes and stamps, the enable boxes, the
// line bound, and saving through the shared save dialog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <functional>
#include <optional>

#include "app/Logs.h"
#include "support/AppFiles.h"
#include "support/FormFixture.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

struct StampCase {
  const char* name;
  std::function<void(Logs&)> write;
  QString line;
};

// The fixed clock stands at 9 December 2023 14:05:07.
TEST(Logs, StampedLines) {
  const StampCase cases[] = {
      {"received message, month first", [](Logs& l) { l.stampedProtocol("play:room1", true); },
       "play:room1 12.09.23 14:05:07"},
      {"heartbeat, day first", [](Logs& l) { l.stampedProtocol("ping?MAC=DO3VEZEZO", false); },
       "ping?MAC=DO3VEZEZO 09.12.23 14:05:07"},
      {"playback failure, one space", [](Logs& l) { l.playbackFailure("Файл не существует "); },
       "Файл не существует 09.12.23 14:05:07"},
      {"empty payload", [](Logs& l) { l.stampedProtocol("", true); }, " 12.09.23 14:05:07"},
  };
  for (const StampCase& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture f;
    c.write(*f.form().logs);
    EXPECT_EQ(linesOf(f.form().M_protokol), QStringList{c.line});
    EXPECT_TRUE(linesOf(f.form().memo2).isEmpty());
  }

  // Two digits everywhere, hours 00 to 23.
  const QDateTime early(QDate(2005, 1, 2), QTime(0, 3, 4));
  const QDateTime late(QDate(2099, 11, 30), QTime(23, 59, 59));
  EXPECT_EQ(Logs::timeStamp(early, false), "02.01.05 00:03:04");
  EXPECT_EQ(Logs::timeStamp(early, true), "01.02.05 00:03:04");
  EXPECT_EQ(Logs::timeStamp(late, false), "30.11.99 23:59:59");
}

// A payload of several lines shows as several lines, the stamp at the end of the last.
TEST(Logs, MultiLineTextShowsAsLines) {
  FormFixture f;
  f.form().logs->stampedProtocol("first\r\nsecond\r\n\r\nlast", true);
  f.form().AddSysLog("a\r\nb");
  EXPECT_EQ(linesOf(f.form().M_protokol),
            QStringList({"first", "second", "", "last 12.09.23 14:05:07"}));
  EXPECT_EQ(linesOf(f.form().memo2), QStringList({"a", "b"}));
}

TEST(Logs, EnableBoxes) {
  FormFixture f;
  TForm_player& form = f.form();
  Logs& logs = *form.logs;
  logs.stampedProtocol("one", false);
  form.AddSysLog("Callback_on_connect");

  form.Protokol->setChecked(false);
  form.cxchb_LogEnable->setChecked(false);
  logs.stampedProtocol("play:room1", true);
  logs.stampedProtocol("ping", false);
  logs.playbackFailure("Ошибка загрузки файла ");  // written whatever the box says
  form.AddSysLog("Callback_on_publish mid=7");

  form.Protokol->setChecked(true);
  form.cxchb_LogEnable->setChecked(true);
  logs.stampedProtocol("two", false);
  form.AddSysLog("Callback_on_disconnect");

  EXPECT_EQ(linesOf(form.M_protokol),
            QStringList({"one 09.12.23 14:05:07", "Ошибка загрузки файла 09.12.23 14:05:07",
                         "two 09.12.23 14:05:07"}));
  EXPECT_EQ(linesOf(form.memo2), QStringList({"Callback_on_connect", "Callback_on_disconnect"}));
}

// Weeks of heartbeats: the box keeps the newest lines only, and saving them stays quick.
TEST(Logs, BoundedToTheNewestLines) {
  FormFixture f;
  TForm_player& form = f.form();
  // A full box in one go, then the program's own appends push the oldest lines out.
  QStringList full;
  for (int i = 0; i < kLogLineLimit; ++i) full << QString::number(i);
  form.memo2->setPlainText(full.join('\n'));
  for (int i = kLogLineLimit; i < kLogLineLimit + 3; ++i) form.AddSysLog(QString::number(i));
  EXPECT_EQ(form.memo2->document()->blockCount(), kLogLineLimit);
  EXPECT_EQ(form.memo2->document()->firstBlock().text(), "3");
  EXPECT_EQ(form.memo2->document()->lastBlock().text(), QString::number(kLogLineLimit + 2));

  f.saveDialog.answers.push_back(f.path("big.txt"));
  form.BitBtn1Click();
  const QByteArray saved = readBytes(f.path("big.txt"));
  EXPECT_TRUE(saved.startsWith("3\r\n4\r\n"));
  EXPECT_TRUE(saved.endsWith(QString::number(kLogLineLimit + 2).toLatin1() + "\r\n"));
  EXPECT_EQ(saved.count("\r\n"), kLogLineLimit);
}

// A batch (a slice of network events) hands its lines over together: nothing is lost or
// reordered, CRLF still splits lines, the bound still holds, and a turn of the event loop
// inside the batch (a message box) shows what was written so far.
TEST(Logs, BatchedLinesArriveTogetherInOrder) {
  FormFixture f;
  TForm_player& form = f.form();
  Logs& logs = *form.logs;
  logs.beginBatch();
  logs.beginBatch();  // nested: only the outermost end hands over
  logs.stampedProtocol("one", false);
  form.AddSysLog("a\r\nb");
  logs.endBatch();
  EXPECT_TRUE(linesOf(form.M_protokol).isEmpty());
  logs.stampedProtocol("two", false);
  QCoreApplication::processEvents();  // what a box's own event loop does
  EXPECT_EQ(linesOf(form.M_protokol),
            QStringList({"one 09.12.23 14:05:07", "two 09.12.23 14:05:07"}));
  EXPECT_EQ(linesOf(form.memo2), QStringList({"a", "b"}));
  form.AddSysLog("c");
  logs.endBatch();
  EXPECT_EQ(linesOf(form.memo2), QStringList({"a", "b", "c"}));
  logs.endBatch();  // one end too many changes nothing
  form.AddSysLog("d");
  EXPECT_EQ(linesOf(form.memo2).last(), "d");

  // A batch that stays open (a box nobody closes) hands over once it holds a box's worth.
  logs.beginBatch();
  for (int i = 0; i < 3 * kLogLineLimit; ++i) form.AddSysLog(QString::number(i));
  EXPECT_EQ(form.memo2->document()->blockCount(), kLogLineLimit);
  EXPECT_EQ(form.memo2->document()->lastBlock().text(), QString::number(3 * kLogLineLimit - 1));
  logs.endBatch();
}

struct SaveCase {
  const char* name;
  std::function<void(FormFixture&)> prepare;
  std::optional<QString> answer;  // the name typed in the exe folder; nothing = cancel
  QString savedAs;                // file expected afterwards (empty: none)
  QByteArray bytes;
  QString error;  // start of the error text ("" = no error)
};

TEST(Logs, SavingTheProtocolLog) {
  const auto failure = [](FormFixture& f) {
    f.form().logs->playbackFailure("Файл не существует ");
  };
  const QByteArray failureLine = QString("Файл не существует 09.12.23 14:05:07\r\n").toUtf8();
  const SaveCase cases[] = {
      {"cancel", failure, std::nullopt, "", "", ""},
      {"new file", failure, "proto.txt", "proto.txt", failureLine, ""},
      {"replaces an existing file",
       [&](FormFixture& f) {
         failure(f);
         writeBytes(f.path("old.txt"), QByteArray(5000, 'o'));
       },
       "old.txt", "old.txt", failureLine, ""},
      {"no extension gets .txt", failure, "log", "log.txt", failureLine, ""},
      {"own extension kept", failure, "archive.log", "archive.log", failureLine, ""},
      {"empty log, empty file", [](FormFixture&) {}, "empty.txt", "empty.txt", "", ""},
      {"typed text saved",
       [](FormFixture& f) {
         f.form().logs->stampedProtocol("play:room1", true);
         f.form().M_protokol->moveCursor(QTextCursor::End);
         f.form().M_protokol->insertPlainText("\nnote: Зал 2");
       },
       "typed.txt", "typed.txt",
       QString("play:room1 12.09.23 14:05:07\r\nnote: Зал 2\r\n").toUtf8(), ""},
      {"a folder at that path", [](FormFixture& f) { QDir().mkpath(f.path("taken.txt")); },
       "taken.txt", "", "", "Cannot create file \""},
      {"a FIFO at that path",
       [](FormFixture& f) {
         ASSERT_EQ(::mkfifo(QFile::encodeName(f.path("pipe.txt")).constData(), 0600), 0);
       },
       "pipe.txt", "", "", "Cannot create file \""},
      {"a path under a regular file", [](FormFixture& f) { writeBytes(f.path("plain"), "x"); },
       "plain/log.txt", "", "", "Cannot create file \""},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture f;
    c.prepare(f);
    const QString before = f.form().M_protokol->toPlainText();
    if (c.answer)
      f.saveDialog.answers.push_back(f.path(*c.answer));
    else
      f.saveDialog.answers.push_back(std::nullopt);
    const QStringList filesBefore = QDir(f.exeDir()).entryList(QDir::Files);

    f.form().guarded([&] { f.form().BitBtn2Click(); });

    EXPECT_EQ(f.saveDialog.lastFilter, "Текстовые файлы|*.txt|Все|*");
    EXPECT_EQ(f.saveDialog.lastDefaultExt, "txt");
    EXPECT_EQ(f.form().M_protokol->toPlainText(), before);
    if (!c.savedAs.isEmpty()) {
      EXPECT_EQ(readBytes(f.path(c.savedAs)), c.bytes);
    }
    if (c.error.isEmpty()) {
      EXPECT_TRUE(f.boxes.boxes.empty());
    } else {
      const QString target = f.path(*c.answer);
      ASSERT_EQ(f.boxes.boxes.size(), 1u);
      const QString text = f.boxes.boxes[0].text;
      const QString head = c.error + target + "\". ";
      EXPECT_TRUE(text.startsWith(head)) << text.toStdString();
      EXPECT_GT(text.size(), head.size() + 1) << "no system error text";
      EXPECT_EQ(f.boxes.boxes[0].caption, "Vuvedid");
      EXPECT_EQ(f.boxes.boxes[0].icon, BoxIcon::Error);
    }
    if (!c.answer) {
      EXPECT_EQ(QDir(f.exeDir()).entryList(QDir::Files), filesBefore);
      EXPECT_EQ(f.form().SaveDialog1.fileName, "");
    } else {
      EXPECT_EQ(f.form().SaveDialog1.fileName,
                c.savedAs.isEmpty() ? f.path(*c.answer) : f.path(c.savedAs));
    }
  }
}

// One dialog for both logs: the system log's button offers the name the protocol log was
// saved under, and each button saves its own box.
TEST(Logs, BothButtonsShareTheDialog) {
  FormFixture f;
  TForm_player& form = f.form();
  form.logs->stampedProtocol("ping", false);
  form.AddSysLog("Callback_on_publish mid=7");
  f.saveDialog.answers = {f.path("first"), f.path("second.txt")};
  form.BitBtn2Click();
  form.BitBtn1Click();
  EXPECT_EQ(f.saveDialog.offered, QStringList({"", f.path("first.txt")}));
  EXPECT_EQ(readBytes(f.path("first.txt")), QByteArray("ping 09.12.23 14:05:07\r\n"));
  EXPECT_EQ(readBytes(f.path("second.txt")), QByteArray("Callback_on_publish mid=7\r\n"));

  // A cancel keeps the last name on offer.
  form.BitBtn2Click();
  EXPECT_EQ(f.saveDialog.offered.last(), f.path("second.txt"));
  EXPECT_EQ(form.SaveDialog1.fileName, f.path("second.txt"));
}

}  // namespace
