#pragma once
// The protocol log and the system log: two bounded line stores, shown by a LogView when
// there is one (the window's M_protokol and memo2 boxes).
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include "app/LogView.h"

namespace vuvedid {

class IClock;
class ISaveDialog;
struct SaveDialogState;
struct Settings;

// Newest lines kept in each log box; older ones are dropped so weeks of heartbeats do not
// grow the process without bound. A laid-out line costs about 0.7 KB, so this holds a day
// of heartbeats and commands in a few megabytes.
constexpr int kLogLineLimit = 5000;
// Longest line a box shows; a longer one keeps its first characters and its last
// kLogLineTail (the time stamp among them), with " ... " between. Only the log line is
// cut: a command is executed with its whole text.
constexpr qsizetype kLogLineChars = 4096;
constexpr qsizetype kLogLineTail = 64;

class Logs {
 public:
  // settings: log and protokol switch the two logs; clock stamps the lines.
  Logs(const Settings& settings, const IClock& clock);

  void setView(LogView* view) { view_ = view; }

  // "DD.MM.YY hh:mm:ss", or "MM.DD.YY hh:mm:ss" (only for a received message's line);
  // hours 00 to 23. The time separator is ':': Linux locales have no separate one, and
  // every locale's own time format uses ':' anyway.
  static QString timeStamp(const QDateTime& at, bool monthFirst);

  // Appends to the system log when the log setting is on.
  void AddSysLog(const QString& text);
  // Appends one line to the protocol log, whatever protokol says (callers check it where
  // needed). Line breaks inside the text (CRLF, LF or CR) start further lines.
  void appendProtocol(const QString& line);
  // A playback failure line: text (ending in a space) + day-first stamp, always written.
  void playbackFailure(const QString& text);
  // A stamped line of a received message (monthFirst) or a publish: text + " " + stamp,
  // only when the protokol setting is on.
  void stampedProtocol(const QString& text, bool monthFirst);

  // Save the protocol log (BitBtn2) or the system log (BitBtn1) as shown, through the
  // save dialog and its state.
  void BitBtn2Click(ISaveDialog& dialog, SaveDialogState& state);
  void BitBtn1Click(ISaveDialog& dialog, SaveDialogState& state);

  // Lines as they are saved: every line ends in CRLF, and so does a break typed inside
  // one (U+2028); no lines is empty text.
  static QString savedText(const QStringList& lines);

  // The newest lines written to box (at most kLogLineLimit, each cut to kLogLineChars).
  const QStringList& lines(LogBox box) const { return lines_[index(box)]; }

  // Between these two (they nest) lines are collected and each box gets them in one
  // append when the outermost batch ends, or at the next turn of the event loop if that
  // comes first (a message box opened meanwhile shows an up-to-date log). Laying out a
  // block of lines at once costs about a fifth of laying them out one by one, which is
  // what a burst of commands with the logs on spends its time on.
  void beginBatch() noexcept;
  void endBatch();

 private:
  // Texts written to one box during a batch, and the lines they hold.
  struct Pending {
    QStringList texts;
    qsizetype lines = 0;
  };

  static int index(LogBox box) { return box == LogBox::Protocol ? 0 : 1; }
  void append(LogBox box, const QString& text);
  void store(LogBox box, const QString& text);
  void flush();
  void handOver(LogBox box);
  // Asks the dialog for a file and writes the box's lines to it in the locale's 8-bit
  // encoding. Throws FileError "Cannot create file "<path>". <system error>".
  void save(LogBox box, ISaveDialog& dialog, SaveDialogState& state);

  const Settings& settings_;
  const IClock& clock_;
  LogView* view_ = nullptr;
  QStringList lines_[2];
  int batchDepth_ = 0;
  bool flushQueued_ = false;
  Pending pending_[2];
  // Owns the queued hand-over, so none runs after the logs are gone.
  QObject flushContext_;
};

}  // namespace vuvedid
