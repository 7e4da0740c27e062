// Command texts run through the real window: the real audio layer (SDL's dummy driver)
// plays small generated mp3 files from real folders; speech and launches are recorded.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTemporaryDir>
#include <optional>

#include "audio/AudioLibrary.h"
#include "audio/BackgroundPlayer.h"
#include "audio/EffectChannels.h"
#include "commands/Room.h"
#include "support/FormFixture.h"
#include "support/SoundFiles.h"
#include "ui/TForm_player.h"

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vuvedid::test {
namespace {

// A music folder with the rooms the rows name (a room name may itself hold a keyword),
// a signal folder and one background track.
class Sounds {
 public:
  Sounds() {
    const QString root = dir.path();
    for (const QString& room :
         {QStringLiteral("room1"), QStringLiteral("room1 volume:30"), QStringLiteral("pause")}) {
      QDir().mkpath(root + "/music/" + room);
      ok = ok && toneFile(root + "/music/" + room + "/a.mp3", 1.0) &&
           toneFile(root + "/music/" + room + "/b.mp3", 1.0);
    }
    QDir().mkpath(root + "/signals");
    ok = ok && toneFile(root + "/signals/next.mp3", 1.0) && toneFile(root + "/track.mp3", 2.0);
  }
  QString music() const { return dir.path() + "/music"; }
  QString signalFolder() const { return dir.path() + "/signals"; }
  QString track() const { return dir.path() + "/track.mp3"; }
  QTemporaryDir dir;
  bool ok = true;
};

// Fresh: no track was ever named; Idle: a track is named but not playing.
enum class Before { Fresh, Idle, Playing, Paused };

struct Launch {
  QString program;
  QStringList arguments;
  QString workingDirectory;  // empty: the current directory
};

struct Row {
  const char* name;
  Before before;
  QStringList texts;  // run one after another, each as its own event
  // What must hold afterwards; unset fields are not looked at.
  std::optional<int> foneState = {};
  std::optional<bool> timer3 = {}, playfone = {}, stopMark = {};
  std::optional<bool> backgroundSounding = {};  // the background channel playing or paused
  std::optional<QString> room = {};
  std::optional<int> playlist = {};
  std::optional<int> commandVolume = {};
  std::optional<QString> effect1 = {};  // file of effect slot 1, relative to the signal folder
  std::optional<QString> speakField = {};
  // Always compared (empty = none happened).
  QStringList spoken = {};
  std::vector<Launch> launches = {};
  QStringList boxes = {};
};

class CommandsRun : public testing::Test {
 protected:
  static void SetUpTestSuite() { sounds = new Sounds; }
  static void TearDownTestSuite() {
    delete sounds;
    sounds = nullptr;
  }
  static Sounds* sounds;

  void run(const Row& row) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(sounds->ok) << "sox/lame could not make the sound files";
    FormFixture f;
    TForm_player& form = f.form();
    BackgroundPlayer& bg = form.room->background;
    IAudioLibrary& audio = *form.services.audio;
    form.folder_m->setText(sounds->music());
    form.folder_s->setText(sounds->signalFolder());
    if (row.before != Before::Fresh) form.efilename->setText(sounds->track());
    bg.setTimeLeft(17);
    bg.setProgress(5);
    if (row.before == Before::Playing || row.before == Before::Paused) {
      bg.Player();
      ASSERT_EQ(bg.fone_state, 1);
    }
    if (row.before == Before::Paused) {
      form.btn_pauseClick();
      ASSERT_EQ(bg.fone_state, 2);
    }
    // A running player: both timers ticking (no tick is due while a row runs).
    bg.timer3.setEnabled(true);
    bg.Timer_playfone.setEnabled(true);
    const bool markBefore = !form.l_stoped->isHidden();

    for (const QString& text : row.texts) form.guarded([&] { form.CommandsRun(text); });

    if (row.foneState) {
      EXPECT_EQ(bg.fone_state, *row.foneState);
    }
    if (row.timer3) {
      EXPECT_EQ(bg.timer3.enabled(), *row.timer3);
    }
    if (row.playfone) {
      EXPECT_EQ(bg.Timer_playfone.enabled(), *row.playfone);
    }
    EXPECT_EQ(!form.l_stoped->isHidden(), row.stopMark.value_or(markBefore));
    if (row.backgroundSounding) {
      EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan) != ACTIVE_STOPPED, *row.backgroundSounding);
    }
    if (row.room) {
      EXPECT_EQ(bg.room, *row.room);
      EXPECT_EQ(form.l_komnata->text(), *row.room);
      EXPECT_EQ(form.l_time->text(), QStringLiteral("0"));
      EXPECT_EQ(form.pb1->value(), 0);
    }
    if (row.playlist) {
      EXPECT_EQ(form.ListBox1->count(), *row.playlist);
    }
    if (row.commandVolume) {
      EXPECT_EQ(bg.cmd_volume, *row.commandVolume);
    }
    if (row.effect1) {
      EXPECT_EQ(form.efilename1->text(), sounds->signalFolder() + "/" + *row.effect1);
      EXPECT_NE(audio.ChannelIsActive(form.room->effects.fx_chan1), ACTIVE_STOPPED);
    }
    if (row.speakField) {
      EXPECT_EQ(form.e_speak->text(), *row.speakField);
    }
    EXPECT_EQ(f.speech.spoken, row.spoken);
    ASSERT_EQ(f.starter.calls.size(), row.launches.size());
    for (size_t i = 0; i < row.launches.size(); ++i) {
      EXPECT_EQ(f.starter.calls[i].program, row.launches[i].program);
      EXPECT_EQ(f.starter.calls[i].arguments, row.launches[i].arguments);
      const QString wd = row.launches[i].workingDirectory;
      EXPECT_EQ(f.starter.calls[i].workingDirectory, wd.isEmpty() ? QDir::currentPath() : wd);
    }
    EXPECT_EQ(f.boxes.texts(), row.boxes);
  }
};
Sounds* CommandsRun::sounds = nullptr;

