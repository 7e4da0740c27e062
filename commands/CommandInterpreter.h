#pragma once
// Turns one received command text into actions. It keeps no state between calls.
#include <QString>

namespace vuvedid {

class TForm_player;

class CommandInterpreter {
 public:
  explicit CommandInterpreter(TForm_player& form);
  // Runs the ten keyword tests in their fixed order on the same text; an exception from
  // an action leaves at once, the earlier tests' effects kept.
  void CommandsRun(const QString& myCMD);

 private:
  TForm_player& form_;
};

}  // namespace vuvedid
