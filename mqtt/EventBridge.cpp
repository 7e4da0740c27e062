#include "mqtt/EventBridge.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <cstdlib>
#include <mutex>

#include "app/Trace.h"

namespace vuvedid {

void MessageCopyDeleter::operator()(T_mosquitto_message* copy) const noexcept {
  mosquitto_message_free_contents(copy);
  std::free(copy);
}

QEvent::Type MqttWakeEvent::eventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void EventReceiver::enqueue(std::unique_ptr<T_win_message> record) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(record));
  if (!wakePending_) wakeLocked();
}

void EventReceiver::wakeLocked() {
  wakePending_ = true;
  QCoreApplication::postEvent(this, new MqttWakeEvent);
}

std::unique_ptr<T_win_message> EventReceiver::next() {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return nullptr;
  std::unique_ptr<T_win_message> record = std::move(queue_.front());
  queue_.pop_front();
  // With more to come, a wake-up goes out before this record is handled: it carries on
  // after this slice, and also inside a message box the handler may open (its nested
  // event loop then keeps handling the queue, as it would handle any posted event).
  if (!queue_.empty() && !wakePending_) wakeLocked();
  return record;
}

void EventReceiver::customEvent(QEvent* event) {
  {
    // A wake-up is made and posted under this lock: taking it before looking at the event
    // orders this thread after the poster for every observer (the thread sanitizer
    // included), not only through Qt's own queue.
    std::lock_guard lock(mutex_);
    if (event->type() != MqttWakeEvent::eventType()) return;
    wakePending_ = false;
  }
  // Qt delivers the events posted during this slice (the next wake-up among them) only
  // after it has looked at timers and input again.
  struct Around {
    const std::function<void(bool)>& f;
    explicit Around(const std::function<void(bool)>& fn) : f(fn) {
      if (f) f(true);
    }
    ~Around() {
      if (f) f(false);
    }
  } around(around_);
  const std::int64_t start = trace::nowNs();
  while (std::unique_ptr<T_win_message> record = next()) {
    handler_(std::move(record));
    if (trace::nowNs() - start >= kSliceNs) break;
  }
}

namespace bridge {

void Link::cut() noexcept {
  std::lock_guard lock(lock_);
  endpoint_ = Endpoint{};
}

void Link::post(const char* description, T_mqtt_msg_id id, int rc, MessageCopy copy,
                const QString* text) {
  std::lock_guard lock(lock_);
  if (!endpoint_.receiver) return;
  auto record = std::make_unique<T_win_message>();
  record->description = text ? *text : QString::fromLatin1(description);
  record->id = id;
  record->rc = rc;
  record->mosquitto_message = std::move(copy);
  record->session = tag_;
  endpoint_.receiver->enqueue(std::move(record));
}

void Link::connected(int rc) {
  if (rc == 0)
    accepted.store(true);
  else
    refused.store(rc);
  std::lock_guard lock(lock_);
  if (!endpoint_.receiver) return;
  endpoint_.connectResult->store(rc);
  if (rc == 0) endpoint_.connected->store(true);
}

void Link::disconnected(int rc) {
  std::lock_guard lock(lock_);
  if (!endpoint_.receiver) return;
  endpoint_.disconnectResult->store(rc);
  endpoint_.connected->store(false);
}

namespace {

Link& linkOf(void* userdata) { return *static_cast<Link*>(userdata); }

void on_connect_cb(::mosquitto*, void* obj, int rc) {
  Link& link = linkOf(obj);
  link.connected(rc);
  link.post("Callback_on_connect", ON_CONNECT_ID, rc);
}

void on_disconnect_cb(::mosquitto*, void* obj, int rc) {
  Link& link = linkOf(obj);
  link.disconnected(rc);
  link.post("Callback_on_disconnect", ON_DISCONNECT_ID, rc);
}

void on_publish_cb(::mosquitto*, void* obj, int mid) {
  linkOf(obj).post("Callback_on_publish", ON_PUBLISH_ID, mid);
}

void on_message_cb(::mosquitto*, void* obj, const ::mosquitto_message* message) {
  if (trace::on())
    trace::mark("recv", trace::nowNs(), message->mid, static_cast<const char*>(message->payload),
                message->payloadlen);
  MessageCopy copy(static_cast<T_mosquitto_message*>(std::calloc(1, sizeof(T_mosquitto_message))));
  if (copy) mosquitto_message_copy(copy.get(), message);
  linkOf(obj).post("Callback_on_message", ON_MESSAGE_ID, 0, std::move(copy));
}

void on_subscribe_cb(::mosquitto*, void* obj, int mid, int, const int*) {
  linkOf(obj).post("Callback_on_subscribe", ON_SUBSCRIBE_ID, mid);
}

void on_unsubscribe_cb(::mosquitto*, void* obj, int mid) {
  linkOf(obj).post("Callback_on_unsubscribe", ON_UNSUBSCRIBE_ID, mid);
}

void on_log_cb(::mosquitto*, void* obj, int level, const char* text) {
  const QString line = QString::fromLocal8Bit(text ? text : "");
  linkOf(obj).post(nullptr, ON_LOG_ID, level, nullptr, &line);
}

}  // namespace

void installCallbacks(::mosquitto* handle) noexcept {
  mosquitto_connect_callback_set(handle, on_connect_cb);
  mosquitto_disconnect_callback_set(handle, on_disconnect_cb);
  mosquitto_publish_callback_set(handle, on_publish_cb);
  mosquitto_message_callback_set(handle, on_message_cb);
  mosquitto_subscribe_callback_set(handle, on_subscribe_cb);
  mosquitto_unsubscribe_callback_set(handle, on_unsubscribe_cb);
  mosquitto_log_callback_set(handle, on_log_cb);
}

}  // namespace bridge

}  // namespace vuvedid
