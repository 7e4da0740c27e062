#pragma once
// One room: the background music, the four effect slots, speech and program launch, with
// one method per verb of the command language and of the player's buttons. The command
// interpreter and the window's buttons both come here, so a verb lives in one place; where
// a button behaves differently from its command, both stand below, side by side.
#include <QByteArray>
#include <QString>

#include "audio/BackgroundPlayer.h"
#include "audio/EffectChannels.h"
#include "commands/ProgramLauncher.h"
#include "commands/RoomCommands.h"
#include "commands/SpeechOutput.h"

namespace vuvedid {

class IProcessStarter;
class ISpeech;
class SpeechView;

struct RoomViews {
  PlayerView& player;
  EffectsView& effects;
  SpeechView& speech;
};

class Room final : public RoomCommands {
 public:
  Room(IAudioLibrary& audio, ISpeech& speech, IProcessStarter& starter, Logs& logs,
       ProblemReporter& problems, RoomViews views, const Settings& settings,
       EventRunner runEvent = {});

  BackgroundPlayer background;
  EffectChannels effects;
  SpeechOutput speech;
  ProgramLauncher launcher;

  // ---- Commands ---------------------------------------------------------------------
  // "play:": the countdown stops, the channel falls silent, and the room's playlist is
  // built; its tick starts the first entry. Throws FileError for a missing folder.
  void play(const QString& roomName) override;
  // "volume:": throws ConvertError for a text that is no integer.
  void volume(const QString& level) override;
  // "fx:"
  void fx(const QString& argument) override;
  // "next": the channel falls silent and the tick starts the following entry.
  void next() override;
  // "shufle", also the hidden shuffle button.
  void shuffle() override;
  // "speak:": the text is shown where the user types one, then spoken.
  void speak(const QString& text) override;
  // "cmdstr:": the locale's 8-bit texts, at most 255 bytes each.
  void launch(const QByteArray& program, const QByteArray& parameters) override;
  // "reset": every channel falls silent, the countdown and the playlist tick stop.
  void reset() override;

  // ---- A command and its button -------------------------------------------------------
  // "pause" always shows the pause mark and stops both timers, and pauses a playing
  // channel; the button acts only on a playing channel and leaves the playlist tick on.
  void pause() override;
  void pauseButton();
  // "resume" restarts the countdown and the playlist tick whatever was playing; the play
  // button leaves a playing channel alone and restarts the countdown from the track's
  // length, without the tick.
  void resume() override;
  void playButton();
  // The stop button: a playing channel stops and the whole player shows it stopped. (The
  // command that silences the room is "reset".)
  void stopButton();
  // The speech test button speaks the text as it stands.
  void speakButton(const QString& text);

  // ---- Buttons and bars without a command ---------------------------------------------
  void effectButton(int slot);
  void effectVolume(int slot, int percent);
  void musicVolume(int percent);

  // The end of the program: all output stops and the audio library is released.
  void close();

 private:
  IAudioLibrary& audio_;
  SpeechView& speechView_;
};

}  // namespace vuvedid
