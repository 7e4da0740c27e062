#pragma once
// One room without its window: the settings and their file, the logs, the problem reporter,
// the players, the command interpreter and the broker session, wired together, with the
// start-up and the end of the program. The window (ui/) is built on a host and attaches
// itself as its views; the headless daemon runs a host alone.
#include <QString>
#include <functional>
#include <memory>

#include "app/Logs.h"
#include "app/Problems.h"
#include "app/Services.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "host/ViewHub.h"

namespace vuvedid {

class Room;
class CommandInterpreter;
class MqttClient;

class RoomHost {
 public:
  // problemSink shows what the logic reports (the window's boxes, or standard error).
  RoomHost(const Services& services, ProblemSink problemSink);
  ~RoomHost();
  RoomHost(const RoomHost&) = delete;
  RoomHost& operator=(const RoomHost&) = delete;

  const Services services;
  Settings settings;
  ProblemReporter problems;
  ViewHub views;
  SettingsFile settingsFile;
  Logs logs;
  std::unique_ptr<Room> room;
  std::unique_ptr<CommandInterpreter> interpreter;
  std::unique_ptr<MqttClient> mqtt;

  // Runs a handler the way an event does: a silent abort is swallowed, any other exception
  // becomes the default error report.
  void guarded(const std::function<void()>& handler) noexcept;
  void CommandsRun(const QString& myCMD);

  // ---- Start-up and the end ------------------------------------------------------------
  // The settings load of the start: nothing when MQTT.ini is missing (returns false).
  // Otherwise the file is loaded, the layers built before it get their part, and with the
  // first argument "start" the unattended start is armed.
  bool my_init();
  // Whether the program was started unattended (first argument "start").
  bool startArgument() const;
  // The libraries' checks that follow the load: the audio layer's version and Init, then
  // libmosquitto. A failing audio check is reported and ends the program (returns false).
  bool checkLibraries();
  // All output stops and the audio library is released; once.
  void FormClose();
  bool closed() const { return closed_; }

 private:
  void applyLoadedSettings();
  bool closed_ = false;
};

}  // namespace vuvedid
