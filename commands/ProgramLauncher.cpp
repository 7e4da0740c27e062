#include "commands/ProgramLauncher.h"

#include "commands/ProcessStarter.h"

namespace vuvedid {

ProgramLauncher::ProgramLauncher(IProcessStarter& starter) : starter_(starter) {}
qint64 ProgramLauncher::RunProgram(const QByteArray&, const QByteArray&) { return 0; }

}  // namespace vuvedid
