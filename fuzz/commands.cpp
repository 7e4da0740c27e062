// Any text arriving on the command topic, run by the interpreter on the real window and
// the real audio layer (SDL's dummy driver) with a small music folder and effects folder.
// Launches and speech go to recorders, so "cmdstr:" starts nothing. After each command the
// window's timers get their tick, as the event loop would give it, so playlists advance
// and countdowns run.
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>

#include "FuzzApp.h"
#include "FuzzCheck.h"
#include "commands/CommandInterpreter.h"
#include "commands/Room.h"
#include "support/FormFixture.h"
#include "support/SoundFiles.h"
#include "ui/TForm_player.h"
#include "ui/Widgets.h"

namespace {

using vuvedid::TForm_player;

vuvedid::test::FormFixture* fixture = nullptr;

bool tone(const QString& path, double seconds) {
  return vuvedid::test::toneFile(path, seconds, 22050, 440, 0.3);
}

// music/<room>/*.mp3 rooms "hall" (two tones and a text file), "empty", "broken" (an mp3
// that is not one); effects/ two short tones and a broken one.
void makeFolders(const QString& root) {
  QDir(root).mkpath(QStringLiteral("music/hall"));
  QDir(root).mkpath(QStringLiteral("music/empty"));
  QDir(root).mkpath(QStringLiteral("music/broken"));
  QDir(root).mkpath(QStringLiteral("effects"));
  bool ok = tone(root + QStringLiteral("/music/hall/a.mp3"), 0.3) &&
            tone(root + QStringLiteral("/music/hall/b.mp3"), 0.2) &&
            tone(root + QStringLiteral("/effects/bell.mp3"), 0.1) &&
            tone(root + QStringLiteral("/effects/ding.wav"), 0.1);
  FUZZ_CHECK(ok);  // sox and lame are needed (scripts/deps.sh test installs them)
  QFile notes(root + QStringLiteral("/music/hall/notes.txt"));
  FUZZ_CHECK(notes.open(QIODevice::WriteOnly) && notes.write("not music\n") > 0);
  for (const char* bad : {"/music/broken/x.mp3", "/effects/bad.mp3"}) {
    QFile f(root + QString::fromLatin1(bad));
    FUZZ_CHECK(f.open(QIODevice::WriteOnly) && f.write("ID3 but nothing else") > 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  vuvedid::fuzz::startApplication(argc, argv);
  fixture = new vuvedid::test::FormFixture();
  TForm_player& form = fixture->form();
  const QString root = fixture->exeDir() + QStringLiteral("sounds");
  makeFolders(root);
  form.folder_m->setText(root + QStringLiteral("/music"));
  form.folder_s->setText(root + QStringLiteral("/effects"));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm_player& form = fixture->form();
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  fixture->boxes.boxes.clear();
  fixture->starter.calls.clear();
  fixture->speech.spoken.clear();

  form.guarded([&] { form.interpreter->CommandsRun(text); });
  if (form.room->background.Timer_playfone.enabled())
    form.guarded([&] { form.room->background.Timer_playfoneTimer(); });
  if (form.room->background.timer3.enabled())
    form.guarded([&] { form.room->background.timer3Timer(); });
  QCoreApplication::processEvents();

  // Only the keywords reach the outside world.
  FUZZ_CHECK(fixture->starter.calls.empty() || text.contains(QLatin1String("cmdstr:")));
  FUZZ_CHECK(fixture->starter.calls.size() <= 1);
  FUZZ_CHECK(fixture->speech.spoken.empty() || text.contains(QLatin1String("speak:")));
  // One command opens a few boxes at most (a failed action's report, a missing file),
  // never one per entry of a playlist.
  FUZZ_CHECK(fixture->boxes.boxes.size() <= 3);
  // The playlist only ever holds files of the music folder.
  for (int i = 0; i < form.ListBox1->count(); ++i)
    FUZZ_CHECK(form.ListBox1->item(i)->text().endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive));
  return 0;
}
