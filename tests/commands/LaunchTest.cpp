// "cmdstr:" through the real process starter: a helper program records how it was started
// (working folder, arguments, session, stdin).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <optional>

#include "commands/ProgramLauncher.h"
#include "commands/QProcessStarter.h"
#include "commands/Room.h"
#include "support/AppFiles.h"
#include "support/FormFixture.h"
#include "ui/TForm_player.h"

namespace vuvedid::test {
namespace {

// Children of this process that have ended but were never reaped.
QStringList zombieChildren() {
  QStringList zombies;
  const QString self = QString::number(getpid());
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QString line = QString::fromLocal8Bit(stat.readAll());
    // "pid (comm) state ppid ...": comm may hold blanks, so read after its ")".
    const QStringList fields = line.mid(line.lastIndexOf(QLatin1Char(')')) + 2).split(' ');
    if (fields.size() > 1 && fields[0] == QLatin1String("Z") && fields[1] == self)
      zombies << line.left(line.indexOf(')') + 1);
  }
  return zombies;
}

class Launch : public testing::Test {
 protected:
  void SetUp() override {
    out = tmp.filePath(QStringLiteral("argv.txt"));
    setenv("RECORD_ARGV_OUT", out.toLocal8Bit().constData(), 1);
  }
  void TearDown() override { unsetenv("RECORD_ARGV_OUT"); }

  // The lines the helper wrote, once it has written them all (stdin is the last).
  QStringList recorded() {
    QStringList lines;
    waitFor(
        [&] {
          QFile f(out);
          if (!f.open(QIODevice::ReadOnly)) return false;
          lines = QString::fromUtf8(f.readAll()).split('\n');
          return std::any_of(lines.begin(), lines.end(),
                             [](const QString& l) { return l.startsWith("stdin="); });
        },
        5000);
    return lines;
  }
  static QStringList argvOf(const QStringList& lines) {
    QStringList args;
    for (const QString& l : lines)
      if (l.startsWith(QLatin1String("argv[")) && !l.startsWith(QLatin1String("argv[0]")))
        args << l.mid(l.indexOf('=') + 1);
    return args;
  }
  static QString valueOf(const QStringList& lines, const QString& key) {
    for (const QString& l : lines)
      if (l.startsWith(key + '=')) return l.mid(key.size() + 1);
    return QStringLiteral("<missing>");
  }

  QTemporaryDir tmp;
  QString out;
  QProcessStarter starter;
};

const QString kHelper = QStringLiteral(VUVEDID_RECORD_ARGV);

TEST_F(Launch, ArgumentsArriveAsWrittenWithoutAShell) {
  struct Case {
    const char* parameters;
    QStringList expected;
  };
  const Case cases[] = {
      {R"(-f 1)", {"-f", "1"}},
      {R"("two words" 'and three more' plain)", {"two words", "and three more", "plain"}},
      {R"("say \"hi\"" C:\dir\x)", {R"(say "hi")", R"(C:\dir\x)"}},
      {R"(a;b | touch made-by-shell $(touch made-by-shell) `id` $HOME *)",
       {"a;b", "|", "touch", "made-by-shell", "$(touch", "made-by-shell)", "`id`", "$HOME", "*"}},
      {"Привет мир", {"Привет", "мир"}},
  };
  FormOptions options;
  options.starter = &starter;
  FormFixture f(options);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameters);
    QFile::remove(out);
    f.form().CommandsRun(QStringLiteral("cmdstr:") + kHelper + ' ' +
                         QString::fromUtf8(c.parameters));
    const QStringList lines = recorded();
    EXPECT_EQ(argvOf(lines), c.expected);
    // Started in the program's own folder.
    EXPECT_EQ(valueOf(lines, QStringLiteral("cwd")), QFileInfo(kHelper).absolutePath());
  }
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(kHelper).absolutePath() + "/made-by-shell"));
  EXPECT_TRUE(f.boxes.boxes.empty());
}

