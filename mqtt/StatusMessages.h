#pragma once
// What a room tells its controllers when "[status] topic=" is set: the retained state, one
// event per thing that happened, and the retained Home Assistant discovery configs that make
// the room one device with controls. Only the texts are built here; the session publishes
// them, off the sound path.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

namespace vuvedid {

struct FxSlotState {
  QString file;  // file name as written on disk, empty when the slot never played
  int volume = 0;
  bool playing = false;
};

struct RoomState {
  bool online = true;
  QString room;   // the last "play:" room
  QString track;  // file name of the current track
  int track_no = 0;
  int tracks = 0;
  int remaining_s = 0;
  QString music = QStringLiteral("stopped");  // "playing", "paused" or "stopped"
  int volume = 0;
  std::array<FxSlotState, 4> fx;
  bool speaking = false;

  bool operator==(const RoomState&) const = default;
};

// <topic>/state: one JSON object, UTF-8.
QByteArray stateJson(const RoomState& state);
// <topic>/event: {"event": name, ...fields}.
QByteArray eventJson(const QString& name, const QJsonObject& fields = QJsonObject());

struct RetainedMessage {
  QString topic;
  QByteArray payload;
};

struct DiscoveryInput {
  QString prefix = QStringLiteral("homeassistant");
  QString statusTopic;   // "[status] topic": state, availability
  QString commandTopic;  // the room's command topic: every control commands through it
  QString willTopic;     // the connection's will, which also means "offline"; empty: none
  QString willPayload;
  QString clientId;   // the MQTT client id: the device's identifier
  QStringList rooms;  // the room folders under the music folder
  QString version;
};

// Letters, digits, "_" and "-" of a client id (what Home Assistant accepts in a discovery
// topic); "vuvedid" when nothing is left.
QString discoveryNodeId(const QString& clientId);
// One retained config per control: a sensor for the music state (room and track as
// attributes), a select of the rooms, a number for the volume, buttons for pause, resume,
// next, shuffle and reset, a text for speech.
QList<RetainedMessage> discoveryConfigs(const DiscoveryInput& in);

}  // namespace vuvedid
