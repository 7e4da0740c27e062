#include "mqtt/Utf8.h"

#include <QByteArray>
#include <cstring>

#include "app/Text.h"

namespace vuvedid {

std::size_t ByteString::length() const noexcept { return std::strlen(bytes_.data()); }

char* ByteString::reset(std::size_t size) {
  bytes_.assign(size < 1 ? 1 : size, '\0');
  return bytes_.data();
}

std::int32_t StrToUtf8(const QString& source, ByteString& dest) {
  const std::size_t room = 2 * static_cast<std::size_t>(source.size());
  char* out = dest.reset(room + 1);
  // Qt writes lone surrogates as U+FFFD, so the bytes are valid UTF-8 whatever the text.
  // Characters from U+0800 on take three bytes for one code unit and may not all fit.
  const QByteArray utf8 = cutUtf8(source.toUtf8(), static_cast<qsizetype>(room));
  std::memcpy(out, utf8.constData(), static_cast<std::size_t>(utf8.size()));
  return static_cast<std::int32_t>(dest.length());
}

QString Utf8ZToStr(const char* data) {
  if (!data) return QString();
  return Utf8BufToStr(data, static_cast<std::int32_t>(std::strlen(data)));
}

QString Utf8BufToStr(const void* data, std::int32_t count) {
  if (!data || count <= 0) return QString();
  return QString::fromUtf8(static_cast<const char*>(data), count);
}

}  // namespace vuvedid
