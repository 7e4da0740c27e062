#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace vuvedid {

namespace {

// Without a display nobody can dismiss a box: a modal one would stop the room for good.
bool headless() {
  const QString p = QGuiApplication::platformName();
  return p == QLatin1String("offscreen") || p == QLatin1String("minimal");
}

const char* iconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error:
      return "error";
    case BoxIcon::Warning:
      return "warning";
    case BoxIcon::Information:
      return "information";
    case BoxIcon::None:
      break;
  }
  return "message";
}

}  // namespace

void QtMessageBoxes::show(BoxIcon icon, const QString& caption, const QString& text) {
  const QString title = caption.isEmpty() ? QApplication::applicationName() : caption;
  if (headless()) {
    // One line per box, so the journal keeps it whole.
    QString oneLine = text;
    oneLine.replace(QLatin1String("\r\n"), QLatin1String(" / "))
        .replace(QLatin1Char('\n'), QLatin1String(" / "));
    std::fprintf(stderr, "vuvedid: %s box [%s]: %s\n", iconName(icon),
                 title.toLocal8Bit().constData(), oneLine.toLocal8Bit().constData());
    std::fflush(stderr);
    return;
  }
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case BoxIcon::None:
      qicon = QMessageBox::NoIcon;
      break;
    case BoxIcon::Error:
      qicon = QMessageBox::Critical;
      break;
    case BoxIcon::Warning:
      qicon = QMessageBox::Warning;
      break;
    case BoxIcon::Information:
      qicon = QMessageBox::Information;
      break;
  }
  QMessageBox box(qicon, title, text, QMessageBox::Ok);
  box.exec();
}

}  // namespace vuvedid
