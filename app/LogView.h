#pragma once
// Where the two logs show: the window's protocol and system log boxes. The headless room
// has none; its logs are only the bounded line store of app/Logs.
#include <QString>
#include <QStringList>

namespace vuvedid {

enum class LogBox { Protocol, System };

class LogView {
 public:
  virtual ~LogView() = default;
  // Shows text (lines separated by "\n", already cut to what a box keeps) as new lines at
  // the end of box.
  virtual void appendLines(LogBox box, const QString& text) = 0;
  // The box's lines as shown, for a save: the user may have typed into it. An empty box
  // has no lines.
  virtual QStringList shownLines(LogBox box) const = 0;
};

}  // namespace vuvedid
