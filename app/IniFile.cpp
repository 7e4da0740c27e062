#include "app/IniFile.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include "app/Errors.h"

namespace vuvedid {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

bool isBlankByte(char c) noexcept { return static_cast<unsigned char>(c) <= 0x20; }

// [begin, end) of bytes without blanks and control bytes at both ends.
void trimBytes(const QByteArray& s, int& begin, int& end) noexcept {
  while (begin < end && (isBlankByte(s[begin]) || s[begin] == '\x7F')) ++begin;
  while (end > begin && (isBlankByte(s[end - 1]) || s[end - 1] == '\x7F')) --end;
}

// A U+FEFF that begins a value or a name is text like any other (fromUtf8 would drop it as
// a byte order mark, so a saved value would not read back as saved); only the file's own
// leading mark is skipped, by parseLine.
QString decode(const QByteArray& s, int begin, int end) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                  QStringConverter::Flag::ConvertInitialBom);
  return utf8.decode(QByteArrayView(s.constData() + begin, end - begin));
}

bool sameName(const QString& a, const QString& b) noexcept {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One line's worth of text: a value with a line break would split its line in two and
// could forge keys or sections of its own.
QByteArray oneLine(const QString& value) {
  QString v = value;
  for (QChar& c : v)
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator)
      c = QLatin1Char(' ');
  return v.toUtf8();
}

[[noreturn]] void unableToWrite(const QString& path) {
  throw FileError(QStringLiteral("Unable to write to %1").arg(QFileInfo(path).absoluteFilePath()));
}

}  // namespace

IniFile::Line IniFile::parseLine(QByteArray text, QByteArray eol, bool first) {
  Line line;
  line.text = std::move(text);
  line.eol = std::move(eol);
  const QByteArray& s = line.text;
  int begin = (first && s.startsWith(kBom)) ? 3 : 0;
  int end = static_cast<int>(s.size());
  trimBytes(s, begin, end);
  if (begin == end) return line;
  const char lead = s[begin];
  if (lead == ';' || lead == '#') return line;
  if (lead == '[') {
    const int close = static_cast<int>(s.lastIndexOf(']', end - 1));
    if (close > begin) {
      int nb = begin + 1, ne = close;
      trimBytes(s, nb, ne);
      line.kind = Kind::Section;
      line.name = decode(s, nb, ne);
      return line;
    }
  }
  const int eq = static_cast<int>(s.indexOf('=', begin));
  if (eq < 0 || eq >= end) return line;
  int kb = begin, ke = eq;
  trimBytes(s, kb, ke);
  if (kb == ke) return line;
  line.kind = Kind::Key;
  line.name = decode(s, kb, ke);
  int vs = eq + 1;
  while (vs < static_cast<int>(s.size()) && (s[vs] == ' ' || s[vs] == '\t')) ++vs;
  line.valueStart = vs;
  return line;
}

IniFile IniFile::fromBytes(const QByteArray& bytes) {
  IniFile ini;
  qsizetype pos = 0;
  const qsizetype size = bytes.size();
  while (pos < size) {
    const qsizetype nl = bytes.indexOf('\n', pos);
    QByteArray text, eol;
    if (nl < 0) {
      text = bytes.mid(pos);
      pos = size;
    } else {
      qsizetype textEnd = nl;
      if (textEnd > pos && bytes[textEnd - 1] == '\r') --textEnd;
      text = bytes.mid(pos, textEnd - pos);
      eol = bytes.mid(textEnd, nl + 1 - textEnd);
      pos = nl + 1;
    }
    ini.lines_.push_back(parseLine(std::move(text), std::move(eol), ini.lines_.empty()));
  }
  return ini;
}

IniFile IniFile::readFile(const QString& path) {
  // Only a regular file: a FIFO or device at that name would block or never end.
  if (!QFileInfo(path).isFile()) return {};
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return fromBytes(f.readAll());
}

