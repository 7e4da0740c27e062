#include "app/Text.h"

namespace vuvedid {

namespace {

bool isBlankOrC0(QChar c) noexcept { return c.unicode() <= 32; }

bool isBlankOrControl(QChar c) noexcept {
  const char16_t u = c.unicode();
  return u <= 0x20 || (u >= 0x7F && u <= 0x9F);
}

template <class Strip>
QString trimmed(const QString& text, Strip strip) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && strip(text.at(begin))) ++begin;
  while (end > begin && strip(text.at(end - 1))) --end;
  return text.mid(begin, end - begin);
}

}  // namespace

QString copy(const QString& text, qsizetype index, qsizetype count) {
  if (index < 1) index = 1;
  if (count < 1 || index > text.size()) return {};
  const qsizetype from = index - 1;
  return text.mid(from, qMin(count, text.size() - from));
}

QString trim(const QString& text) { return trimmed(text, isBlankOrC0); }

QString trimBlanksAndControls(const QString& text) { return trimmed(text, isBlankOrControl); }

QByteArray cutUtf8(const QByteArray& bytes, qsizetype maxBytes) {
  if (bytes.size() <= maxBytes) return bytes;
  qsizetype cut = maxBytes;
  // A continuation byte (10xxxxxx) at the cut means the character before it would be split.
  while (cut > 0 && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80) --cut;
  return bytes.left(cut);
}

QString cutText(const QString& text, qsizetype maxUnits) {
  if (text.size() <= maxUnits) return text;
  qsizetype cut = maxUnits;
  if (cut > 0 && text.at(cut - 1).isHighSurrogate()) --cut;
  return text.left(cut);
}

}  // namespace vuvedid
