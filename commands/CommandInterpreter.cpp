#include "commands/CommandInterpreter.h"

#include "app/Trace.h"
#include "commands/CommandText.h"
#include "commands/RoomCommands.h"

namespace vuvedid {

CommandInterpreter::CommandInterpreter(RoomCommands& room) : room_(room) {}

// Each test looks at the whole text on its own, so one text may fire several commands and
// a keyword inside another command's argument fires too: controllers in the field send
// such combined texts on purpose. An argument runs to the end of the text.
void CommandInterpreter::CommandsRun(const QString& myCMD) {
  const QString& T = myCMD;
  const qsizetype L = T.size();
  RoomCommands& room = room_;
  if (trace::on()) trace::mark("cmd", trace::nowNs(), 0, myCMD.toUtf8().constData());

  if (trim(T) == QLatin1String("reset")) room.reset();

  if (const qsizetype P = position(T, QStringLiteral("play:")); P > 0)
    room.play(trim(copy(T, P + 5, L - P - 4)));

  if (const qsizetype P = position(T, QStringLiteral("volume:")); P > 0)
    room.volume(trim(copy(T, P + 7, L - P - 6)));

  if (const qsizetype P = position(T, QStringLiteral("fx:")); P > 0)
    room.fx(trim(copy(T, P + 3, L - P - 2)));

  if (position(T, QStringLiteral("pause")) > 0) room.pause();

  if (position(T, QStringLiteral("resume")) > 0) room.resume();

  if (const qsizetype P = position(T, QStringLiteral("cmdstr:")); P > 0) {
    // The first blank of the whole text ends the program, even one before the keyword.
    const qsizetype S = position(T, QStringLiteral(" "));
    const QString program = copy(T, P + 7, S - P - 7);
    const QString parameters = copy(T, S + 1, L - S);
    room.launch(toLocal8Bit255(program), toLocal8Bit255(parameters));
  }

  if (position(T, QStringLiteral("next")) > 0) room.next();

  if (position(T, QStringLiteral("shufle")) > 0) room.shuffle();

  if (const qsizetype P = position(T, QStringLiteral("speak:")); P > 0)
    room.speak(copy(T, P + 6, L - P - 5));
  if (trace::on()) trace::mark("done", trace::nowNs());
}

}  // namespace vuvedid