int IniFile::findKey(const QString& section, const QString& key) const {
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Section)
      inSection = sameName(l.name, section);
    else if (inSection && l.kind == Kind::Key && sameName(l.name, key))
      return static_cast<int>(i);
  }
  return -1;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
  const int i = findKey(section, key);
  if (i < 0) return std::nullopt;
  const Line& l = lines_[i];
  QString v = trimBlanksAndControls(decode(l.text, l.valueStart, static_cast<int>(l.text.size())));
  return cutText(v, kReadLimit);
}

QByteArray IniFile::newLineEnding() const {
  for (const Line& l : lines_)
    if (!l.eol.isEmpty()) return l.eol;
  return QByteArrayLiteral("\n");
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
  const QByteArray v = oneLine(value);
  const int existing = findKey(section, key);
  if (existing >= 0) {
    Line& l = lines_[existing];
    l.text = l.text.left(l.valueStart) + v;
    return;
  }
  const QByteArray eol = newLineEnding();
  // Where the first section of that name ends its keys.
  int insertAfter = -1;
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Section) {
      if (inSection) break;
      inSection = sameName(l.name, section);
      if (inSection) insertAfter = static_cast<int>(i);
    } else if (inSection && l.kind == Kind::Key) {
      insertAfter = static_cast<int>(i);
    }
  }
  std::vector<Line> added;
  if (insertAfter < 0) {
    added.push_back(parseLine("[" + section.toUtf8() + "]", eol, lines_.empty()));
    insertAfter = static_cast<int>(lines_.size()) - 1;
  }
  added.push_back(parseLine(key.toUtf8() + "=" + v, eol, false));
  // A last line without its ending gets one before anything follows it.
  if (insertAfter >= 0 && lines_[insertAfter].eol.isEmpty()) lines_[insertAfter].eol = eol;
  lines_.insert(lines_.begin() + (insertAfter + 1), added.begin(), added.end());
}

QByteArray IniFile::bytes() const {
  qsizetype total = 0;
  for (const Line& l : lines_) total += l.text.size() + l.eol.size();
  QByteArray out;
  out.reserve(total);
  for (const Line& l : lines_) {
    out += l.text;
    out += l.eol;
  }
  return out;
}

void IniFile::writeValue(const QString& path, const QString& section, const QString& key,
                         const QString& value) {
  const QFileInfo info(path);
  QByteArray old;
  const bool exists = info.exists();
  if (exists) {
    // A file we cannot read whole must not be replaced by one holding a single key.
    // Nor is a file the user made read-only replaced behind his back (the rename of an
    // atomic save would need only the folder's permission).
    if (!info.isFile() || !info.isWritable()) unableToWrite(path);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) unableToWrite(path);
    old = in.readAll();
    if (in.error() != QFileDevice::NoError) unableToWrite(path);
  }
  IniFile ini = fromBytes(old);
  ini.setValue(section, key, value);
  const QByteArray data = ini.bytes();

  QSaveFile out(path);
  // A folder we may not create files in, holding a file we may write: write in place.
  out.setDirectWriteFallback(true);
  if (!out.open(QIODevice::WriteOnly)) unableToWrite(path);
  // Permissions first, so the password never sits in a file others may read: whatever the
  // file allowed group and others before (a file written by hand under the usual umask is
  // readable by all), a save leaves it to its owner only.
  const QFileDevice::Permissions ownerOnly =
      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
  const QFileDevice::Permissions perms = exists
                                             ? (info.permissions() & ownerOnly)
                                             : (QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  out.setPermissions(perms);
  // QSaveFile's commit does not see a write that failed while its buffer was flushed (a
  // full disk, a size limit) and would put the cut-short file in place: flush here first.
  if (out.write(data) != data.size() || !out.flush()) {
    out.cancelWriting();
    out.commit();  // drops the temporary file
    unableToWrite(path);
  }
  if (!out.commit()) unableToWrite(path);
}

}  // namespace vuvedid
