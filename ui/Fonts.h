#pragma once
// The one place that decides the window's typeface. The window was designed for Tahoma;
// Linux desktops rarely have it, so a face of the same width stands in.
#include <QFont>

namespace vuvedid {

// The window's face at the given pixel height, bold or regular.
QFont uiFont(int pixelSize, bool bold);

// The family uiFont() resolves to on this machine (for diagnostics and tests).
QString uiFontFamily();

}  // namespace vuvedid
