#pragma once
// Every event entry point (click, tick, posted network event) runs through runGuarded:
// a SilentAbort is swallowed, any other exception becomes the default error report,
// and the program carries on with the next event.
#include <QString>
#include <functional>

#include "app/Problems.h"

namespace vuvedid {

// The default error report's text: the exception text with a full stop unless it ends in one.
QString defaultReportText(const QString& what);

// report receives the default error report (the window's message boxes, or standard error
// headless): icon Error, caption "Vuvedid".
void runGuarded(const ProblemSink& report, const std::function<void()>& handler) noexcept;

}  // namespace vuvedid
