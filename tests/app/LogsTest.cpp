// The two logs without a window: the bounded line stores, the log switches of the
// settings, what a view is handed (at once or per batch), and a save of what it shows.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "app/Logs.h"
#include "app/Settings.h"
#include "support/AppFiles.h"
#include "support/Doubles.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

// Records every hand-over; shows what was handed over, or what a test says was typed.
class RecordingLogView final : public LogView {
 public:
  void appendLines(LogBox box, const QString& text) override {
    appends.emplace_back(box, text);
    shown[box == LogBox::Protocol ? 0 : 1] += text.split('\n');
  }
  QStringList shownLines(LogBox box) const override {
    return shown[box == LogBox::Protocol ? 0 : 1];
  }
  std::vector<std::pair<LogBox, QString>> appends;
  QStringList shown[2];
};

struct Room {
  Settings settings;
  FixedClock clock;
  Logs logs{settings, clock};
  RecordingLogView view;
  Room() { logs.setView(&view); }
};

// What the switches let through, stamped, line breaks of every kind split; the store keeps
// the same lines with a view and without one (a room without a window).
TEST(LogStore, SwitchesStampsAndLineBreaks) {
  for (const bool withView : {true, false}) {
    SCOPED_TRACE(withView ? "with a view" : "without a view");
    Room r;
    if (!withView) r.logs.setView(nullptr);
    r.logs.stampedProtocol("first\r\nsecond\rthird", true);
    r.logs.AddSysLog("a\r\nb");
    r.settings.protokol = false;
    r.settings.log = false;
    r.logs.stampedProtocol("hidden", false);
    r.logs.AddSysLog("hidden");
    r.logs.playbackFailure("Файл не существует ");  // written whatever protokol says
    EXPECT_EQ(r.logs.lines(LogBox::Protocol),
              QStringList({"first", "second", "third 12.09.23 14:05:07",
                           "Файл не существует 09.12.23 14:05:07"}));
    EXPECT_EQ(r.logs.lines(LogBox::System), QStringList({"a", "b"}));
    if (withView) {
      EXPECT_EQ(r.view.shown[0], r.logs.lines(LogBox::Protocol));
      EXPECT_EQ(r.view.shown[1], r.logs.lines(LogBox::System));
    } else {
      EXPECT_TRUE(r.view.appends.empty());
    }
  }
}

// Weeks of heartbeats: each store keeps its newest kLogLineLimit lines, each line cut to
// kLogLineChars with its end (the stamp) kept.
TEST(LogStore, BoundedInLinesAndLength) {
  Room r;
  r.logs.setView(nullptr);
  for (int i = 0; i < kLogLineLimit + 3; ++i) r.logs.AddSysLog(QString::number(i));
  const QStringList& sys = r.logs.lines(LogBox::System);
  ASSERT_EQ(sys.size(), kLogLineLimit);
  EXPECT_EQ(sys.first(), "3");
  EXPECT_EQ(sys.last(), QString::number(kLogLineLimit + 2));

  r.logs.stampedProtocol(QString(3 * kLogLineChars, 'x'), true);
  const QString line = r.logs.lines(LogBox::Protocol).last();
  EXPECT_EQ(line.size(), kLogLineChars);
  EXPECT_TRUE(line.endsWith("x 12.09.23 14:05:07"));
  EXPECT_TRUE(line.contains(" ... "));
}

// A batch hands each box its lines in one append when the outermost batch ends, or at the
// next turn of the event loop; the store has them at once.
TEST(LogStore, BatchHandsOverOncePerBox) {
  Room r;
  r.logs.beginBatch();
  r.logs.beginBatch();
  r.logs.stampedProtocol("one", false);
  r.logs.AddSysLog("a");
  r.logs.stampedProtocol("two", false);
  r.logs.endBatch();
  EXPECT_TRUE(r.view.appends.empty());
  EXPECT_EQ(r.logs.lines(LogBox::Protocol).size(), 2);
  r.logs.endBatch();
  using Append = std::pair<LogBox, QString>;
  EXPECT_EQ(r.view.appends,
            (std::vector<Append>{{LogBox::Protocol, "one 09.12.23 14:05:07\ntwo 09.12.23 14:05:07"},
                                 {LogBox::System, "a"}}));

  r.view.appends.clear();
  r.logs.beginBatch();
  r.logs.AddSysLog("b");
  QCoreApplication::processEvents();
  EXPECT_EQ(r.view.appends, (std::vector<Append>{{LogBox::System, "b"}}));
  r.logs.endBatch();
  EXPECT_EQ(r.view.appends.size(), 1u);
}

// A save writes the lines the view shows (typed ones included) with CRLF ends; a room
// without a view saves its stores; a path that cannot be created is reported.
TEST(LogStore, SaveWritesWhatIsShown) {
  QTemporaryDir dir;
  const QString base = dir.path() + '/';
  Room r;
  r.logs.stampedProtocol("ping", false);
  r.view.shown[0] << QString("note: Зал 2") + QChar::LineSeparator + "more";
  ScriptedSaveDialog dialog;
  SaveDialogState state{"Текстовые файлы|*.txt|Все|*", "txt", {}};
  dialog.answers = {base + "proto", base + "sys.txt", base + "headless.txt"};
  r.logs.BitBtn2Click(dialog, state);
  EXPECT_EQ(readBytes(base + "proto.txt"),
            QString("ping 09.12.23 14:05:07\r\nnote: Зал 2\r\nmore\r\n").toUtf8());
  EXPECT_EQ(state.fileName, base + "proto.txt");
  r.logs.BitBtn1Click(dialog, state);
  EXPECT_EQ(readBytes(base + "sys.txt"), "");
  EXPECT_EQ(dialog.offered, QStringList({"", base + "proto.txt"}));

  r.logs.setView(nullptr);
  r.logs.BitBtn2Click(dialog, state);
  EXPECT_EQ(readBytes(base + "headless.txt"), "ping 09.12.23 14:05:07\r\n");

  QDir().mkpath(base + "taken.txt");
  dialog.answers = {base + "taken.txt"};
  try {
    r.logs.BitBtn2Click(dialog, state);
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_TRUE(
        QString::fromUtf8(e.what()).startsWith("Cannot create file \"" + base + "taken.txt\". "));
  }
}

}  // namespace
