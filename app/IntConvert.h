#pragma once
// The one integer conversion of texts typed or received as numbers (volumes, ports).
// Accepted: an optional sign, then decimal digits, or a hexadecimal number introduced by
// "$", "x" or "0x" (either letter case); nothing before or after. The value must lie in
// the signed 32-bit range.
#include <QString>
#include <optional>

namespace vuvedid {

std::optional<int> tryStrToInt(const QString& text) noexcept;

// Throws ConvertError "'<text>' is not a valid integer value".
int StrToInt(const QString& text);

}  // namespace vuvedid
