#pragma once
// How the room's logic tells the user about a problem without knowing whether anyone is
// looking: the window shows a modal box, the headless daemon writes one line to standard
// error. The logic never opens a box itself; it reports, and this one place decides.
#include <QSet>
#include <QString>
#include <functional>

namespace vuvedid {

enum class BoxIcon { None, Error, Warning, Information };

// Where a shown problem goes: the window's message boxes, or a line on standard error.
using ProblemSink = std::function<void(BoxIcon icon, const QString& caption, const QString& text)>;

class ProblemReporter {
 public:
  explicit ProblemReporter(ProblemSink sink) : sink_(std::move(sink)) {}

  // Shows a problem. With a repeatKey only the first report of that key is shown until
  // rearm(repeatKey): an unattended room must not stack boxes (or fill the journal) for
  // one lasting fault, such as a missing file hit on every round of a playlist or a broker
  // that stays away. Returns whether this report was shown; a repeat returns false and the
  // caller may log it instead.
  bool report(BoxIcon icon, const QString& caption, const QString& text,
              const QString& repeatKey = QString()) {
    if (!repeatKey.isEmpty()) {
      if (shown_.contains(repeatKey)) return false;
      // Taken before the box opens: events go on being delivered while it is open.
      shown_.insert(repeatKey);
    }
    if (sink_) sink_(icon, caption, text);
    return true;
  }
  // The fault behind repeatKey is over (a new playlist, a connection that went through):
  // its next report is shown again.
  void rearm(const QString& repeatKey) { shown_.remove(repeatKey); }
  bool shownOnce(const QString& repeatKey) const { return shown_.contains(repeatKey); }

 private:
  ProblemSink sink_;
  QSet<QString> shown_;
};

}  // namespace vuvedid
