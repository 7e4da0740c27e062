#include "ui/Fonts.h"

#include <QDir>
#include <QFontDatabase>

namespace vuvedid {

namespace {

// DejaVu Sans Condensed Bold is within a pixel of Tahoma Bold in width over the window's
// captions and is properly bold; Wine's Tahoma looks regular in its bold face and clips
// the dots of capital umlauts, so it serves only where DejaVu is missing. The plain
// DejaVu Sans is wider and comes last.
QString chooseFamily() {
  static const char* const kPreferred[] = {"DejaVu Sans Condensed", "Tahoma"};
  for (const char* family : kPreferred)
    if (QFontDatabase::hasFamily(QString::fromLatin1(family))) return QString::fromLatin1(family);
  // fontconfig does not look into Wine's folder: register its Tahoma by hand.
  const QDir wine(QStringLiteral("/usr/share/wine/fonts"));
  bool registered = false;
  for (const char* file : {"tahoma.ttf", "tahomabd.ttf"})
    if (wine.exists(QString::fromLatin1(file)))
      registered |=
          QFontDatabase::addApplicationFont(wine.filePath(QString::fromLatin1(file))) >= 0;
  if (registered) return QStringLiteral("Tahoma");
  return QStringLiteral("DejaVu Sans");
}

}  // namespace

QString uiFontFamily() {
  static const QString family = chooseFamily();
  return family;
}

QFont uiFont(int pixelSize, bool bold) {
  QFont f(uiFontFamily());
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  return f;
}

}  // namespace vuvedid
