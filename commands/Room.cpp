#include "commands/Room.h"

#include <cstdio>

#include "app/Logs.h"
#include "commands/SpeechView.h"

namespace vuvedid {

Room::Room(IAudioLibrary& audio, ISpeech& speechService, IProcessStarter& starter, Logs& logs,
           ProblemReporter& problems, RoomViews views, const Settings& settings,
           EventRunner runEvent)
    : background(audio, logs, problems, views.player, settings, std::move(runEvent)),
      effects(audio, logs, views.effects, settings),
      speech(speechService),
      launcher(starter),
      audio_(audio),
      speechView_(views.speech) {
  launcher.refused = [&logs](const QString& line) {
    logs.AddSysLog(line);
    std::fprintf(stderr, "vuvedid: %s\n", line.toUtf8().constData());  // the journal
  };
}

void Room::play(const QString& roomName) {
  background.countdownReset();
  background.stopChannel();
  background.fone_state = 0;
  background.showRoom(roomName);
  background.playmusfoldername();
}

void Room::volume(const QString& level) { background.setlevel1(level); }

void Room::fx(const QString& argument) { effects.playfx(argument); }

void Room::next() { background.stopChannel(); }

void Room::shuffle() { background.shuffle(); }

void Room::speak(const QString& text) {
  speechView_.showSpeechText(text);
  speech.speak(text);
}

void Room::launch(const QByteArray& program, const QByteArray& parameters) {
  launcher.RunProgram(program, parameters);
}

void Room::reset() {
  background.countdownReset();
  background.Timer_playfone.setEnabled(false);
  background.stopChannel();
  effects.stopAll();
}

void Room::pause() {
  background.showPaused(true);
  background.timer3.setEnabled(false);
  background.Timer_playfone.setEnabled(false);
  background.pauseChannel();
}

void Room::pauseButton() {
  if (background.fone_state != 1) return;
  background.showPaused(true);
  background.pauseChannel();
  background.timer3.setEnabled(false);
}

void Room::resume() {
  background.showPaused(false);
  background.timer3.setEnabled(true);
  background.Player();
  background.Timer_playfone.setEnabled(true);
}

void Room::playButton() {
  background.showPaused(false);
  if (background.fone_state == 1) return;
  background.Player();
  background.countdownStart(false);
}

void Room::stopButton() {
  if (background.fone_state != 1) return;
  background.showPaused(false);
  background.stopChannel();
  background.fone_state = 0;
  background.showStoppedTrack();
  background.countdownReset();
  background.Timer_playfone.setEnabled(false);
}

void Room::speakButton(const QString& text) { speech.speak(text); }

void Room::effectButton(int slot) { effects.button(slot); }

void Room::effectVolume(int slot, int percent) { effects.setVolume(slot, percent); }

void Room::musicVolume(int percent) { background.setBarVolume(percent); }

void Room::close() {
  background.timer3.setEnabled(false);
  background.Timer_playfone.setEnabled(false);
  audio_.Stop();
  audio_.StreamFree(background.fone_chan);
  audio_.Free();
}

}  // namespace vuvedid
