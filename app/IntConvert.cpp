#include "app/IntConvert.h"

#include <cstdint>
#include <limits>

#include "app/Errors.h"

namespace vuvedid {

std::optional<int> tryStrToInt(const QString& text) noexcept {
  qsizetype i = 0;
  const qsizetype n = text.size();
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < n && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i < n && (text[i] == u'x' || text[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return std::nullopt;
  // Accumulate in 64 bits and stop as soon as the value leaves the 32-bit range, so a
  // thousand digits cannot overflow.
  const std::int64_t limit = negative ? std::int64_t{std::numeric_limits<int>::max()} + 1
                                      : std::int64_t{std::numeric_limits<int>::max()};
  std::int64_t value = 0;
  for (; i < n; ++i) {
    const char16_t c = text[i].unicode();
    int digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return static_cast<int>(negative ? -value : value);
}

int StrToInt(const QString& text) {
  if (auto v = tryStrToInt(text)) return *v;
  throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

}  // namespace vuvedid