const QString kNoFolder = QStringLiteral("The specified file was not found.");

TEST_F(CommandsRun, TextsAndTheirActions) {
  const Row rows[] = {
      // "reset" is the whole text after trimming, and only that.
      {.name = "reset with blanks and line breaks",
       .before = Before::Playing,
       .texts = {" \treset\r\n"},
       .foneState = 1,
       .timer3 = false,
       .playfone = false,
       .backgroundSounding = false},
      {.name = "Reset",
       .before = Before::Playing,
       .texts = {"Reset"},
       .timer3 = true,
       .playfone = true,
       .backgroundSounding = true},
      {.name = "please reset",
       .before = Before::Playing,
       .texts = {"please reset"},
       .timer3 = true,
       .playfone = true,
       .backgroundSounding = true},
      // An argument runs to the end of the text, keywords in it included.
      {.name = "play:room1",
       .before = Before::Playing,
       .texts = {"play:room1"},
       .foneState = 0,
       .timer3 = false,
       .playfone = true,
       .backgroundSounding = false,
       .room = "room1",
       .playlist = 2},
      {.name = "play:room1 volume:30",
       .before = Before::Idle,
       .texts = {"play:room1 volume:30"},
       .foneState = 0,
       .playfone = true,
       .room = "room1 volume:30",
       .playlist = 2,
       .commandVolume = 30},
      {.name = "a failing command ends the text",
       .before = Before::Idle,
       .texts = {"play:nowhere volume:30"},
       .room = "nowhere volume:30",
       .commandVolume = 0,
       .boxes = {kNoFolder}},
      {.name = "volume:30 next",
       .before = Before::Playing,
       .texts = {"volume:30 next"},
       .foneState = 1,
       .backgroundSounding = true,
       .commandVolume = 0,
       .boxes = {"'30 next' is not a valid integer value."}},
      {.name = "volume: 45 ",
       .before = Before::Playing,
       .texts = {"volume: 45 "},
       .backgroundSounding = true,
       .commandVolume = 45},
      {.name = "play: with nothing after",
       .before = Before::Playing,
       .texts = {"play:"},
       .foneState = 0,
       .playfone = true,
       .backgroundSounding = false,
       .room = "",
       .playlist = 0},
      {.name = "play:pause",
       .before = Before::Idle,
       .texts = {"play:pause"},
       .foneState = 0,
       .timer3 = false,
       .playfone = false,
       .stopMark = true,
       .room = "pause",
       .playlist = 2},
      {.name = "fx:30!next.mp3",
       .before = Before::Playing,
       .texts = {"fx:30!next.mp3"},
       .foneState = 1,
       .timer3 = true,
       .backgroundSounding = false,
       .effect1 = "next.mp3"},
      {.name = "speak:please resume",
       .before = Before::Paused,
       .texts = {"speak:please resume"},
       .foneState = 1,
       .timer3 = true,
       .playfone = true,
       .stopMark = false,
       .backgroundSounding = true,
       .spoken = {"please resume"}},
      {.name = "speak keeps its blanks",
       .before = Before::Idle,
       .texts = {"speak:  hi "},
       .speakField = "  hi ",
       .spoken = {"  hi "}},
      {.name = "pause while nothing plays",
       .before = Before::Idle,
       .texts = {"pause"},
       .foneState = 0,
       .timer3 = false,
       .playfone = false,
       .stopMark = true},
      {.name = "pause, then resume with no file",
       .before = Before::Fresh,
       .texts = {"pause", "resume"},
       .timer3 = true,
       .playfone = true,
       .stopMark = false,
       .boxes = {"Файл не существует"}},
      {.name = "pause, then next",
       .before = Before::Playing,
       .texts = {"pause", "next"},
       .foneState = 2,
       .timer3 = false,
       .playfone = false,
       .stopMark = true,
       .backgroundSounding = false},
      // The program runs to the first blank of the whole text; the rest are parameters.
      {.name = "cmdstr: program and parameters",
       .before = Before::Idle,
       .texts = {"cmdstr:/opt/tools/show -f 1"},
       .launches = {{"/opt/tools/show", {"-f", "1"}, "/opt/tools/"}}},
      {.name = "cmdstr: no blank at all",
       .before = Before::Idle,
       .texts = {"cmdstr:/bin/true"},
       .launches = {{"", {"cmdstr:/bin/true"}, ""}}},
      {.name = "cmdstr: blank before the keyword",
       .before = Before::Idle,
       .texts = {" cmdstr:/bin/true x"},
       .launches = {{"", {"cmdstr:/bin/true", "x"}, ""}}},
      {.name = "cmdstr: path with a blank",
       .before = Before::Idle,
       .texts = {"cmdstr:/opt/My Tools/show -f"},
       .launches = {{"/opt/My", {"Tools/show", "-f"}, "/opt/"}}},
      {.name = "cmdstr: shell characters are plain text",
       .before = Before::Idle,
       .texts = {"cmdstr:/bin/echo a;b|c $(x)"},
       .launches = {{"/bin/echo", {"a;b|c", "$(x)"}, "/bin/"}}},
      {.name = "empty text",
       .before = Before::Playing,
       .texts = {""},
       .foneState = 1,
       .timer3 = true,
       .playfone = true,
       .backgroundSounding = true},
      {.name = "blanks only",
       .before = Before::Playing,
       .texts = {"   \r\n"},
       .foneState = 1,
       .timer3 = true,
       .playfone = true,
       .backgroundSounding = true},
  };
  for (const Row& row : rows) run(row);
}

}  // namespace
}  // namespace vuvedid::test
