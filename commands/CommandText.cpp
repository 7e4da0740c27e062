#include "commands/CommandText.h"

namespace vuvedid {

namespace {
constexpr qsizetype kMax8Bit = 255;
}  // namespace

qsizetype position(const QString& text, const QString& keyword) noexcept {
  return text.indexOf(keyword, 0, Qt::CaseSensitive) + 1;
}

QByteArray toLocal8Bit255(const QString& text) {
  return cutUtf8(text.left(kMax8Bit).toLocal8Bit(), kMax8Bit);
}

}  // namespace vuvedid
