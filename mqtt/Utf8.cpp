#include "mqtt/Utf8.h"

#include <QByteArray>
#include <cstring>

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
  const QByteArray utf8 = source.toUtf8();
  std::size_t take = static_cast<std::size_t>(utf8.size());
  if (take > room) {
    // Characters from U+0800 on take three bytes for one code unit and may not all fit:
    // back up to the start of the character that crosses the bound.
    take = room;
    while (take > 0 &&
           (static_cast<unsigned char>(utf8[static_cast<qsizetype>(take)]) & 0xC0) == 0x80)
      --take;
  }
  std::memcpy(out, utf8.constData(), take);
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
