#pragma once
// A real main window on the offscreen platform with the real audio layer (SDL's dummy
// driver), its exe folder in a fresh temporary directory, and recorded boxes.
#include <QTemporaryDir>
#include <memory>

#include "audio/SdlAudioLibrary.h"
#include "host/RoomHost.h"
#include "support/Doubles.h"
#include "ui/TForm_player.h"

class QPlainTextEdit;

namespace vuvedid::test {

struct FormOptions {
  QStringList arguments;
  bool runFormCreate = true;
  ISpeech* speech = nullptr;           // default: a RecordingSpeech
  IProcessStarter* starter = nullptr;  // default: a RecordingStarter
  IAudioLibrary* audio = nullptr;      // default: the real SDL layer
  // Called with the exe folder before the window is built (e.g. to write MQTT.ini).
  std::function<void(const QString& exeDir)> prepare;
};

class FormFixture {
 public:
  explicit FormFixture(FormOptions options = {});
  ~FormFixture();

  TForm_player& form() { return *form_; }
  RoomHost& host() { return *host_; }
  QString exeDir() const { return exeDir_; }
  QString path(const QString& name) const { return exeDir_ + name; }

  RecordingMessageBoxes boxes;
  ScriptedSaveDialog saveDialog;
  FixedClock clock;
  RecordingSpeech speech;
  RecordingStarter starter;
  std::unique_ptr<SdlAudioLibrary> audio;
  int terminatedWith = -1;  // status passed to terminate, -1 when never called

 private:
  QTemporaryDir dir_;
  QString exeDir_;
  std::unique_ptr<RoomHost> host_;
  std::unique_ptr<TForm_player> form_;
};

// Spins the event loop for about ms milliseconds (timers and posted events run).
void spin(int ms);
// Spins until pred() holds or ms elapse; returns pred().
bool waitFor(const std::function<bool()>& pred, int ms);

// The lines of a log box, one per text block; none for an empty box.
QStringList linesOf(const QPlainTextEdit* box);

}  // namespace vuvedid::test
