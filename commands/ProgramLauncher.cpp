#include "commands/ProgramLauncher.h"

#include <QDir>
#include <QFileInfo>

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
  QString workingDirectory = folderPart(programText);
  if (workingDirectory.isEmpty()) workingDirectory = QDir::currentPath();
  return starter_.start(executable, line.arguments, workingDirectory) ? 1 : 0;
}

}  // namespace vuvedid
