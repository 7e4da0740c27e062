// The shared text helpers: the 1-based copy, the two trims with their different edges, and
// the cuts that never split a character.
#include <gtest/gtest.h>

#include "app/Text.h"

namespace vuvedid {
namespace {

TEST(Text, CopyClampsIndexAndCount) {
  struct Case {
    qsizetype index, count;
    const char* expected;
  };
  const Case cases[] = {
      {1, 3, "abc"}, {0, 2, "ab"}, {-5, 1, "a"}, {4, 10, "def"}, {6, 1, "f"},
      {7, 1, ""},    {2, -1, ""},  {2, 0, ""},   {100, 5, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "index " << c.index << " count " << c.count);
    EXPECT_EQ(copy(QStringLiteral("abcdef"), c.index, c.count), QString::fromLatin1(c.expected));
  }
}

TEST(Text, TrimDropsEveryControlCharacterButNothingElse) {
  EXPECT_EQ(trim(QStringLiteral(" \t\r\n\x01reset\x1f \n")), QStringLiteral("reset"));
  EXPECT_EQ(trim(QStringLiteral(" \r\n ")), QString());
  // A no-break space (U+00A0) is above 32 and stays.
  EXPECT_EQ(trim(QStringLiteral("\u00a0x ")), QStringLiteral("\u00a0x"));
}

// The settings trim also drops DEL and the C1 controls; the command trim keeps them.
TEST(Text, TheTwoTrimsDifferOnlyAboveThirtyTwo) {
  const struct {
    QString text, command, settings;
  } cases[] = {
      {" \t x \r\n", "x", "x"},
      {QStringLiteral("\x7f x \u0085"), QStringLiteral("\x7f x \u0085"), "x"},
      {QStringLiteral("\u009f\u00a0x"), QStringLiteral("\u009f\u00a0x"), QStringLiteral("\u00a0x")},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    EXPECT_EQ(trim(c.text), c.command);
    EXPECT_EQ(trimBlanksAndControls(c.text), c.settings);
  }
}

TEST(Text, CutsKeepWholeCharacters) {
  const QByteArray ya = QStringLiteral("яя").toUtf8();             // two bytes each
  const QByteArray note = QStringLiteral("a\U0001F3B5").toUtf8();  // 1 + 4 bytes
  const struct {
    QByteArray bytes;
    qsizetype max;
    QByteArray expected;
  } bytes[] = {
      {ya, 4, ya}, {ya, 3, ya.left(2)}, {ya, 1, ""}, {note, 4, "a"}, {note, 5, note}, {"", 0, ""},
  };
  for (const auto& c : bytes) {
    SCOPED_TRACE(c.max);
    EXPECT_EQ(cutUtf8(c.bytes, c.max), c.expected);
  }
  const QString pair = QStringLiteral("x\U0001F3B5y");  // x, a surrogate pair, y
  EXPECT_EQ(cutText(pair, 4), pair);
  EXPECT_EQ(cutText(pair, 3), pair.left(3));
  EXPECT_EQ(cutText(pair, 2), "x");
  EXPECT_EQ(cutText(pair, 1), "x");
}

}  // namespace
}  // namespace vuvedid
