#include "app/EventGuard.h"

#include <cstdio>
#include <exception>

#include "app/Errors.h"

namespace vuvedid {

QString defaultReportText(const QString& what) {
  if (what.endsWith(QLatin1Char('.'))) return what;
  return what + QLatin1Char('.');
}

void runGuarded(const ProblemSink& report, const std::function<void()>& handler) noexcept {
  try {
    try {
      handler();
    } catch (const SilentAbort&) {
    } catch (const std::exception& e) {
      if (report)
        report(BoxIcon::Error, QStringLiteral("Vuvedid"),
               defaultReportText(QString::fromUtf8(e.what())));
    }
  } catch (...) {
    // A box that itself fails must not take the program down: an unattended room has
    // nobody to restart it.
    std::fputs("vuvedid: error while reporting an error\n", stderr);
  }
}

}  // namespace vuvedid
