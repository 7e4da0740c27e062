#include "host/RoomHost.h"

#include <mosquitto.h>

#include <cstdio>

#include "app/EventGuard.h"
#include "audio/AudioLibrary.h"
#include "commands/CommandInterpreter.h"
#include "commands/Room.h"
#include "commands/Speech.h"
#include "mqtt/MqttClient.h"

namespace vuvedid {

RoomHost::RoomHost(const Services& s, ProblemSink problemSink)
    : services(s),
      problems(std::move(problemSink)),
      settingsFile(services.exeDir),
      logs(settings, *services.clock) {
  room = std::make_unique<Room>(*services.audio, *services.speech, *services.starter, logs,
                                problems, RoomViews{views, views, views}, settings,
                                [this](const std::function<void()>& handler) { guarded(handler); });
  interpreter = std::make_unique<CommandInterpreter>(*room);
  mqtt = std::make_unique<MqttClient>(settings, logs, problems, views);
  mqtt->onCommand = [this](const QString& command) { CommandsRun(command); };
}

RoomHost::~RoomHost() {
  // The broker side goes first: from here on no network event reaches the room.
  mqtt.reset();
  interpreter.reset();
  room.reset();
}

void RoomHost::guarded(const std::function<void()>& handler) noexcept {
  runGuarded([this](BoxIcon icon, const QString& caption,
                    const QString& text) { problems.report(icon, caption, text); },
             handler);
}

void RoomHost::CommandsRun(const QString& myCMD) { interpreter->CommandsRun(myCMD); }

bool RoomHost::startArgument() const {
  return !services.arguments.isEmpty() && services.arguments.first() == QLatin1String("start");
}

bool RoomHost::my_init() {
  mqtt->user_disconnect = 0;
  if (!settingsFile.exists()) return false;
  settingsFile.load(settings);
  applyLoadedSettings();
  if (startArgument()) mqtt->Timer_start1->setEnabled(true);
  return true;
}

// What the load hands to the layers built before it: the launch allow-list, and the
// sound output, its buffer and the ducking, taken by the Init that follows the load.
void RoomHost::applyLoadedSettings() {
  room->launcher.allow = settings.launchAllow;
  IAudioLibrary& audio = *services.audio;
  audio.setDeviceName(settings.audioDevice);
  audio.setBufferFrames(settings.audioBuffer);
  audio.setDucking(settings.duck);
  if (settings.ducking())
    services.speech->onSounding([&audio](bool on) { audio.setSpeechSounding(on); });
  else
    services.speech->onSounding(nullptr);
  // Its notices (a missing output, a lost one opened again) go to the system log and the
  // journal, when a service.
  audio.setNotice([this](const QString& line) {
    logs.AddSysLog(line);
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
  });
}

bool RoomHost::checkLibraries() {
  if ((services.audio->GetVersion() >> 16) != (kAudioInterfaceVersion >> 16)) {
    problems.report(BoxIcon::Error, QString(), QStringLiteral("Не корректная версия BASS.DLL"));
    services.terminate(0);
    return false;
  }
  if (!services.audio->Init(-1, 44100)) {
    problems.report(BoxIcon::Error, QString(), QStringLiteral("Ошибка инициализация аудио"));
    services.terminate(0);
    return false;
  }
  const int rc = mosquitto_lib_init();
  if (rc != 0) {
    problems.report(BoxIcon::Error, QStringLiteral("Mosquitto library "),
                    QStringLiteral("Mosquitto_lib_init error: %1").arg(rc));
  }
  return true;
}

void RoomHost::FormClose() {
  if (closed_) return;
  closed_ = true;
  room->close();
}

}  // namespace vuvedid
