#pragma once
// Text conversions at the libmosquitto boundary: every text handed to the library is a
// zero-terminated UTF-8 byte string, never a null pointer; received bytes come back as text.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vuvedid {

// A zero-terminated byte buffer. An empty one still holds its terminator, so c_str() is
// always a valid pointer to an (empty) string.
class ByteString {
 public:
  const char* c_str() const noexcept { return bytes_.data(); }
  // Bytes before the first zero byte.
  std::size_t length() const noexcept;
  // Room for the whole buffer, terminator included.
  std::size_t capacity() const noexcept { return bytes_.size(); }
  void clear() { bytes_.assign(1, '\0'); }
  // Replaces the buffer by size zero bytes (size >= 1).
  char* reset(std::size_t size);

 private:
  std::vector<char> bytes_ = std::vector<char>(1, '\0');
};

// Converts source into dest, a buffer of 2n + 1 bytes for n UTF-16 code units. A text
// whose UTF-8 form does not fit in 2n bytes is cut after the last whole character that
// does, so the buffer always holds valid UTF-8 and its terminator. Returns the number of
// bytes before the first zero byte (a U+0000 in the source ends the string there).
std::int32_t StrToUtf8(const QString& source, ByteString& dest);

// Received text: invalid sequences become U+FFFD. Utf8ZToStr stops at the first zero byte
// (a null pointer gives the empty text); Utf8BufToStr keeps zero bytes as U+0000.
QString Utf8ZToStr(const char* data);
QString Utf8BufToStr(const void* data, std::int32_t count);

}  // namespace vuvedid
