#include "app/Logs.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "app/Errors.h"
#include "app/Services.h"
#include "app/Settings.h"

namespace vuvedid {

namespace {

// A line longer than kLogLineChars keeps its start and its end (where the stamp is), with
// a mark between; a split surrogate pair would show as garbage, so the cut avoids one.
QString shortened(QStringView line) {
  if (line.size() <= kLogLineChars) return line.toString();
  const QLatin1String mark(" ... ");
  qsizetype tail = kLogLineTail;
  qsizetype head = kLogLineChars - tail - mark.size();
  if (line.at(head - 1).isHighSurrogate()) --head;
  if (line.at(line.size() - tail).isLowSurrogate()) --tail;
  QString out;
  out.reserve(head + mark.size() + tail);
  out.append(line.left(head)).append(mark).append(line.right(tail));
  return out;
}

// What goes into a box for one written text.
QString boxText(const QString& text) {
  // The box itself would make CR and LF two separate breaks: a CRLF pair is one.
  // A paragraph separator breaks the box's lines as well, so it counts as one below.
  QString t = text;
  if (t.contains(QLatin1Char('\r'))) {
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  }
  if (t.contains(QChar::ParagraphSeparator))
    t.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  // A message of megabytes, or of a hundred thousand lines, would hold the GUI thread for
  // many seconds while the box lays it out (and take hundreds of megabytes doing so), only
  // for the box to drop most of it again. Only what the box would keep goes in: the newest
  // kLogLineLimit lines, each cut to kLogLineChars.
  qsizetype from = t.size();  // the break before the oldest line kept, -1 when all are
  for (int breaks = 0; breaks < kLogLineLimit; ++breaks) {
    const qsizetype at = from > 0 ? t.lastIndexOf(QLatin1Char('\n'), from - 1) : -1;
    from = at;
    if (at < 0) break;
  }
  const QStringView kept = from < 0 ? QStringView(t) : QStringView(t).mid(from + 1);
  bool fits = kept.size() <= kLogLineChars;
  if (!fits) {
    fits = true;
    for (const QStringView line : kept.split(QLatin1Char('\n')))
      fits = fits && line.size() <= kLogLineChars;
  }
  if (fits && from < 0) return t;
  if (fits) return kept.toString();
  QString out;
  bool first = true;
  for (const QStringView line : kept.split(QLatin1Char('\n'))) {
    if (!first) out += QLatin1Char('\n');
    first = false;
    out += shortened(line);
  }
  return out;
}

void two(QString& out, int v) {
  out += QLatin1Char(static_cast<char>('0' + v / 10 % 10));
  out += QLatin1Char(static_cast<char>('0' + v % 10));
}

}  // namespace

Logs::Logs(const Settings& settings, const IClock& clock) : settings_(settings), clock_(clock) {}

QString Logs::timeStamp(const QDateTime& at, bool monthFirst) {
  const QDate d = at.date();
  const QTime t = at.time();
  QString s;
  s.reserve(17);
  two(s, monthFirst ? d.month() : d.day());
  s += QLatin1Char('.');
  two(s, monthFirst ? d.day() : d.month());
  s += QLatin1Char('.');
  two(s, ((d.year() % 100) + 100) % 100);
  s += QLatin1Char(' ');
  two(s, t.hour());
  s += QLatin1Char(':');
  two(s, t.minute());
  s += QLatin1Char(':');
  two(s, t.second());
  return s;
}

void Logs::AddSysLog(const QString& text) {
  if (settings_.log) append(LogBox::System, text);
}

void Logs::appendProtocol(const QString& line) { append(LogBox::Protocol, line); }

void Logs::store(LogBox box, const QString& text) {
  QStringList& lines = lines_[index(box)];
  lines.append(text.split(QLatin1Char('\n')));
  if (lines.size() > kLogLineLimit) lines.erase(lines.begin(), lines.end() - kLogLineLimit);
}

void Logs::append(LogBox box, const QString& text) {
  const QString t = boxText(text);
  store(box, t);
  if (!view_) return;
  if (batchDepth_ == 0) {
    view_->appendLines(box, t);
    return;
  }
  Pending& pending = pending_[index(box)];
  pending.texts.append(t);
  pending.lines += t.count(QLatin1Char('\n')) + 1;
  // A batch left open a long time (a message box nobody closes) must not grow without end.
  if (pending.lines >= kLogLineLimit) {
    flush();
    return;
  }
  if (!flushQueued_) {
    flushQueued_ = true;
    QTimer::singleShot(0, &flushContext_, [this] { flush(); });
  }
}

void Logs::flush() {
  flushQueued_ = false;
  handOver(LogBox::Protocol);
  handOver(LogBox::System);
}

void Logs::handOver(LogBox box) {
  Pending& pending = pending_[index(box)];
  if (pending.texts.isEmpty()) return;
  // Together the texts may hold more lines than the box keeps: boxText drops those too.
  const QString text = boxText(pending.texts.join(QLatin1Char('\n')));
  pending = Pending{};
  if (view_) view_->appendLines(box, text);
}

void Logs::beginBatch() noexcept { ++batchDepth_; }

void Logs::endBatch() {
  if (batchDepth_ > 0 && --batchDepth_ == 0) flush();
}

void Logs::playbackFailure(const QString& text) {
  appendProtocol(text + timeStamp(clock_.now(), false));
}

void Logs::stampedProtocol(const QString& text, bool monthFirst) {
  if (settings_.protokol)
    appendProtocol(text + QLatin1Char(' ') + timeStamp(clock_.now(), monthFirst));
}

QString Logs::savedText(const QStringList& lines) {
  QString out;
  qsizetype size = 0;
  for (const QString& l : lines) size += l.size() + 2;
  out.reserve(size + 16);
  for (QString line : lines) {
    // A break typed with Shift+Enter shows as a line of its own.
    if (line.contains(QChar::LineSeparator))
      line.replace(QChar::LineSeparator, QLatin1String("\r\n"));
    out += line;
    out += QLatin1String("\r\n");
  }
  return out;
}

void Logs::save(LogBox box, ISaveDialog& dialog, SaveDialogState& dlg) {
  std::optional<QString> chosen = dialog.choose(dlg.filter, dlg.defaultExt, dlg.fileName);
  if (!chosen || chosen->isEmpty()) return;
  QString path = QFileInfo(*chosen).absoluteFilePath();
  // A name typed without an extension gets the default one, whatever the dialog did.
  if (!dlg.defaultExt.isEmpty() && QFileInfo(path).suffix().isEmpty())
    path += QLatin1Char('.') + dlg.defaultExt;
  dlg.fileName = path;

  const QByteArray data = savedText(view_ ? view_->shownLines(box) : lines(box)).toLocal8Bit();
  QFile file(path);
  const auto cannotCreate = [&](const QString& why) {
    return FileError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, why));
  };
  // Opening a FIFO for writing waits for a reader: the program would hang in the save.
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode))
    throw cannotCreate(QStringLiteral("Not a regular file"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw cannotCreate(file.errorString());
  if (file.write(data) != data.size() || !file.flush())
    throw FileError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, file.errorString()));
}

void Logs::BitBtn2Click(ISaveDialog& dialog, SaveDialogState& state) {
  save(LogBox::Protocol, dialog, state);
}
void Logs::BitBtn1Click(ISaveDialog& dialog, SaveDialogState& state) {
  save(LogBox::System, dialog, state);
}

}  // namespace vuvedid
