#pragma once
// Turns one received command text into calls on the room's verbs. It keeps no state between calls.
#include <QString>

namespace vuvedid {

class RoomCommands;

class CommandInterpreter {
 public:
  explicit CommandInterpreter(RoomCommands& room);
  // Runs the ten keyword tests in their fixed order on the same text; an exception from
  // an action leaves at once, the earlier tests' effects kept.
  void CommandsRun(const QString& myCMD);

 private:
  RoomCommands& room_;
};

}  // namespace vuvedid
