// Text to and from the byte strings libmosquitto takes and gives.
#include <gtest/gtest.h>

#include "mqtt/Utf8.h"

using namespace vuvedid;

TEST(StrToUtf8, FitsTheTwoBytesPerUnitBufferAndCutsOnlyAtWholeCharacters) {
  struct Case {
    const char16_t* source;
    QByteArray expected;
  };
  const Case cases[] = {
      {u"Привет", QByteArray("Привет")},                    // two bytes per unit: fits whole
      {u"\u20AC", QByteArray()},                            // 3 bytes = 2n + 1: dropped
      {u"a\u20AC\u20AC", QByteArray("a\u20AC")},            // 7 bytes = 2n + 1
      {u"\u20AC\u20AC\u20AC", QByteArray("\u20AC\u20AC")},  // 9 bytes > 2n + 1: cut, not garbage
      {u"ab\u20AC\u20AC", QByteArray("ab\u20AC\u20AC")},    // as many ASCII as wide: fits
      {u"x\U0001F600y", QByteArray("x\U0001F600y")},        // surrogate pair: 4 bytes for 2
      {u"topic", QByteArray("topic")},
  };
  for (const Case& c : cases) {
    const QString source = QString::fromUtf16(c.source);
    ByteString dest;
    const int n = StrToUtf8(source, dest);
    EXPECT_EQ(QByteArray(dest.c_str()), c.expected) << source.toStdString();
    EXPECT_EQ(n, c.expected.size()) << source.toStdString();
    EXPECT_EQ(dest.capacity(), static_cast<std::size_t>(2 * source.size() + 1));
    // Whatever was cut, what is left decodes without a replacement character of its own.
    EXPECT_EQ(QString::fromUtf8(dest.c_str()).toUtf8(), QByteArray(dest.c_str()));
  }
}

TEST(StrToUtf8, LoneSurrogateStillGivesValidUtf8) {
  const char16_t lone[] = {0xD800, u'a'};
  ByteString dest;
  StrToUtf8(QString::fromUtf16(lone, 2), dest);
  const QByteArray bytes(dest.c_str());
  EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes);
  EXPECT_LE(bytes.size(), 4);
}

TEST(StrToUtf8, ZeroCharacterEndsTheString) {
  ByteString dest;
  EXPECT_EQ(StrToUtf8(QString::fromUtf16(u"ab\u0000cd", 5), dest), 2);
  EXPECT_STREQ(dest.c_str(), "ab");
}

TEST(ByteString, EmptyIsAnEmptyStringNotANullPointer) {
  ByteString dest;
  ASSERT_NE(dest.c_str(), nullptr);
  EXPECT_STREQ(dest.c_str(), "");
  StrToUtf8(QStringLiteral("abc"), dest);
  dest.clear();
  ASSERT_NE(dest.c_str(), nullptr);
  EXPECT_STREQ(dest.c_str(), "");
}

TEST(Utf8ToText, InvalidBytesBecomeReplacementAndZeroBytesStayInABuffer) {
  const char bad[] = "a\xC3(b\xFF";
  EXPECT_EQ(Utf8BufToStr(bad, 5), QString::fromUtf16(u"a\uFFFD(b\uFFFD"));
  const char zeros[] = {'o', 'n', 0, 'e', 0};
  EXPECT_EQ(Utf8BufToStr(zeros, 5), QString::fromUtf16(u"on\u0000e\u0000", 5));
  EXPECT_EQ(Utf8ZToStr(zeros), QStringLiteral("on"));
  EXPECT_EQ(Utf8ZToStr(nullptr), QString());
  EXPECT_EQ(Utf8BufToStr(zeros, 0), QString());
}
