#include "commands/ProgramLauncher.h"

#include <fnmatch.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "commands/CommandLine.h"
#include "commands/ProcessStarter.h"

namespace vuvedid {

ProgramLauncher::ProgramLauncher(IProcessStarter& starter) : starter_(starter) {}

qint64 ProgramLauncher::RunProgram(const QByteArray& program, const QByteArray& parameters) {
  // The program is read back from the cut line, so a long text loses its parameters first
  // and then the end of the program itself, exactly as the 255-byte limit implies.
  const ParsedCommandLine line = parseCommandLine(buildCommandLine(program, parameters));
  const QString programText = QString::fromLocal8Bit(program);
  QString executable = line.program;
  // A relative path names a file seen from our own current folder, not from the
  // program's folder the child starts in.
  if (executable.contains(QLatin1Char('/')) && QDir::isRelativePath(executable))
    executable = QFileInfo(executable).absoluteFilePath();
  if (!allowed(executable)) {
    if (refused)
      refused(
          QStringLiteral("cmdstr: \"%1\" is not in [launch] allow, not started").arg(executable));
    return 0;
  }
  QString workingDirectory = folderPart(programText);
  if (workingDirectory.isEmpty()) workingDirectory = QDir::currentPath();
  return starter_.start(executable, line.arguments, workingDirectory) ? 1 : 0;
}

bool ProgramLauncher::allowed(const QString& executable) const {
  if (!allow) return true;
  if (executable.isEmpty()) return false;
  QStringList names{executable};
  // A bare name is also known by the file PATH gives it.
  if (!executable.contains(QLatin1Char('/'))) {
    const QString found = QStandardPaths::findExecutable(executable);
    if (!found.isEmpty()) names << found;
  }
  for (const QString& pattern : *allow) {
    const QByteArray p = pattern.toLocal8Bit();
    for (const QString& name : std::as_const(names)) {
      // As the shell matches: "*" and "?" stay within one folder level.
      if (::fnmatch(p.constData(), name.toLocal8Bit().constData(), FNM_PATHNAME) == 0) return true;
    }
  }
  return false;
}

}  // namespace vuvedid
