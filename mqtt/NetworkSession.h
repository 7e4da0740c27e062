#pragma once
// One broker session and the thread that does all of its network work: name resolution,
// the TCP connect, the TLS handshake, reading, writing, keep-alive and the disconnect. The
// GUI thread only creates it, queues requests (subscribe, publish, disconnect: each only
// appends to the library's queue and wakes the thread) and lets go of it; it never waits for
// the thread. A session is one connection: once that has ended (never accepted, lost, or
// disconnected) the thread reports the end and leaves; the window decides whether to build
// a new session.
#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <memory>

#include "mqtt/EventBridge.h"

struct mosquitto;

namespace vuvedid {

struct ConnectTarget {
  QByteArray host;
  int port = 0;
  int keepalive = 30;
};

class NetworkSession {
 public:
  // How long a TCP connect may go unanswered (a host that drops SYNs) before this attempt
  // is given up, and how long the whole connect (TCP, TLS, the broker's acknowledgement)
  // may take.
  static constexpr int kTcpConnectTimeoutMs = 3000;
  static constexpr int kAcceptTimeoutMs = 15000;

  NetworkSession(std::uint64_t tag, const bridge::Endpoint& endpoint);
  // Lets go of the session: its link is cut, and a thread still running finishes by itself
  // and releases the handle. With keepConnection a connection the broker accepted stays
  // open until it drops (the process ending drops it without a DISCONNECT, so the broker
  // publishes the will); otherwise the session is asked to stop.
  void release(bool keepConnection) noexcept;
  ~NetworkSession();
  NetworkSession(const NetworkSession&) = delete;
  NetworkSession& operator=(const NetworkSession&) = delete;

  // This session connects only once previous has said goodbye (bounded by a few seconds).
  // Before start.
  void follow(const NetworkSession& previous) noexcept;

  // Creates the handle (its user data is this session's link); null when the library
  // refused.
  ::mosquitto* create(const char* clientId, bool cleanSession);
  ::mosquitto* handle() const noexcept;
  bridge::Link& link() noexcept;

  // Starts the network thread, which connects to target.
  void start(const ConnectTarget& target);
  // Asks the thread to end: a DISCONNECT is queued when connected. Never waits. Returns
  // the library's result of the disconnect request.
  int stop() noexcept;
  bool running() const noexcept;
  bool stopRequested() const noexcept;

 private:
  struct Core;
  std::shared_ptr<Core> core_;
  bool released_ = false;
};

}  // namespace vuvedid
