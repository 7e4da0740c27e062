#pragma once
// Small file helpers for the application-shell tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <ostream>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) {
  *os << '"';
  for (char c : b) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r')
      *os << "\\r";
    else if (c == '\n')
      *os << "\\n";
    else if (u < 0x20 || u >= 0x7F)
      *os << "\\x"
          << "0123456789abcdef"[u >> 4] << "0123456789abcdef"[u & 15];
    else
      *os << c;
  }
  *os << '"';
}

namespace vuvedid::test {

// A literal with NUL bytes in it, whole.
template <size_t N>
QByteArray raw(const char (&s)[N]) {
  return QByteArray(s, N - 1);
}

inline QByteArray readBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// Writes a fixture file; a file that cannot be opened fails the test.
inline void writeFileOrFail(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

// The permission bits of path (as stat reports them), or -1.
inline int modeOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

}  // namespace vuvedid::test
