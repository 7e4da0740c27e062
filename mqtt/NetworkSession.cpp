#include "mqtt/NetworkSession.h"

#include <mosquitto.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace vuvedid {

struct NetworkSession::Core {
  Core(std::uint64_t tag, const bridge::Endpoint& endpoint) : link(tag, endpoint) {}
  ~Core() {
    // The last owner: the thread has ended, or never ran.
    if (handle) mosquitto_destroy(handle);
  }
  bridge::Link link;
  ::mosquitto* handle = nullptr;
  std::atomic<bool> stopAsked{false};
  std::atomic<bool> running{false};
  // The session this one replaces: its goodbye (what it still had queued, then its
  // DISCONNECT) goes out before this one connects, or the broker, seeing the same client
  // connect again, would drop the old connection with what it had not read yet.
  std::weak_ptr<Core> predecessor;

  void run(const ConnectTarget& target);
};

namespace {

using Clock = std::chrono::steady_clock;

int elapsedMs(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// True once the TCP connect of the handle's socket has gone through.
bool tcpConnected(::mosquitto* handle) {
  const int fd = mosquitto_socket(handle);
  if (fd < 0) return false;
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
}

}  // namespace

void NetworkSession::Core::run(const ConnectTarget& target) {
  // The wait inside one turn of the loop. While connecting, the timeouts and a stop request
  // are looked at every 100 ms; once accepted, every request (a publish, the DISCONNECT)
  // wakes the thread by itself and the turn only serves the keep-alive.
  constexpr int kConnectingTurnMs = 100;
  constexpr int kConnectedTurnMs = 1000;
  // How long a DISCONNECT that was asked for may take to go out.
  constexpr int kDisconnectGraceMs = 2000;
  if (const std::shared_ptr<Core> before = predecessor.lock()) {
    const Clock::time_point waitStart = Clock::now();
    while (before->running.load() && elapsedMs(waitStart) < kDisconnectGraceMs + 500 &&
           !stopAsked.load())
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const Clock::time_point start = Clock::now();
  int rc = mosquitto_connect_async(handle, target.host.constData(), target.port, target.keepalive);
  if (rc == MOSQ_ERR_SUCCESS) {
    Clock::time_point stopSeen{};
    bool stopping = false;
    for (;;) {
      rc = mosquitto_loop(handle, link.accepted.load() ? kConnectedTurnMs : kConnectingTurnMs, 1);
      if (rc != MOSQ_ERR_SUCCESS) break;
      if (stopAsked.load()) {
        // An accepted connection says goodbye first (the DISCONNECT ends the loop once it is
        // written); anything else just ends.
        if (!link.accepted.load()) break;
        if (!stopping) {
          stopping = true;
          stopSeen = Clock::now();
        } else if (elapsedMs(stopSeen) > kDisconnectGraceMs) {
          break;
        }
      }
      if (!link.accepted.load()) {
        const int waited = elapsedMs(start);
        if ((waited > kTcpConnectTimeoutMs && !tcpConnected(handle)) || waited > kAcceptTimeoutMs) {
          errno = ETIMEDOUT;
          rc = MOSQ_ERR_ERRNO;
          link.post("Connect timed out", ON_LOG_ID, MOSQ_LOG_WARNING);
          break;
        }
      }
    }
  }
  if (rc == MOSQ_ERR_NO_CONN && stopAsked.load()) rc = MOSQ_ERR_SUCCESS;
  link.post("", ON_SESSION_END_ID, rc);
  running.store(false);
}

NetworkSession::NetworkSession(std::uint64_t tag, const bridge::Endpoint& endpoint)
    : core_(std::make_shared<Core>(tag, endpoint)) {}

// A running thread holds its own reference: the handle goes with whichever ends last.
NetworkSession::~NetworkSession() { release(false); }

void NetworkSession::release(bool keepConnection) noexcept {
  if (!core_ || released_) return;
  released_ = true;
  core_->link.cut();
  if (!(keepConnection && core_->link.accepted.load())) stop();
}

void NetworkSession::follow(const NetworkSession& previous) noexcept {
  core_->predecessor = previous.core_;
}

::mosquitto* NetworkSession::create(const char* clientId, bool cleanSession) {
  core_->handle = mosquitto_new(clientId, cleanSession, &core_->link);
  // Requests from the GUI thread only queue and wake this session's thread, which does all
  // the writing.
  if (core_->handle) mosquitto_threaded_set(core_->handle, true);
  return core_->handle;
}

::mosquitto* NetworkSession::handle() const noexcept { return core_ ? core_->handle : nullptr; }
bridge::Link& NetworkSession::link() noexcept { return core_->link; }

void NetworkSession::start(const ConnectTarget& target) {
  core_->running.store(true);
  std::thread([core = core_, target] { core->run(target); }).detach();
}

int NetworkSession::stop() noexcept {
  if (!core_ || !core_->handle) return MOSQ_ERR_INVAL;
  core_->stopAsked.store(true);
  if (!core_->running.load()) return MOSQ_ERR_NO_CONN;
  return mosquitto_disconnect(core_->handle);
}

bool NetworkSession::running() const noexcept { return core_ && core_->running.load(); }
bool NetworkSession::stopRequested() const noexcept { return core_ && core_->stopAsked.load(); }

}  // namespace vuvedid
