#pragma once
// The hand-over of libmosquitto's network events into the GUI thread. Each callback packs
// its event into a heap record and appends it to one receiver's queue (first in, first
// out), waking the GUI thread with a posted event when none is on its way; the network
// thread never waits for the GUI thread. The GUI thread works the queue off in short
// slices, so a burst of thousands of messages does not hold its timers back. Each session
// reaches the receiver through its own link, which is cut under a lock, so no event can
// reach a window that is gone or speak for a session that has been replaced.
#include <QEvent>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

struct mosquitto;
struct mosquitto_message;

namespace vuvedid {

enum T_mqtt_msg_id : std::uint8_t {
  ON_CONNECT_ID = 0,
  ON_DISCONNECT_ID = 1,
  ON_PUBLISH_ID = 2,
  ON_MESSAGE_ID = 3,
  ON_SUBSCRIBE_ID = 4,
  ON_UNSUBSCRIBE_ID = 5,
  ON_LOG_ID = 6,
  // Not a library callback: the session's network thread has ended its work (a connect that
  // never went through, a connection that was lost, or a disconnect that was asked for).
  // rc is the library's result; `description` is empty.
  ON_SESSION_END_ID = 7,
};

using T_mosquitto_message = ::mosquitto_message;

// Releases a message copy: its topic and payload, then the block itself.
struct MessageCopyDeleter {
  void operator()(T_mosquitto_message* copy) const noexcept;
};
using MessageCopy = std::unique_ptr<T_mosquitto_message, MessageCopyDeleter>;

// One network event. `session` tags the session that raised it (0 for a session that was
// not the live one when the event was raised).
struct T_win_message {
  QString description;
  T_mqtt_msg_id id = ON_LOG_ID;
  std::int32_t rc = 0;
  MessageCopy mosquitto_message;  // only for ON_MESSAGE_ID
  std::uint64_t session = 0;
};

// A received message decoded for the program.
struct T_received_MQTT_msg {
  std::int32_t mid = 0;
  QString topic;
  QString payload;
  std::int32_t QoS = 0;
  bool retain = false;
};

// Posted to the receiver when its queue has records and no wake-up is on its way.
class MqttWakeEvent final : public QEvent {
 public:
  MqttWakeEvent() : QEvent(eventType()) {}
  static QEvent::Type eventType();
};

// Lives in the GUI thread; runs the handler for each record in the order the records were
// queued. Records still queued when it is destroyed are discarded with it.
class EventReceiver final : public QObject {
 public:
  // How long one wake-up works the queue before it yields to timers and input.
  static constexpr std::int64_t kSliceNs = 5'000'000;

  // around, when given, runs at the start (true) and the end (false) of every slice.
  explicit EventReceiver(std::function<void(std::unique_ptr<T_win_message>)> handler,
                         std::function<void(bool)> around = {})
      : handler_(std::move(handler)), around_(std::move(around)) {}

  // Any thread. Never waits for the GUI thread: the lock is held for a push.
  void enqueue(std::unique_ptr<T_win_message> record);

 protected:
  void customEvent(QEvent* event) override;

 private:
  std::unique_ptr<T_win_message> next();
  void wakeLocked();

  std::function<void(std::unique_ptr<T_win_message>)> handler_;
  std::function<void(bool)> around_;
  std::mutex mutex_;
  std::deque<std::unique_ptr<T_win_message>> queue_;  // under mutex_
  bool wakePending_ = false;                          // under mutex_
};

namespace bridge {

// What the callbacks write directly, besides posting to the receiver.
struct Endpoint {
  EventReceiver* receiver = nullptr;
  std::atomic<bool>* connected = nullptr;
  std::atomic<std::int32_t>* connectResult = nullptr;
  std::atomic<std::int32_t>* disconnectResult = nullptr;
};

// One session's way into the window. The callbacks find it through their user data, so a
// session knows nothing of any other one. While the link is attached, the session's events
// carry its tag and its connect and disconnect callbacks write the endpoint's flags; once
// it is cut nothing reaches the window any more.
class Link {
 public:
  Link(std::uint64_t tag, const Endpoint& endpoint) : tag_(tag), endpoint_(endpoint) {}
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Returns only when no callback is inside a post any more.
  void cut() noexcept;

  // Network thread.
  void post(const char* description, T_mqtt_msg_id id, int rc, MessageCopy copy = nullptr,
            const QString* text = nullptr);
  void connected(int rc);
  void disconnected(int rc);

  // The broker accepted this session at least once (network thread writes, any thread reads).
  std::atomic<bool> accepted{false};
  // Result of the last connect acknowledgement that refused the login (0: none).
  std::atomic<int> refused{0};

 private:
  const std::uint64_t tag_;
  std::mutex lock_;
  Endpoint endpoint_;  // under lock_
};

// Installs the seven callbacks: connect, disconnect, publish, message, subscribe,
// unsubscribe, log. The handle's user data must be its Link.
void installCallbacks(::mosquitto* handle) noexcept;

}  // namespace bridge

}  // namespace vuvedid
