#pragma once
// Readable QString and QStringList values in test failure messages (gtest finds these by
// argument-dependent lookup in the global namespace, where Qt's classes live).
#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << '{';
  for (qsizetype i = 0; i < l.size(); ++i) *os << (i ? ", \"" : "\"") << l[i].toStdString() << '"';
  *os << '}';
}
