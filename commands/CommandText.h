#pragma once
// The text arithmetic of the command language; copy, trim and the UTF-8 cut are the shared
// ones of app/Text.h. Indices are 1-based and count UTF-16 code units.
#include <QByteArray>
#include <QString>

#include "app/Text.h"

namespace vuvedid {

// 1-based position of the first occurrence of keyword in text (exact, case-sensitive);
// 0 when absent.
qsizetype position(const QString& text, const QString& keyword) noexcept;

// The locale's 8-bit form of at most the first 255 units of text, cut to at most 255 bytes
// without splitting a multi-byte character (Qt's locale encoding is UTF-8 on Linux).
QByteArray toLocal8Bit255(const QString& text);

}  // namespace vuvedid
