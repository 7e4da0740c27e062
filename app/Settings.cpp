#include "app/Settings.h"

#include <algorithm>

#include "app/IntConvert.h"

namespace vuvedid {

int Settings::numberOf(const QString& text, int minimum, int maximum) {
  int v = tryStrToInt(text).value_or(minimum);
  if (maximum != minimum) v = std::clamp(v, minimum, maximum);
  return v;
}

}  // namespace vuvedid
