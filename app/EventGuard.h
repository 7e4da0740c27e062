#pragma once
// Every event entry point (click, tick, posted network event) runs through runGuarded:
// a SilentAbort is swallowed, any other exception becomes the default error report,
// and the program carries on with the next event.
#include <QString>
#include <functional>

namespace vuvedid {

class IMessageBoxes;

// The default error report's text: the exception text with a full stop unless it ends in one.
QString defaultReportText(const QString& what);

void runGuarded(IMessageBoxes& boxes, const std::function<void()>& handler) noexcept;

}  // namespace vuvedid
