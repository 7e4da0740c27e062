#pragma once
// The launch command line: built as the quoted program, one blank and the parameters, cut
// to 255 bytes, and read back into a program and its arguments without any shell.
//
// Reading rule (documented for whoever writes "cmdstr:" texts):
// - The line starts with '"'; the program runs to the next '"', or to the end of the line
//   when the cut has taken the closing quote.
// - The rest is split into arguments at runs of blanks (space, tab, line breaks).
// - "..." groups blanks into one argument; inside it a backslash escapes only '"' and
//   '\', any other backslash stays as it is (so folder texts like C:\dir pass unchanged).
// - '...' groups everything literally up to the next '.
// - Outside quotes every character is literal, the backslash too. Quoted and plain parts
//   next to each other join into one argument; "" is an empty argument.
// - A quote left open runs to the end of the line.
// No expansion of any kind: $, ;, |, *, ~ and $(...) reach the program as plain text.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vuvedid {

constexpr qsizetype kCommandLineMax = 255;

// '"' + program + "\" " + parameters, cut to 255 bytes (before a character that would not
// fit whole).
QByteArray buildCommandLine(const QByteArray& program, const QByteArray& parameters);

struct ParsedCommandLine {
  QString program;
  QStringList arguments;
  bool operator==(const ParsedCommandLine&) const = default;
};

ParsedCommandLine parseCommandLine(const QByteArray& commandLine);

// Splits a parameter text into arguments by the rule above.
QStringList splitArguments(const QString& text);

// The folder part of a program text: up to and including its last '/'; empty without one.
QString folderPart(const QString& program);

}  // namespace vuvedid
