#include "app/ExeDir.h"

#include <QFile>
#include <QFileInfo>

namespace vuvedid {

QString executableDir() {
  const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  QString dir = QFileInfo(exe).absolutePath();
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir;
}

}  // namespace vuvedid
