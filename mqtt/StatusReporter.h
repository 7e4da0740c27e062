#pragma once
// Publishes what the room reports to its controllers under "[status] topic" (all of it off
// without the key): the retained state, coalesced; the events, one by one in the order they
// happened; the availability; the Home Assistant discovery configs. Lives on the GUI
// thread; publishing only queues a message for the session's own thread, so nothing here
// waits on the network or sits on the path from a command to its sound.
#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

#include "mqtt/StatusMessages.h"

namespace vuvedid {

class StatusReporter : public QObject {
  Q_OBJECT

 public:
  // Sends one message; false when it could not be queued (no connection): the state and
  // discovery are sent again after the next connect, an event is lost with the connection.
  using Publish = std::function<bool(const QString& topic, const QByteArray& payload, bool retain)>;
  // A state published less than this after the one before waits for the rest of it, and
  // then only the latest goes out.
  static constexpr int kStateIntervalMs = 100;

  StatusReporter(QString topic, Publish publish, QObject* parent = nullptr);

  const QString& topic() const { return topic_; }

  // The room's state now; published when it differs from the last one published.
  void setState(const RoomState& state);
  // One event, published at once after the ones before it.
  void sendEvent(const QString& name, const QJsonObject& fields = QJsonObject());
  // An event that belongs to a moment still ahead (a sound's end, known before it is
  // heard): published then, keeping the order of everything published after it.
  void sendEventAt(std::int64_t steadyNs, const QString& name, const QJsonObject& fields);

  // After each connect: availability "online", the connection's old will cleared (the
  // broker keeps it retained), the state, and the discovery configs when they are set.
  void connected(const QString& willTopic);
  // Before a clean disconnect: availability "offline".
  void closing();
  // Retained configs sent after each connect and by republishDiscovery (when Home
  // Assistant announces itself).
  void setDiscovery(QList<RetainedMessage> configs) { discovery_ = std::move(configs); }
  void republishDiscovery();

 private:
  void publishState();
  void flushDue();

  QString topic_;
  Publish publish_;
  RoomState state_;
  std::optional<QByteArray> published_;  // the last state sent
  QTimer stateTimer_;
  bool stateWaiting_ = false;
  // Events that wait for their moment, in the order they came; later events wait behind
  // them so a controller never sees them out of order.
  struct Pending {
    std::int64_t dueNs;
    QByteArray payload;
  };
  QList<Pending> pending_;
  QTimer pendingTimer_;
  QList<RetainedMessage> discovery_;
};

}  // namespace vuvedid
