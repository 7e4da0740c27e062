#pragma once
// The protocol log (M_protokol) and the system log (memo2) of the debug tab.
#include <QDateTime>
#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace vuvedid {

class TForm_player;

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
  explicit Logs(TForm_player& form);

  // "DD.MM.YY hh:mm:ss", or "MM.DD.YY hh:mm:ss" (only for a received message's line);
  // hours 00 to 23. The time separator is ':': Linux locales have no separate one, and
  // every locale's own time format uses ':' anyway.
  static QString timeStamp(const QDateTime& at, bool monthFirst);

  // Appends to memo2 when cxchb_LogEnable is ticked.
  void AddSysLog(const QString& text);
  // Appends one line to M_protokol, whatever Protokol says (callers check it where needed).
  // Line breaks inside the text (CRLF, LF or CR) start further lines of the box.
  void appendProtocol(const QString& line);
  // A playback failure line: text (ending in a space) + day-first stamp, always written.
  void playbackFailure(const QString& text);
  // A stamped line of a received message (monthFirst) or a publish: text + " " + stamp,
  // only when Protokol is ticked.
  void stampedProtocol(const QString& text, bool monthFirst);

  void BitBtn2Click();  // save the protocol log
  void BitBtn1Click();  // save the system log

  // The box's text as it is saved: every line ends in CRLF; an empty box is empty text.
  static QString savedText(const QPlainTextEdit& box);

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

  void append(QPlainTextEdit& box, const QString& text);
  void flush();
  static void handOver(QPlainTextEdit& box, Pending& pending);
  // Asks SaveDialog1 for a file and writes the box to it in the locale's 8-bit encoding.
  // Throws FileError "Cannot create file "<path>". <system error>".
  void save(const QPlainTextEdit& box);

  TForm_player& form_;
  int batchDepth_ = 0;
  bool flushQueued_ = false;
  Pending pendingProtocol_;
  Pending pendingSys_;
};

}  // namespace vuvedid
