// The command language's own text arithmetic (the 8-bit form) and the launch command line:
// how it is built, cut at 255 bytes and read back into a program and its arguments.
#include <gtest/gtest.h>

#include "commands/CommandLine.h"
#include "commands/CommandText.h"

namespace vuvedid {
namespace {

TEST(CommandText, EightBitTextsKeep255BytesAndWholeCharacters) {
  EXPECT_EQ(toLocal8Bit255(QString(300, QLatin1Char('a'))), QByteArray(255, 'a'));
  // 200 two-byte letters: 255 bytes would split the 128th, so it goes whole.
  const QByteArray cyr = toLocal8Bit255(QString(200, QChar(0x044F)));
  EXPECT_EQ(cyr.size(), 254);
  EXPECT_EQ(QString::fromUtf8(cyr), QString(127, QChar(0x044F)));
  // Only the first 255 units are converted at all.
  EXPECT_EQ(toLocal8Bit255(QString(255, QLatin1Char('b')) + QStringLiteral("xyz")),
            QByteArray(255, 'b'));
}

TEST(CommandLine, LongProgramTextsLoseParametersThenQuoteThenTheirEnd) {
  struct Case {
    const char* name;
    QByteArray program, parameters;
    QString expectedProgram;
    QStringList expectedArgs;
  };
  const QByteArray p252(252, 'p'), p253(253, 'p'), p254(254, 'p'), p255(255, 'p');
  const Case cases[] = {
      {"short", "/bin/prog", "-f 1", "/bin/prog", {"-f", "1"}},
      {"no parameters", "/bin/prog", "", "/bin/prog", {}},
      {"252 bytes: no room for parameters", p252, "-f", QString::fromLatin1(p252), {}},
      {"253 bytes: closing quote is the last byte", p253, "-f", QString::fromLatin1(p253), {}},
      {"254 bytes: closing quote lost", p254, "-f", QString::fromLatin1(p254), {}},
      {"255 bytes: last byte lost too", p255, "-f", QString(254, QLatin1Char('p')), {}},
      {"parameters cut at 255",
       "/bin/prog",
       QByteArray(300, 'x'),
       "/bin/prog",
       {QString(255 - 12, QLatin1Char('x'))}},
      {"empty program", "", "-f 1", "", {"-f", "1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray line = buildCommandLine(c.program, c.parameters);
    EXPECT_LE(line.size(), 255);
    const ParsedCommandLine parsed = parseCommandLine(line);
    EXPECT_EQ(parsed.program, c.expectedProgram);
    EXPECT_EQ(parsed.arguments, c.expectedArgs);
  }
  // A two-byte letter that would straddle byte 255 is dropped whole, not split.
  const QByteArray line = buildCommandLine(QByteArray(253, 'a') + QStringLiteral("я").toUtf8(), "");
  EXPECT_EQ(line, '"' + QByteArray(253, 'a'));
}

TEST(CommandLine, ArgumentsSplitWithQuotesAndNoShell) {
  struct Case {
    const char* text;
    QStringList expected;
  };
  const Case cases[] = {
      {"-f 1", {"-f", "1"}},
      {"  spaced \t out  ", {"spaced", "out"}},
      {R"("two words" 'single  quoted')", {"two words", "single  quoted"}},
      {R"("say \"hi\" \\ C:\dir")", {R"(say "hi" \ C:\dir)"}},
      {R"('no \"escapes\" here')", {R"(no \"escapes\" here)"}},
      {R"(C:\Tools\show.exe a\ b)", {R"(C:\Tools\show.exe)", R"(a\)", "b"}},
      {R"(pre"mid dle"post "" x)", {"premid dlepost", "", "x"}},
      {R"("open to the end)", {"open to the end"}},
      {"a;b | c $(rm -rf x) `id` $HOME * ~",
       {"a;b", "|", "c", "$(rm", "-rf", "x)", "`id`", "$HOME", "*", "~"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(splitArguments(QString::fromUtf8(c.text)), c.expected);
  }
}

TEST(CommandLine, WorkingFolderIsTheProgramTextUpToItsLastSlash) {
  EXPECT_EQ(folderPart(QStringLiteral("/opt/tools/show")), QStringLiteral("/opt/tools/"));
  EXPECT_EQ(folderPart(QStringLiteral("bin/tool")), QStringLiteral("bin/"));
  EXPECT_EQ(folderPart(QStringLiteral("notepad")), QString());
  // Backslashes are ordinary characters in Linux file names.
  EXPECT_EQ(folderPart(QStringLiteral(R"(C:\Tools\show.exe)")), QString());
  EXPECT_EQ(folderPart(QString()), QString());
}

}  // namespace
}  // namespace vuvedid
