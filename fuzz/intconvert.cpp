// The integer conversion against a second, deliberately plain reading of its grammar:
// [+|-] then decimal digits, or hex digits after "$", "x" or "0x" (either case), and the
// value inside the signed 32-bit range. Any difference is a fault in one of the two.
#include "app/IntConvert.h"

#include <QString>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "app/Errors.h"

namespace {

int digitValue(char16_t c, int base) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (base == 16 && c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (base == 16 && c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::optional<int> reference(const QString& text) {
  QString rest = text;
  bool negative = false;
  if (rest.startsWith(u'+') || rest.startsWith(u'-')) {
    negative = rest.startsWith(u'-');
    rest.remove(0, 1);
  }
  int base = 10;
  if (rest.startsWith(u'$') || rest.startsWith(u'x') || rest.startsWith(u'X')) {
    base = 16;
    rest.remove(0, 1);
  } else if (rest.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    base = 16;
    rest.remove(0, 2);
  }
  if (rest.isEmpty()) return std::nullopt;
  for (QChar c : rest)
    if (digitValue(c.unicode(), base) < 0) return std::nullopt;
  // Leading zeros carry no value; past that, the digit count alone rules out most texts.
  while (rest.size() > 1 && rest.startsWith(u'0')) rest.remove(0, 1);
  if (rest.size() > (base == 10 ? 10 : 8)) return std::nullopt;
  std::uint64_t magnitude = 0;
  for (QChar c : rest) magnitude = magnitude * base + digitValue(c.unicode(), base);
  const std::uint64_t bound = negative ? 2147483648ull : 2147483647ull;
  if (magnitude > bound) return std::nullopt;
  const std::int64_t value =
      negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return static_cast<int>(value);
}

void check(const QString& text) {
  const std::optional<int> got = vuvedid::tryStrToInt(text);
  FUZZ_CHECK(got == reference(text));
  try {
    const int v = vuvedid::StrToInt(text);
    FUZZ_CHECK(got && v == *got);
  } catch (const vuvedid::ConvertError& e) {
    FUZZ_CHECK(!got);
    // what() is a C string: a U+0000 in the text ends the message there.
    const std::string expected =
        QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString();
    FUZZ_CHECK(std::strcmp(e.what(), expected.c_str()) == 0);
  }
  // A value that converts prints back to a text that converts to the same value.
  if (got) FUZZ_CHECK(vuvedid::tryStrToInt(QString::number(*got)) == got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The bytes as UTF-8 (what arrives over MQTT) and as raw UTF-16 units (any QChar,
  // including digits of other scripts and lone surrogates).
  check(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
  if (size >= 2) std::memcpy(units.data(), data, (size / 2) * 2);
  check(units);
  return 0;
}
