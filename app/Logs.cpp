#include "app/Logs.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include "app/Errors.h"
#include "ui/TForm_player.h"

namespace vuvedid {

namespace {

// The box itself would make CR and LF two separate breaks: a CRLF pair is one.
QString withLineFeeds(const QString& text) {
  if (!text.contains(QLatin1Char('\r'))) return text;
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return t;
}

void two(QString& out, int v) {
  out += QLatin1Char(static_cast<char>('0' + v / 10 % 10));
  out += QLatin1Char(static_cast<char>('0' + v % 10));
}

}  // namespace

Logs::Logs(TForm_player& form) : form_(form) {}

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
  if (form_.cxchb_LogEnable->isChecked()) append(*form_.memo2, text);
}

void Logs::appendProtocol(const QString& line) { append(*form_.M_protokol, line); }

void Logs::append(QPlainTextEdit& box, const QString& text) {
  if (batchDepth_ == 0) {
    box.appendPlainText(withLineFeeds(text));
    return;
  }
  QStringList& pending = &box == form_.M_protokol ? pendingProtocol_ : pendingSys_;
  pending.append(withLineFeeds(text));
  // A batch left open a long time (a message box nobody closes) must not grow without end.
  if (pending.size() >= kLogLineLimit) {
    flush();
    return;
  }
  if (!flushQueued_) {
    flushQueued_ = true;
    QTimer::singleShot(0, &form_, [this] { flush(); });
  }
}

void Logs::flush() {
  flushQueued_ = false;
  if (!pendingProtocol_.isEmpty()) {
    const QString text = pendingProtocol_.join(QLatin1Char('\n'));
    pendingProtocol_.clear();
    form_.M_protokol->appendPlainText(text);
  }
  if (!pendingSys_.isEmpty()) {
    const QString text = pendingSys_.join(QLatin1Char('\n'));
    pendingSys_.clear();
    form_.memo2->appendPlainText(text);
  }
}

void Logs::beginBatch() noexcept { ++batchDepth_; }

void Logs::endBatch() {
  if (batchDepth_ > 0 && --batchDepth_ == 0) flush();
}

void Logs::playbackFailure(const QString& text) {
  appendProtocol(text + timeStamp(form_.services.clock->now(), false));
}

void Logs::stampedProtocol(const QString& text, bool monthFirst) {
  if (form_.Protokol->isChecked())
    appendProtocol(text + QLatin1Char(' ') + timeStamp(form_.services.clock->now(), monthFirst));
}

QString Logs::savedText(const QPlainTextEdit& box) {
  const QTextDocument* doc = box.document();
  if (doc->isEmpty()) return {};
  QString out;
  out.reserve(doc->characterCount() + doc->blockCount() + 16);
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    QString line = b.text();
    // A break typed with Shift+Enter shows as a line of its own.
    if (line.contains(QChar::LineSeparator))
      line.replace(QChar::LineSeparator, QLatin1String("\r\n"));
    out += line;
    out += QLatin1String("\r\n");
  }
  return out;
}

void Logs::save(const QPlainTextEdit& box) {
  SaveDialogState& dlg = form_.SaveDialog1;
  std::optional<QString> chosen =
      form_.services.saveDialog->choose(dlg.filter, dlg.defaultExt, dlg.fileName);
  if (!chosen || chosen->isEmpty()) return;
  QString path = QFileInfo(*chosen).absoluteFilePath();
  // A name typed without an extension gets the default one, whatever the dialog did.
  if (!dlg.defaultExt.isEmpty() && QFileInfo(path).suffix().isEmpty())
    path += QLatin1Char('.') + dlg.defaultExt;
  dlg.fileName = path;

  const QByteArray data = savedText(box).toLocal8Bit();
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

void Logs::BitBtn2Click() { save(*form_.M_protokol); }
void Logs::BitBtn1Click() { save(*form_.memo2); }

}  // namespace vuvedid
