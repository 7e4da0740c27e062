#include "mqtt/StatusReporter.h"

#include <algorithm>

#include "app/Trace.h"

namespace vuvedid {

StatusReporter::StatusReporter(QString topic, Publish publish, QObject* parent)
    : QObject(parent), topic_(std::move(topic)), publish_(std::move(publish)) {
  stateTimer_.setSingleShot(true);
  // A coarse timer may fire 5 % early, which would make it more than ten a second.
  stateTimer_.setTimerType(Qt::PreciseTimer);
  stateTimer_.setInterval(kStateIntervalMs);
  connect(&stateTimer_, &QTimer::timeout, this, [this] {
    if (!stateWaiting_) return;
    stateWaiting_ = false;
    publishState();
    stateTimer_.start();
  });
  pendingTimer_.setSingleShot(true);
  pendingTimer_.setTimerType(Qt::PreciseTimer);
  connect(&pendingTimer_, &QTimer::timeout, this, &StatusReporter::flushDue);
}

void StatusReporter::setState(const RoomState& state) {
  state_ = state;
  if (stateTimer_.isActive()) {
    stateWaiting_ = true;
    return;
  }
  if (published_ && *published_ == stateJson(state_)) return;
  publishState();
  stateTimer_.start();
}

void StatusReporter::publishState() {
  const QByteArray json = stateJson(state_);
  if (published_ && *published_ == json) return;
  if (publish_(topic_ + QStringLiteral("/state"), json, true)) published_ = json;
}

void StatusReporter::sendEvent(const QString& name, const QJsonObject& fields) {
  const QByteArray payload = eventJson(name, fields);
  if (!pending_.isEmpty()) {
    pending_.append({0, payload});
    return;
  }
  publish_(topic_ + QStringLiteral("/event"), payload, false);
}

void StatusReporter::sendEventAt(std::int64_t dueNs, const QString& name,
                                 const QJsonObject& fields) {
  pending_.append({dueNs, eventJson(name, fields)});
  flushDue();
}

void StatusReporter::flushDue() {
  const std::int64_t now = trace::nowNs();
  while (!pending_.isEmpty() && pending_.front().dueNs <= now) {
    publish_(topic_ + QStringLiteral("/event"), pending_.front().payload, false);
    pending_.removeFirst();
  }
  if (pending_.isEmpty()) {
    pendingTimer_.stop();
    return;
  }
  // Rounded up: a timer that fires a little early would only come back for the rest.
  const std::int64_t waitMs = (pending_.front().dueNs - now + 999'999) / 1'000'000;
  pendingTimer_.start(static_cast<int>(std::min<std::int64_t>(waitMs, 60'000)));
}

void StatusReporter::connected(const QString& willTopic) {
  publish_(topic_ + QStringLiteral("/availability"), QByteArrayLiteral("online"), true);
  // The broker keeps a will published at an earlier loss retained: an empty retained
  // message removes it, so "latest" availability reads online again.
  if (!willTopic.isEmpty()) publish_(willTopic, QByteArray(), true);
  published_.reset();
  stateWaiting_ = false;
  publishState();
  republishDiscovery();
}

void StatusReporter::closing() {
  publish_(topic_ + QStringLiteral("/availability"), QByteArrayLiteral("offline"), true);
}

void StatusReporter::republishDiscovery() {
  for (const RetainedMessage& m : discovery_) publish_(m.topic, m.payload, true);
}

}  // namespace vuvedid
