#include "commands/CommandInterpreter.h"

#include "ui/TForm_player.h"

namespace vuvedid {

CommandInterpreter::CommandInterpreter(TForm_player& form) : form_(form) {}
void CommandInterpreter::CommandsRun(const QString&) {}

}  // namespace vuvedid
