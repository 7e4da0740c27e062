#pragma once
// The text arithmetic of the command language. Indices and counts are 1-based and count
// UTF-16 code units (QString indices), so a received text is cut exactly the way the
// controllers that send it expect, whatever characters it holds.
#include <QByteArray>
#include <QString>

namespace vuvedid {

// 1-based position of the first occurrence of keyword in text (exact, case-sensitive);
// 0 when absent.
qsizetype position(const QString& text, const QString& keyword) noexcept;

// count units from the 1-based index: an index below 1 counts as 1, an index past the end
// or a negative count gives empty text, a count past the end stops at the end.
QString copy(const QString& text, qsizetype index, qsizetype count);

// Without every leading and trailing unit whose code is 32 or less (blanks, control
// characters, line breaks).
QString trim(const QString& text);

// The locale's 8-bit form of at most the first 255 units of text, cut to at most 255 bytes
// without splitting a multi-byte character (Qt's locale encoding is UTF-8 on Linux).
QByteArray toLocal8Bit255(const QString& text);

// At most maxBytes of a UTF-8 text, cut before a character that would not fit whole.
QByteArray cutUtf8(const QByteArray& bytes, qsizetype maxBytes);

}  // namespace vuvedid
