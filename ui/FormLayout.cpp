// Geometry, fonts and pictures of the main window.
#include <QTabWidget>

#include "ui/TForm_player.h"

namespace vuvedid {

void TForm_player::layoutControls() {
  setFixedSize(342, 585);
  PageControl1->setGeometry(0, 0, 342, 585);
}

}  // namespace vuvedid
