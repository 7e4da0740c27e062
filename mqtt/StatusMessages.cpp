#include "mqtt/StatusMessages.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vuvedid {

QByteArray stateJson(const RoomState& s) {
  QJsonArray fx;
  for (const FxSlotState& slot : s.fx)
    fx.append(QJsonObject{{QStringLiteral("file"), slot.file},
                          {QStringLiteral("volume"), slot.volume},
                          {QStringLiteral("playing"), slot.playing}});
  const QJsonObject o{
      {QStringLiteral("online"), s.online}, {QStringLiteral("room"), s.room},
      {QStringLiteral("track"), s.track},   {QStringLiteral("track_no"), s.track_no},
      {QStringLiteral("tracks"), s.tracks}, {QStringLiteral("remaining_s"), s.remaining_s},
      {QStringLiteral("music"), s.music},   {QStringLiteral("volume"), s.volume},
      {QStringLiteral("fx"), fx},           {QStringLiteral("speaking"), s.speaking}};
  return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray eventJson(const QString& name, const QJsonObject& fields) {
  QJsonObject o = fields;
  o.insert(QStringLiteral("event"), name);
  return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString discoveryNodeId(const QString& clientId) {
  QString id;
  for (const QChar c : clientId) {
    const char16_t u = c.unicode();
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
        u == '-')
      id += c;
  }
  return id.isEmpty() ? QStringLiteral("vuvedid") : id;
}

namespace {

// What every control of the device shares: its ids, the device it belongs to, and when
// it is available.
QJsonObject base(const DiscoveryInput& in, const QString& node, const QString& object,
                 const QString& name) {
  QJsonArray availability{
      QJsonObject{{QStringLiteral("topic"), in.statusTopic + QStringLiteral("/availability")},
                  {QStringLiteral("payload_available"), QStringLiteral("online")},
                  {QStringLiteral("payload_not_available"), QStringLiteral("offline")}}};
  if (!in.willTopic.isEmpty()) {
    // The will is published by the broker when the connection dies; the room clears it
    // (an empty retained message) on every connect, so only the will's own payload counts.
    availability.append(QJsonObject{{QStringLiteral("topic"), in.willTopic},
                                    {QStringLiteral("payload_available"), QStringLiteral("online")},
                                    {QStringLiteral("payload_not_available"), in.willPayload}});
  }
  return QJsonObject{
      {QStringLiteral("name"), name},
      {QStringLiteral("unique_id"), node + QLatin1Char('_') + object},
      {QStringLiteral("availability"), availability},
      {QStringLiteral("availability_mode"), QStringLiteral("latest")},
      {QStringLiteral("device"),
       QJsonObject{{QStringLiteral("identifiers"), QJsonArray{QStringLiteral("vuvedid_") + node}},
                   {QStringLiteral("name"), QStringLiteral("Vuvedid ") + in.clientId},
                   {QStringLiteral("manufacturer"), QStringLiteral("Vuvedid")},
                   {QStringLiteral("model"), QStringLiteral("Room sound player")},
                   {QStringLiteral("sw_version"), in.version}}}};
}

}  // namespace

QList<RetainedMessage> discoveryConfigs(const DiscoveryInput& in) {
  const QString node = discoveryNodeId(in.clientId);
  const QString state = in.statusTopic + QStringLiteral("/state");
  QList<RetainedMessage> out;
  auto add = [&](const char* component, const QString& object, QJsonObject config) {
    out.append({in.prefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') + node +
                    QLatin1Char('/') + object + QStringLiteral("/config"),
                QJsonDocument(config).toJson(QJsonDocument::Compact)});
  };

  QJsonObject music = base(in, node, QStringLiteral("music"), QStringLiteral("Music"));
  music.insert(QStringLiteral("state_topic"), state);
  music.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.music }}"));
  music.insert(QStringLiteral("json_attributes_topic"), state);
  music.insert(QStringLiteral("json_attributes_template"),
               QStringLiteral("{{ {'room': value_json.room, 'track': value_json.track, "
                              "'track_no': value_json.track_no, 'tracks': value_json.tracks, "
                              "'remaining_s': value_json.remaining_s} | tojson }}"));
  add("sensor", QStringLiteral("music"), music);

  QJsonObject room = base(in, node, QStringLiteral("room"), QStringLiteral("Room"));
  room.insert(QStringLiteral("command_topic"), in.commandTopic);
  room.insert(QStringLiteral("command_template"), QStringLiteral("play:{{ value }}"));
  room.insert(QStringLiteral("options"), QJsonArray::fromStringList(in.rooms));
  room.insert(QStringLiteral("state_topic"), state);
  room.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.room }}"));
  add("select", QStringLiteral("room"), room);

  QJsonObject volume = base(in, node, QStringLiteral("volume"), QStringLiteral("Volume"));
  volume.insert(QStringLiteral("command_topic"), in.commandTopic);
  volume.insert(QStringLiteral("command_template"), QStringLiteral("volume:{{ value | int }}"));
  volume.insert(QStringLiteral("min"), 0);
  volume.insert(QStringLiteral("max"), 100);
  volume.insert(QStringLiteral("step"), 1);
  volume.insert(QStringLiteral("mode"), QStringLiteral("slider"));
  volume.insert(QStringLiteral("state_topic"), state);
  volume.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.volume }}"));
  add("number", QStringLiteral("volume"), volume);

  // The room's own command words ("shufle" is how the room spells it).
  const std::pair<const char*, const char*> buttons[] = {{"pause", "Pause"},
                                                         {"resume", "Resume"},
                                                         {"next", "Next track"},
                                                         {"shufle", "Shuffle"},
                                                         {"reset", "Stop everything"}};
  for (const auto& [word, name] : buttons) {
    const QString object = QLatin1String(word);
    QJsonObject b = base(in, node, object, QLatin1String(name));
    b.insert(QStringLiteral("command_topic"), in.commandTopic);
    b.insert(QStringLiteral("payload_press"), object);
    add("button", object, b);
  }

  QJsonObject speak = base(in, node, QStringLiteral("speak"), QStringLiteral("Speak"));
  speak.insert(QStringLiteral("command_topic"), in.commandTopic);
  speak.insert(QStringLiteral("command_template"), QStringLiteral("speak:{{ value }}"));
  speak.insert(QStringLiteral("max"), 255);
  add("text", QStringLiteral("speak"), speak);
  return out;
}

}  // namespace vuvedid
