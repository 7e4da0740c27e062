#include "commands/QProcessStarter.h"

#include <QProcess>

namespace vuvedid {

bool QProcessStarter::start(const QString& program, const QStringList& arguments,
                            const QString& workingDirectory) noexcept {
  try {
    QProcess p;
    p.setProgram(program);
    p.setArguments(arguments);
    p.setWorkingDirectory(workingDirectory);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    return p.startDetached();
  } catch (...) {
    return false;
  }
}

}  // namespace vuvedid
