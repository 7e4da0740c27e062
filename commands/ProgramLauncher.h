#pragma once
// Starts another program from the "cmdstr:" command: fire and forget.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vuvedid {

class IProcessStarter;

class ProgramLauncher {
 public:
  explicit ProgramLauncher(IProcessStarter& starter);
  // program and parameters: the locale's 8-bit texts, at most 255 bytes each. The result
  // (1 when started, 0 otherwise) is not used by the caller.
  qint64 RunProgram(const QByteArray& program, const QByteArray& parameters);

 private:
  IProcessStarter& starter_;
};

}  // namespace vuvedid
