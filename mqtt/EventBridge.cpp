#include "mqtt/EventBridge.h"

#include <mosquitto.h>
#include <pthread.h>

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

namespace {

// Guards the endpoint and the live session. Held only for a flag store and one post
// (microseconds), never while calling into libmosquitto.
std::mutex g_lock;
Endpoint g_endpoint;
::mosquitto* g_live = nullptr;
std::uint64_t g_liveTag = 0;

void post(const char* description, T_mqtt_msg_id id, int rc, std::uint64_t tag,
          MessageCopy copy = nullptr, const QString* text = nullptr) {
  auto record = std::make_unique<T_win_message>();
  record->description = text ? *text : QString::fromLatin1(description);
  record->id = id;
  record->rc = rc;
  record->mosquitto_message = std::move(copy);
  record->session = tag;
  g_endpoint.receiver->enqueue(std::move(record));
}

std::uint64_t tagOf(::mosquitto* m) { return m == g_live ? g_liveTag : 0; }

void on_connect_cb(::mosquitto* m, void*, int rc) {
  std::lock_guard lock(g_lock);
  if (!g_endpoint.receiver) return;
  const std::uint64_t tag = tagOf(m);
  if (tag != 0) {
    g_endpoint.connectResult->store(rc);
    if (rc == 0) g_endpoint.connected->store(true);
  }
  post("Callback_on_connect", ON_CONNECT_ID, rc, tag);
}

void on_disconnect_cb(::mosquitto* m, void*, int rc) {
  // A lost connection ends the session's network thread here and now: the library's own
  // reconnect would otherwise race the GUI thread's stop of that thread, and a stop that
  // loses the race waits for ever.
  if (rc != 0) mosquitto_disconnect(m);
  std::lock_guard lock(g_lock);
  const std::uint64_t tag = tagOf(m);
  if (rc != 0 && (!g_endpoint.receiver || tag == 0)) {
    // A session left open by a window that is gone: nobody will ever stop it, so its thread
    // releases itself when it ends (which it does right after this call).
    pthread_detach(pthread_self());
  }
  if (!g_endpoint.receiver) return;
  if (tag != 0) {
    g_endpoint.disconnectResult->store(rc);
    g_endpoint.connected->store(false);
  }
  post("Callback_on_disconnect", ON_DISCONNECT_ID, rc, tag);
}

void on_publish_cb(::mosquitto* m, void*, int mid) {
  std::lock_guard lock(g_lock);
  if (g_endpoint.receiver) post("Callback_on_publish", ON_PUBLISH_ID, mid, tagOf(m));
}

void on_message_cb(::mosquitto* m, void*, const ::mosquitto_message* message) {
  if (trace::on())
    trace::mark("recv", trace::nowNs(), message->mid, static_cast<const char*>(message->payload),
                message->payloadlen);
  MessageCopy copy(static_cast<T_mosquitto_message*>(std::calloc(1, sizeof(T_mosquitto_message))));
  if (copy) mosquitto_message_copy(copy.get(), message);
  std::lock_guard lock(g_lock);
  if (g_endpoint.receiver) post("Callback_on_message", ON_MESSAGE_ID, 0, tagOf(m), std::move(copy));
}

void on_subscribe_cb(::mosquitto* m, void*, int mid, int, const int*) {
  std::lock_guard lock(g_lock);
  if (g_endpoint.receiver) post("Callback_on_subscribe", ON_SUBSCRIBE_ID, mid, tagOf(m));
}

void on_unsubscribe_cb(::mosquitto* m, void*, int mid) {
  std::lock_guard lock(g_lock);
  if (g_endpoint.receiver) post("Callback_on_unsubscribe", ON_UNSUBSCRIBE_ID, mid, tagOf(m));
}

void on_log_cb(::mosquitto* m, void*, int level, const char* text) {
  const QString line = QString::fromLocal8Bit(text ? text : "");
  std::lock_guard lock(g_lock);
  if (g_endpoint.receiver) post(nullptr, ON_LOG_ID, level, tagOf(m), nullptr, &line);
}

}  // namespace

void attach(const Endpoint& endpoint) noexcept {
  std::lock_guard lock(g_lock);
  g_endpoint = endpoint;
}

void detach() noexcept {
  std::lock_guard lock(g_lock);
  g_endpoint = Endpoint{};
  g_live = nullptr;
  g_liveTag = 0;
}

void setLiveSession(::mosquitto* handle, std::uint64_t tag) noexcept {
  std::lock_guard lock(g_lock);
  g_live = handle;
  g_liveTag = handle ? tag : 0;
}

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
