#pragma once
// A TCP relay on 127.0.0.1 between the program and the broker, on a thread of its own, that
// can break the network on demand: cut every connection at once (and refuse new ones for a
// while), or stall it (nothing is forwarded either way, yet the sockets stay open, so
// keep-alive pings go unanswered).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vuvedid::test {

class TcpProxy {
 public:
  // Listens at a free port and forwards every connection to targetPort (which may be set
  // later, before the first connection).
  explicit TcpProxy(int targetPort = 0);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  int port() const { return port_; }
  void setTarget(int targetPort) { target_ = targetPort; }
  // Closes every current connection on both sides; returns once they are closed. With
  // refuseNew the port refuses connections until allow().
  void cut(bool refuseNew = false);
  void allow();
  // As a host that is gone: every connection reset, and new ones left unanswered (the port
  // listens but its accept queue is full, so the kernel drops their SYNs) until allow().
  void blackhole();
  // Holds what the broker sends on each new connection for ms before passing it on (a slow
  // broker's late connect acknowledgement); 0 passes it at once.
  void setResponseDelay(int ms) { responseDelayMs_ = ms; }
  // Stops forwarding in both directions (connections accepted meanwhile are held too) until
  // resume(); returns once the relay no longer moves a byte.
  void stall();
  void resume();
  // Connections accepted so far, and those open now.
  int accepted() const { return accepted_.load(); }
  int open() const { return open_.load(); }

 private:
  enum class Request { None, Cut, CutRefuse, Blackhole, Allow, Stall, Resume, Quit };
  void ask(Request r);
  void run();
  bool listen();

  std::atomic<int> target_;
  int port_ = 0;
  int listener_ = -1;
  int wake_ = -1;  // eventfd: a request is waiting
  std::atomic<int> accepted_{0};
  std::atomic<int> open_{0};
  std::atomic<int> responseDelayMs_{0};

  std::mutex lock_;
  std::condition_variable done_;
  Request request_ = Request::None;
  std::uint64_t asked_ = 0, handled_ = 0;
  std::thread thread_;
};

}  // namespace vuvedid::test
