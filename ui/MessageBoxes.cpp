#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace vuvedid {

void QtMessageBoxes::show(BoxIcon icon, const QString& caption, const QString& text) {
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case BoxIcon::None: qicon = QMessageBox::NoIcon; break;
    case BoxIcon::Error: qicon = QMessageBox::Critical; break;
    case BoxIcon::Warning: qicon = QMessageBox::Warning; break;
    case BoxIcon::Information: qicon = QMessageBox::Information; break;
  }
  QMessageBox box(qicon, caption.isEmpty() ? QApplication::applicationName() : caption, text,
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace vuvedid