TEST_F(Launch, ChildIsDetachedAndLeavesNoZombie) {
  ProgramLauncher launcher(starter);
  EXPECT_EQ(launcher.RunProgram(kHelper.toLocal8Bit(), "x"), 1);
  const QStringList lines = recorded();
  EXPECT_EQ(argvOf(lines), QStringList{"x"});
  // Its own session, its stdin on the null device rather than ours.
  EXPECT_NE(valueOf(lines, QStringLiteral("sid")), QString::number(getsid(0)));
  EXPECT_EQ(valueOf(lines, QStringLiteral("stdin")), QStringLiteral("/dev/null"));
  EXPECT_TRUE(valueOf(lines, QStringLiteral("stdin_tty")).startsWith('0'));
  spin(100);
  EXPECT_EQ(zombieChildren(), QStringList());
}

TEST_F(Launch, ProgramsThatCannotStartAreNotReported) {
  // A relative program text names a file seen from our current folder.
  QString rel = QDir::current().relativeFilePath(kHelper);
  if (!rel.contains('/')) rel.prepend(QStringLiteral("./"));
  struct Case {
    const char* name;
    QByteArray program;
    qint64 result;
  };
  const Case cases[] = {
      {"missing program", "/nonexistent/folder/prog", 0},
      {"empty program", "", 0},
      {"folder, not a program", QFileInfo(kHelper).absolutePath().toLocal8Bit(), 0},
      {"relative path to the helper", rel.toLocal8Bit(), 1},
  };
  FormOptions options;
  options.starter = &starter;
  FormFixture f(options);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(f.form().room->launcher.RunProgram(c.program, "p"), c.result);
  }
  EXPECT_TRUE(f.boxes.boxes.empty());
  spin(100);
  EXPECT_EQ(zombieChildren(), QStringList());
}

// [launch] allow: a program on the list starts, one off it does not (one line says so) while
// the rest of the command text still runs; without the key every program starts.
TEST_F(Launch, AllowListStartsOnlyTheProgramsOnIt) {
  const QString folder = QFileInfo(kHelper).absolutePath();
  const QString name = QFileInfo(kHelper).fileName();
  struct Case {
    const char* name;
    std::optional<QString> allow;  // nothing: no key in the file
    bool starts;
  };
  const Case cases[] = {
      {"no key: every program starts", std::nullopt, true},
      {"the exact path among others", QStringLiteral("/usr/bin/true; ") + kHelper, true},
      {"a pattern over its folder", folder + QStringLiteral("/*"), true},
      {"a pattern that stops at the folder level", QStringLiteral("/*"), false},
      {"another program only", QStringLiteral("/usr/bin/true"), false},
      {"an empty list", QString(), false},
      {"its bare name is no path", name, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(out);
    FormOptions options;
    options.starter = &starter;
    options.prepare = [&](const QString& exeDir) {
      QByteArray ini = "[protokol]\nlog=1\n";
      if (c.allow) ini += "[launch]\nallow=" + c.allow->toUtf8() + "\n";
      writeFileOrFail(exeDir + QStringLiteral("MQTT.ini"), ini);
    };
    FormFixture f(options);
    f.form().CommandsRun(QStringLiteral("cmdstr:") + kHelper + QStringLiteral(" x speak:after"));
    // The command's other words run either way.
    EXPECT_EQ(f.speech.spoken, QStringList{QStringLiteral("after")});
    const QStringList refusals = linesOf(f.form().memo2).filter(QStringLiteral("[launch] allow"));
    if (c.starts) {
      EXPECT_EQ(argvOf(recorded()).value(0), QStringLiteral("x"));
      EXPECT_TRUE(refusals.isEmpty());
    } else {
      spin(300);
      EXPECT_FALSE(QFileInfo::exists(out));
      ASSERT_EQ(refusals.size(), 1);
      EXPECT_TRUE(refusals[0].contains(kHelper)) << refusals[0].toStdString();
    }
    EXPECT_TRUE(f.boxes.boxes.empty());
  }
}

}  // namespace
}  // namespace vuvedid::test
