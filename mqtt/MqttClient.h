#pragma once
// The broker session: connect, disconnect, the hand-over of network events into the GUI
// thread, subscribe, publish and the heartbeat.
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/Problems.h"
#include "app/Timer.h"
#include "mqtt/EventBridge.h"
#include "mqtt/NetworkSession.h"
#include "mqtt/ResultTexts.h"
#include "mqtt/SessionView.h"
#include "mqtt/Utf8.h"

class QTimer;
struct mosquitto;

namespace vuvedid {

class Logs;
struct Settings;

struct T_user_obj {
  std::int32_t Data = 0;
};

class MqttClient {
 public:
  // settings: the broker, the topics, the heartbeat; logs: the protocol and system lines;
  // problems: the failure boxes; view: the debug tab's options and what the session shows.
  MqttClient(const Settings& settings, Logs& logs, ProblemReporter& problems, SessionView& view);
  // Leaves an accepted connection as it is (no DISCONNECT: the broker is to publish the
  // will when the connection drops) but makes sure none of its events reaches the window
  // any more; a connect still under way is given up.
  ~MqttClient();
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // Where a received command text goes (the command interpreter).
  std::function<void(const QString&)> onCommand;

  // The heartbeat (interval 20 s) and the two steps of the unattended start (1 s each).
  const std::unique_ptr<Timer> Timer_act;
  const std::unique_ptr<Timer> Timer_start1;
  const std::unique_ptr<Timer> Timer_start2;

  // 1 after Disconnect was pressed; 0 at start-up and after every connect that went through.
  std::uint8_t user_disconnect = 0;
  // 1 once a heartbeat publish was refused by the library; cleared by a reconnect that went
  // through.
  std::uint8_t publish_error = 0;

  // ---- Session fields ------------------------------------------------------------------
  ::mosquitto* f_mosq = nullptr;
  bool f_session_started = false;
  std::uint8_t f_clean_session = 0;
  std::uint8_t f_retain = 0;
  T_user_obj f_user_obj;
  ByteString f_user_id;
  ByteString f_will_payload;
  std::int32_t f_will_payload_len = 0;
  ByteString f_will_topic;
  ByteString f_user_name;
  ByteString f_user_password;
  ByteString f_hostname;
  std::int32_t f_port = 0;
  std::int32_t f_keepalive = 0;
  // Written by the network thread.
  std::atomic<bool> f_connected{false};
  std::atomic<std::int32_t> f_connect_result{0};
  std::atomic<std::int32_t> f_disconnect_result{0};

  std::int32_t f_pub_id = 0;
  ByteString f_pub_topic;
  std::int32_t f_pub_payload_len = 0;
  ByteString f_pub_payload;
  std::int32_t f_pub_qos = 0;
  std::uint8_t f_pub_retain = 0;
  std::int32_t f_sub_id = 0;
  ByteString f_sub_topic;
  std::int32_t f_sub_qos = 0;

  // The keep-alive asked of the broker, whatever cxsped_KeepAlive holds.
  static constexpr int kKeepAlive = 30;

  // ---- Click and tick handlers (they throw; the form's guard sits outside) ---------------
  void btnConnectClick();
  void btnDisconnectClick();
  void btn_SUBClick();
  void btnPublishClick();
  void Timer_actTimer();
  void Timer_start1Timer();
  void Timer_start2Timer();

  // ---- Operations ------------------------------------------------------------------------
  void act_ConnectExecute();
  void act_DisconnectExecute();
  void ReadClientIdentity();
  void CreateMosqSession();
  void ReadConnectParams();
  void act_PublishExecute();
  void act_PublishExecute2();

  // The GUI thread's handling of one network event.
  void OnMqttEvent(std::unique_ptr<T_win_message> message);
  static void ConvertMosqMessage(const T_mosquitto_message& source, T_received_MQTT_msg& target);

  // Tag of the current session's events (0 while there is none).
  std::uint64_t sessionTag() const noexcept { return session_tag_; }
  // The unattended start pressed Connect: from here on the room keeps trying until the
  // broker accepts it, whatever happens to the connection, until the user's Disconnect.
  void setUnattended() noexcept { unattended_ = true; }
  // The unattended start's subscribe found no accepted connection yet: it is made as soon
  // as the broker accepts.
  void subscribeWhenAccepted() noexcept { subscribe_on_accept_ = true; }
  // A retry of a session that ended is waiting for its turn.
  bool retryPending() const noexcept;
  // Delays between the attempts while the broker stays away.
  static constexpr int kFirstRetryMs = 1000;
  static constexpr int kMaxRetryMs = 10000;
  // True while the busy cursor set by a connect or disconnect is shown.
  bool busyCursor() const noexcept { return busy_; }

 private:
  enum class PublishKind { Debug, Heartbeat };
  void publish(PublishKind kind);
  void reconnect();
  // Retry timer: builds a new session while a room that is meant to run is not connected.
  void retryConnect();
  bool retryWanted() const;
  void scheduleRetry();
  // The network thread of the current session has ended its work.
  void sessionEnded(int rc);
  // The broker accepted the current session.
  void sessionAccepted();
  void applyTls();
  // The failure boxes of a connect. While a repeat key is set (an outage), only its first
  // report is a box; the others are system-log lines, until the broker accepts again.
  void report(BoxIcon icon, const QString& text);
  // Runs a handler the way an event does (a failure becomes the default error report).
  void guarded(const std::function<void()>& handler);
  // Lets go of the current session: its events stop, its thread ends by itself.
  void releaseSession(bool keepConnection) noexcept;
  [[noreturn]] void emptyField(SessionField field, const QString& name);
  [[noreturn]] void callFailed(const QString& prefix, MosqCall call, int rc);
  void setBusy();
  void resetCursor() noexcept;

  const Settings& settings_;
  Logs& logs_;
  ProblemReporter& problems_;
  SessionView& view_;
  std::unique_ptr<EventReceiver> receiver_;
  std::unique_ptr<NetworkSession> session_;
  std::unique_ptr<QTimer> retry_timer_;
  int retry_delay_ms_ = kFirstRetryMs;
  bool unattended_ = false;
  bool subscribe_on_accept_ = false;
  // A connection of this window went through once (the reconnect box only means something
  // after that).
  bool ever_connected_ = false;
  // The user's value of user_disconnect before a Connect whose failure is learnt later.
  std::uint8_t user_disconnect_before_ = 0;
  std::uint64_t session_tag_ = 0;
  std::uint64_t last_tag_ = 0;
  // Tag of the session a reconnect started: once the broker accepts it, the command topic
  // is subscribed again.
  std::uint64_t resubscribe_tag_ = 0;
  // Disconnect has been asked of the current session.
  bool disconnect_requested_ = false;
  bool busy_ = false;
  // Set while the reconnect itself presses Disconnect (not the user).
  bool auto_disconnect_ = false;
  // The repeat key the failure reports are made under (empty: every one is a box).
  QString report_key_;

  // Sets a flag for the life of a scope, restoring its old value after.
  template <class T>
  struct Scoped {
    Scoped(T& flag, T value) : flag_(flag), old_(flag) { flag_ = std::move(value); }
    ~Scoped() { flag_ = std::move(old_); }
    T& flag_;
    T old_;
  };
  using ScopedFlag = Scoped<bool>;
};

}  // namespace vuvedid
