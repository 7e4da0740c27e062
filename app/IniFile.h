#pragma once
// A small INI editor that leaves the file as the user wrote it.
//
// Reading follows the usual profile rules: sections and keys compare without regard to
// letter case, names and values lose blanks and control characters at both ends, the
// first of several equal keys wins, and a value comes back with at most kReadLimit
// characters. Any bytes parse (NUL bytes, broken UTF-8, very long lines): text is UTF-8,
// broken sequences read as U+FFFD, a UTF-8 byte-order mark at the start is skipped.
//
// Line kinds, judged on the line without its blanks at both ends:
//   "[name]"      a section (name between the first "[" and the last "]");
//   ";..." "#..." a comment;
//   "key=value"   a key (a line whose first "=" has a non-empty name before it);
//   anything else is kept but means nothing; so are keys before the first section.
// Values are taken literally: quotes around a value are part of it, so whatever the
// program writes reads back as written.
//
// Writing changes only the line it touches; every other line stays byte for byte:
//   - an existing key keeps everything up to its value (its spelling, the blanks around
//     "="); the value and its trailing blanks are replaced, the line ending is kept;
//   - a new key goes right after the last key line of its section (after the section line
//     when it has none), so comments and blank lines that lead to the next section stay
//     in front of it;
//   - a new section goes at the end of the file, without a blank line before it.
// New lines take the file's own line ending: CRLF when its first line ends in CRLF, LF
// otherwise and for a new file. A value is one line: line breaks in it become blanks.
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "app/Text.h"

namespace vuvedid {

class IniFile {
 public:
  // At most this many characters of a stored value are read back.
  static constexpr int kReadLimit = 2047;

  IniFile() = default;
  static IniFile fromBytes(const QByteArray& bytes);
  // The file's content; a file that is missing, not a regular file or unreadable reads as
  // empty (reading never fails).
  static IniFile readFile(const QString& path);

  // The value of key in section, trimmed and cut to kReadLimit characters; nothing when the
  // key (or its section) is absent.
  std::optional<QString> value(const QString& section, const QString& key) const;
  void setValue(const QString& section, const QString& key, const QString& value);
  QByteArray bytes() const;

  // Reads path afresh, sets one value and saves atomically: the file is left readable by
  // its owner only (it holds the broker password), a new one and an existing one alike; an
  // existing one keeps its owner's bits. Throws FileError "Unable to write to <full path>" when the
  // file cannot be read back whole, is read-only or cannot be saved; the file is then left as it
  // was.
  static void writeValue(const QString& path, const QString& section, const QString& key,
                         const QString& value);

 private:
  enum class Kind { Other, Section, Key };
  struct Line {
    QByteArray text;  // without its line ending
    QByteArray eol;   // "\r\n", "\n" or "" (last line without an ending)
    Kind kind = Kind::Other;
    QString name;        // section or key name, trimmed
    int valueStart = 0;  // Key: offset in text where the value starts (after "=" and blanks)
  };

  static Line parseLine(QByteArray text, QByteArray eol, bool first);
  // Index of the first line of key in section, or -1.
  int findKey(const QString& section, const QString& key) const;
  QByteArray newLineEnding() const;

  std::vector<Line> lines_;
};

}  // namespace vuvedid
