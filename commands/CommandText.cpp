#include "commands/CommandText.h"

namespace vuvedid {

namespace {
constexpr qsizetype kMax8Bit = 255;
bool isBlankOrControl(QChar c) noexcept { return c.unicode() <= 32; }
}  // namespace

qsizetype position(const QString& text, const QString& keyword) noexcept {
  return text.indexOf(keyword, 0, Qt::CaseSensitive) + 1;
}

QString copy(const QString& text, qsizetype index, qsizetype count) {
  if (index < 1) index = 1;
  if (count < 0 || index > text.size()) return {};
  const qsizetype from = index - 1;
  return text.mid(from, qMin(count, text.size() - from));
}

QString trim(const QString& text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && isBlankOrControl(text.at(begin))) ++begin;
  while (end > begin && isBlankOrControl(text.at(end - 1))) --end;
  return text.mid(begin, end - begin);
}

QByteArray cutUtf8(const QByteArray& bytes, qsizetype maxBytes) {
  if (bytes.size() <= maxBytes) return bytes;
  qsizetype cut = maxBytes;
  // A continuation byte (10xxxxxx) at the cut means the character before it would be split.
  while (cut > 0 && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80) --cut;
  return bytes.left(cut);
}

QByteArray toLocal8Bit255(const QString& text) {
  return cutUtf8(text.left(kMax8Bit).toLocal8Bit(), kMax8Bit);
}

}  // namespace vuvedid
