// Input no operator writes on purpose: log writes of megabytes or of a hundred thousand
// lines, and a settings file full of binary junk. Each has a defined outcome and costs
// little.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>

#include "app/IniFile.h"
#include "app/Logs.h"
#include "support/AppFiles.h"
#include "support/FormFixture.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

// No half of a surrogate pair stands alone.
bool wellFormed(const QString& s) {
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i].isHighSurrogate()) {
      if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate()) return false;
      ++i;
    } else if (s[i].isLowSurrogate()) {
      return false;
    }
  }
  return true;
}

// Kilobytes of a line of /proc/self/status ("VmRSS", "VmHWM").
long statusKb(const char* field) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(field))
      return line.mid(qstrlen(field) + 1).trimmed().split(' ')[0].toLong();
  return -1;
}

// Lets the peak resident size start again from the current one.
bool resetPeak() {
  QFile f(QStringLiteral("/proc/self/clear_refs"));
  return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

const QString kStamp = QStringLiteral(" 12.09.23 14:05:07");

struct HugeWrite {
  const char* name;
  QString text;  // written as a received message's line
  qsizetype lines;
  QString first;  // the oldest line the box keeps
  QString last;
};

// Laying out a 16 MB line took the box 12 s of the GUI thread and 600 MB; a hundred
// thousand lines took 16 s, only for the box to drop all but its newest 5000 again.
TEST(BadInputLogs, HugeWritesShowWhatTheBoxKeepsAtLittleCost) {
  const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5");  // two UTF-16 units
  const QString longTail = QStringLiteral("t").repeated(kLogLineTail - 18);
  const HugeWrite cases[] = {
      {"16 MB in one line",
       QString(16 << 20, QLatin1Char('y')) + longTail,
       1,
       QString(kLogLineChars - kLogLineTail - 5, QLatin1Char('y')) + " ... " + longTail + kStamp,
       {}},
      {"200 000 short lines", QStringLiteral("line\n").repeated(200000) + "end", kLogLineLimit,
       "line", "end" + kStamp},
      {"paragraph separators", QString(200000, QChar::ParagraphSeparator) + "end", kLogLineLimit,
       "", "end" + kStamp},
      {"CR line ends", QStringLiteral("a\r").repeated(200000) + "end", kLogLineLimit, "a",
       "end" + kStamp},
      {"emoji across the cut", emoji.repeated(10000), 1, {}, {}},
      {"a line just at the limit",
       QString(kLogLineChars - kStamp.size(), QLatin1Char('k')),
       1,
       QString(kLogLineChars - kStamp.size(), QLatin1Char('k')) + kStamp,
       {}},
  };
  for (const HugeWrite& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture f;
    const long rss = statusKb("VmRSS");
    const bool peakReset = resetPeak();
    f.form().logs->stampedProtocol(c.text, true);
    if (peakReset) {
      const long grown = statusKb("VmHWM") - rss;
      // The text itself and its copies take some 100 MB at 16 MB; the box adds little.
      EXPECT_LT(grown, 200 * 1024) << "peak resident size grew by " << grown << " kB";
    }
    const QStringList lines = linesOf(f.form().M_protokol);
    ASSERT_EQ(lines.size(), c.lines);
    for (const QString& line : lines) {
      ASSERT_LE(line.size(), kLogLineChars);
      ASSERT_TRUE(wellFormed(line));
    }
    EXPECT_TRUE(lines.last().endsWith(kStamp));
    if (!c.first.isNull()) {
      EXPECT_EQ(lines.first(), c.first);
    }
    if (!c.last.isNull()) {
      EXPECT_EQ(lines.last(), c.last);
    }
    // The next line goes in as usual.
    f.form().logs->stampedProtocol(QStringLiteral("next"), true);
    EXPECT_EQ(linesOf(f.form().M_protokol).last(), "next" + kStamp);
  }
}

// Binary junk, broken UTF-8, CRLF ends and a line of a megabyte: start-up reads the keys
// it knows, and a save rewrites only their lines, every other one kept byte for byte.
TEST(BadInputSettings, JunkFileLoadsItsKeysAndSurvivesASave) {
  const QByteArray megabyte(1 << 20, 'z');
  const QList<QByteArray> unknown = {
      "\xEF\xBB\xBF; hall 3",
      raw("\0\0\0binary\xff\xfe\x01"),
      "junk=" + megabyte,
      megabyte + "=no section key",
      "[Other]",
      "broken=\xc3\x28\xa0\xa1",
      raw("nul=\0value"),
  };
  QByteArray file;
  const auto line = [&file](const QByteArray& l) { file += l + "\r\n"; };
  line(unknown[0]);
  line("[MQTT]");
  line(unknown[1]);
  line("ip = 10.0.0.7");
  line(unknown[2]);
  line("login=hall\xff");
  line(unknown[3]);
  line(unknown[4]);
  line(unknown[5]);
  line(unknown[6]);
  line("[folder]");
  line("folder_s=" + megabyte);
  FormOptions o;
  o.prepare = [file](const QString& exeDir) { writeBytes(exeDir + "MQTT.ini", file); };
  FormFixture f(o);
  TForm_player& form = f.form();
  EXPECT_EQ(form.eIP->text(), "10.0.0.7");
  EXPECT_EQ(form.eLogin->text(), QString::fromUtf16(u"hall\uFFFD"));
  EXPECT_EQ(form.folder_s->text(), QString(IniFile::kReadLimit, QLatin1Char('z')));
  EXPECT_EQ(form.eTopic->text(), "recive");  // absent: the designed text stays

  form.btn_save_mqttClick();
  const QByteArray saved = readBytes(f.path("MQTT.ini"));
  QList<QByteArray> savedLines = saved.split('\n');
  ASSERT_EQ(savedLines.takeLast(), "");
  for (QByteArray& l : savedLines) {
    ASSERT_TRUE(l.endsWith('\r'));
    l.chop(1);
  }
  qsizetype at = 0;
  for (const QByteArray& want : unknown) {
    at = savedLines.indexOf(want, at);
    ASSERT_GE(at, 0) << want.left(40).toPercentEncoding().toStdString();
  }
  EXPECT_TRUE(savedLines.contains("ip = 10.0.0.7"));
  EXPECT_TRUE(savedLines.contains("folder_s=" + QByteArray(IniFile::kReadLimit, 'z')));
  // A second save changes nothing more.
  form.btn_save_mqttClick();
  EXPECT_EQ(readBytes(f.path("MQTT.ini")), saved);
  EXPECT_EQ(f.boxes.texts(), QStringList({"Записано", "Записано"}));
}

}  // namespace
