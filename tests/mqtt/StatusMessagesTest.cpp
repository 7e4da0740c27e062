// The status texts a controller or Home Assistant reads: valid JSON with the names and keys
// they look for.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "mqtt/StatusMessages.h"

namespace vuvedid {
namespace {

QJsonObject parse(const QByteArray& json) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << json.constData();
  EXPECT_TRUE(doc.isObject()) << json.constData();
  return doc.object();
}

TEST(StatusMessages, StateCarriesEveryFieldWithNamesAsOnDisk) {
  RoomState s;
  s.room = QStringLiteral("зал 1");
  s.track = QStringLiteral("Трек \"один\".mp3");
  s.track_no = 2;
  s.tracks = 7;
  s.remaining_s = 95;
  s.music = QStringLiteral("paused");
  s.volume = 40;
  s.fx[2] = {QStringLiteral("дверь.mp3"), 80, true};
  s.speaking = true;
  const QByteArray json = stateJson(s);
  ASSERT_FALSE(json.contains('\n'));  // one line, as mosquitto_sub prints it
  const QJsonObject o = parse(json);
  EXPECT_EQ(o.value("online").toBool(false), true);
  EXPECT_EQ(o.value("room").toString(), s.room);
  EXPECT_EQ(o.value("track").toString(), s.track);
  EXPECT_EQ(o.value("track_no").toInt(), 2);
  EXPECT_EQ(o.value("tracks").toInt(), 7);
  EXPECT_EQ(o.value("remaining_s").toInt(), 95);
  EXPECT_EQ(o.value("music").toString(), QStringLiteral("paused"));
  EXPECT_EQ(o.value("volume").toInt(), 40);
  EXPECT_EQ(o.value("speaking").toBool(), true);
  const QJsonArray fx = o.value("fx").toArray();
  ASSERT_EQ(fx.size(), 4);
  EXPECT_EQ(fx[0].toObject().value("file").toString(), QString());
  EXPECT_EQ(fx[0].toObject().value("playing").toBool(true), false);
  EXPECT_EQ(fx[2].toObject().value("file").toString(), QStringLiteral("дверь.mp3"));
  EXPECT_EQ(fx[2].toObject().value("volume").toInt(), 80);
  EXPECT_EQ(fx[2].toObject().value("playing").toBool(), true);
  // The bytes are UTF-8, not escapes a shell subscriber would show as \u0434...
  EXPECT_TRUE(json.contains(QStringLiteral("дверь").toUtf8()));
}

TEST(StatusMessages, EventNamesItselfBesideItsFields) {
  const QJsonObject o = parse(eventJson(
      QStringLiteral("command"),
      QJsonObject{{"text", QStringLiteral("fx:80!door.mp3")}, {"result", QStringLiteral("ok")}}));
  EXPECT_EQ(o.value("event").toString(), QStringLiteral("command"));
  EXPECT_EQ(o.value("text").toString(), QStringLiteral("fx:80!door.mp3"));
  EXPECT_EQ(o.value("result").toString(), QStringLiteral("ok"));
}

TEST(StatusMessages, NodeIdKeepsWhatADiscoveryTopicAccepts) {
  const struct {
    const char* clientId;
    const char* node;
  } cases[] = {{"room-1_a", "room-1_a"}, {"Зал 1/x+#", "1x"}, {"", "vuvedid"}, {"///", "vuvedid"}};
  for (const auto& c : cases)
    EXPECT_EQ(discoveryNodeId(QString::fromUtf8(c.clientId)), QLatin1String(c.node)) << c.clientId;
}

TEST(StatusMessages, DiscoveryMakesOneDeviceWhoseControlsCommandThroughTheRoomsTopic) {
  DiscoveryInput in;
  in.statusTopic = QStringLiteral("rooms/hall/status");
  in.commandTopic = QStringLiteral("rooms/hall/cmd");
  in.willTopic = QStringLiteral("rooms/hall/will");
  in.willPayload = QStringLiteral("lost");
  in.clientId = QStringLiteral("hall 1");
  in.rooms = {QStringLiteral("room1"), QStringLiteral("подвал")};
  in.version = QStringLiteral("1.1.104.39");

  // The keys Home Assistant requires (or needs to show a state) per component.
  const QHash<QString, QStringList> required{{"sensor", {"state_topic", "value_template"}},
                                             {"select", {"command_topic", "options"}},
                                             {"number", {"command_topic", "min", "max"}},
                                             {"button", {"command_topic", "payload_press"}},
                                             {"text", {"command_topic"}}};
  QSet<QString> uniqueIds, components, presses;
  const QList<RetainedMessage> configs = discoveryConfigs(in);
  for (const RetainedMessage& m : configs) {
    SCOPED_TRACE(m.topic.toStdString());
    const QStringList parts = m.topic.split(QLatin1Char('/'));
    ASSERT_EQ(parts.size(), 5);
    EXPECT_EQ(parts[0], QStringLiteral("homeassistant"));
    EXPECT_EQ(parts[2], QStringLiteral("hall1"));
    EXPECT_EQ(parts[4], QStringLiteral("config"));
    const QString component = parts[1];
    ASSERT_TRUE(required.contains(component));
    components.insert(component);
    const QJsonObject o = parse(m.payload);
    for (const QString& key : required.value(component))
      EXPECT_TRUE(o.contains(key)) << key.toStdString();
    if (o.contains("command_topic")) {
      EXPECT_EQ(o.value("command_topic").toString(), in.commandTopic);
    }
    if (o.contains("state_topic")) {
      EXPECT_EQ(o.value("state_topic").toString(), QStringLiteral("rooms/hall/status/state"));
    }
    if (component == "button") presses.insert(o.value("payload_press").toString());
    if (component == "select") {
      EXPECT_EQ(o.value("options").toArray(), QJsonArray::fromStringList(in.rooms));
    }
    const QString id = o.value("unique_id").toString();
    EXPECT_FALSE(id.isEmpty());
    EXPECT_FALSE(uniqueIds.contains(id)) << id.toStdString();
    uniqueIds.insert(id);
    EXPECT_EQ(o.value("device").toObject().value("identifiers").toArray(),
              QJsonArray{QStringLiteral("vuvedid_hall1")});
    // Available by the room's own word, unavailable by it or by the connection's will.
    EXPECT_EQ(o.value("availability_mode").toString(), QStringLiteral("latest"));
    const QJsonArray availability = o.value("availability").toArray();
    ASSERT_EQ(availability.size(), 2);
    EXPECT_EQ(availability[0].toObject().value("topic").toString(),
              QStringLiteral("rooms/hall/status/availability"));
    EXPECT_EQ(availability[1].toObject().value("topic").toString(), in.willTopic);
    EXPECT_EQ(availability[1].toObject().value("payload_not_available").toString(), in.willPayload);
  }
  EXPECT_EQ(components, (QSet<QString>{"sensor", "select", "number", "button", "text"}));
  EXPECT_EQ(presses, (QSet<QString>{"pause", "resume", "next", "shufle", "reset"}));

  // Without a will only the room's own availability topic is listed.
  in.willTopic.clear();
  for (const RetainedMessage& m : discoveryConfigs(in))
    EXPECT_EQ(parse(m.payload).value("availability").toArray().size(), 1) << m.topic.toStdString();
}

}  // namespace
}  // namespace vuvedid
