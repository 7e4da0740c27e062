// The text conversions at the broker boundary. Received bytes of any kind must decode
// without reading past their end; texts we send must come out as valid UTF-8 inside the
// 2n + 1 byte buffer, cut only between whole characters.
#include "mqtt/Utf8.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"

namespace {

bool validUtf8(const QByteArray& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  (void)decoder.decode(bytes);
  return !decoder.hasError();
}

void checkEncode(const QString& source) {
  vuvedid::ByteString out;
  const std::int32_t n = vuvedid::StrToUtf8(source, out);
  const std::size_t bound = 2 * static_cast<std::size_t>(source.size());
  FUZZ_CHECK(out.capacity() == bound + 1);
  FUZZ_CHECK(n >= 0 && static_cast<std::size_t>(n) <= bound);
  FUZZ_CHECK(static_cast<std::size_t>(n) == out.length());
  FUZZ_CHECK(out.c_str()[out.capacity() - 1] == '\0');
  const QByteArray got(out.c_str(), n);
  FUZZ_CHECK(validUtf8(got));
  // What is sent is the start of the full UTF-8 form, ended at the first U+0000 or at
  // the last whole character that fits.
  QByteArray full = source.toUtf8();
  if (const qsizetype zero = full.indexOf('\0'); zero >= 0) full.truncate(zero);
  FUZZ_CHECK(full.startsWith(got));
  if (static_cast<std::size_t>(full.size()) <= bound) {
    FUZZ_CHECK(got == full);
  } else {
    // Cut short: the next character would not have fitted whole.
    qsizetype next = n + 1;
    while (next < full.size() && (static_cast<unsigned char>(full[next]) & 0xC0) == 0x80) ++next;
    FUZZ_CHECK(static_cast<std::size_t>(next) > bound);
  }
  // Valid text makes the round trip (up to a U+0000, where the C string ends).
  QString expect = source;
  if (const qsizetype zero = expect.indexOf(QChar(0)); zero >= 0) expect.truncate(zero);
  if (static_cast<std::size_t>(full.size()) <= bound && QString::fromUtf8(full) == expect)
    FUZZ_CHECK(vuvedid::Utf8ZToStr(out.c_str()) == expect);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const auto count = static_cast<std::int32_t>(size);

  // Decoding reads exactly count bytes (ASan flags one byte more: the fuzzer's buffer has
  // no terminator) and keeps zero bytes.
  const QString buf = vuvedid::Utf8BufToStr(bytes, count);
  FUZZ_CHECK(buf == QString::fromUtf8(bytes, count));
  QByteArray z(bytes, static_cast<qsizetype>(size));  // adds the terminator
  const QString zs = vuvedid::Utf8ZToStr(z.constData());
  FUZZ_CHECK(zs == QString::fromUtf8(z.constData()));
  FUZZ_CHECK(buf.startsWith(zs));
  FUZZ_CHECK(vuvedid::Utf8BufToStr(bytes, -count - 1).isEmpty());

  // Encoding: the decoded text, and the raw bytes as UTF-16 units (lone surrogates too).
  checkEncode(buf);
  QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
  if (size >= 2) std::memcpy(units.data(), data, (size / 2) * 2);
  checkEncode(units);
  return 0;
}
