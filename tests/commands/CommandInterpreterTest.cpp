// The interpreter alone: each text goes to a room that records the verbs it is asked for,
// so what is checked is exactly the cutting of keywords and arguments and their order.
#include <gtest/gtest.h>

#include <QStringList>

#include "app/Errors.h"
#include "commands/CommandInterpreter.h"
#include "commands/RoomCommands.h"

namespace vuvedid::test {
namespace {

class RecordingRoom final : public RoomCommands {
 public:
  QStringList calls;
  QString failing;  // a verb that throws ConvertError after it is recorded

  void reset() override { record(QStringLiteral("reset")); }
  void play(const QString& roomName) override { record(QStringLiteral("play"), roomName); }
  void volume(const QString& level) override { record(QStringLiteral("volume"), level); }
  void fx(const QString& argument) override { record(QStringLiteral("fx"), argument); }
  void pause() override { record(QStringLiteral("pause")); }
  void resume() override { record(QStringLiteral("resume")); }
  void launch(const QByteArray& program, const QByteArray& parameters) override {
    record(QStringLiteral("launch"),
           QString::fromLocal8Bit(program) + '|' + QString::fromLocal8Bit(parameters));
  }
  void next() override { record(QStringLiteral("next")); }
  void shuffle() override { record(QStringLiteral("shuffle")); }
  void speak(const QString& text) override { record(QStringLiteral("speak"), text); }

 private:
  void record(const QString& verb) { recordCall(verb, verb); }
  void record(const QString& verb, const QString& argument) {
    recordCall(verb, verb + '[' + argument + ']');
  }
  void recordCall(const QString& verb, const QString& call) {
    calls << call;
    if (verb == failing) throw ConvertError(QStringLiteral("not a valid integer value"));
  }
};

TEST(CommandInterpreter, TextsBecomeVerbsInTheirFixedOrder) {
  struct Case {
    const char* text;
    QStringList calls;
  };
  const Case cases[] = {
      {"reset", {"reset"}},
      {" \treset\r\n", {"reset"}},
      {"Reset", {}},
      {"please reset", {}},
      {"", {}},
      {"   \r\n", {}},
      {"play:room1", {"play[room1]"}},
      {"play:  hall \r\n", {"play[hall]"}},
      {"play:", {"play[]"}},
      // An argument runs to the end of the text, and keywords inside it fire too.
      {"play:room1 volume:30", {"play[room1 volume:30]", "volume[30]"}},
      {"play:pause", {"play[pause]", "pause"}},
      {"volume: 45 ", {"volume[45]"}},
      {"fx:30!next.mp3", {"fx[30!next.mp3]", "next"}},
      {"speak:please resume", {"resume", "speak[please resume]"}},
      {"speak:  hi ", {"speak[  hi ]"}},
      {"nextdoor", {"next"}},
      {"shufle", {"shuffle"}},
      // The order is the interpreter's, not the text's.
      {"shufle next resume pause", {"pause", "resume", "next", "shuffle"}},
      {"play:a play:b", {"play[a play:b]"}},
      // The first blank of the whole text ends the program.
      {"cmdstr:/opt/tools/show -f 1", {"launch[/opt/tools/show|-f 1]"}},
      {"cmdstr:/bin/true", {"launch[|cmdstr:/bin/true]"}},
      {" cmdstr:/bin/true x", {"launch[|cmdstr:/bin/true x]"}},
      {"cmdstr:/opt/My Tools/show -f", {"launch[/opt/My|Tools/show -f]"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RecordingRoom room;
    CommandInterpreter(room).CommandsRun(QString::fromUtf8(c.text));
    EXPECT_EQ(room.calls, c.calls) << room.calls.join(QStringLiteral(", ")).toStdString();
  }
}

TEST(CommandInterpreter, FailingVerbEndsTheTextAndKeepsWhatRanBefore) {
  RecordingRoom room;
  room.failing = QStringLiteral("volume");
  CommandInterpreter interpreter(room);
  EXPECT_THROW(interpreter.CommandsRun(QStringLiteral("play:hall volume:x next speak:hi")),
               ConvertError);
  EXPECT_EQ(room.calls,
            QStringList({"play[hall volume:x next speak:hi]", "volume[x next speak:hi]"}));

  // The next text runs as ever.
  room.calls.clear();
  interpreter.CommandsRun(QStringLiteral("next"));
  EXPECT_EQ(room.calls, QStringList{"next"});
}

TEST(CommandInterpreter, LaunchTextsAreCutTo255BytesWithoutSplittingACharacter) {
  // 130 two-byte letters make 260 bytes: 127 of them fit.
  const QString program = QStringLiteral("/") + QString(130, QChar(0x0436));
  RecordingRoom room;
  CommandInterpreter(room).CommandsRun(QStringLiteral("cmdstr:") + program + QStringLiteral(" a"));
  ASSERT_EQ(room.calls.size(), 1);
  const QString launched = room.calls[0].section('[', 1).section('|', 0, 0);
  EXPECT_EQ(launched, program.left(128));
  EXPECT_LE(launched.toUtf8().size(), 255);
}

}  // namespace
}  // namespace vuvedid::test
