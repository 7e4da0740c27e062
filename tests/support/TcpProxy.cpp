#include "support/TcpProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "support/Broker.h"

namespace vuvedid::test {

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

void nonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// One relayed connection: the program's side and the broker's, with the bytes read from
// each that the other has not taken yet.
struct Link {
  int fd[2] = {-1, -1};    // 0: program, 1: broker
  std::string pending[2];  // pending[i]: read from fd[i], to be written to fd[1 - i]
  bool eof[2] = {false, false};
  // What the broker sends is not passed on before this moment.
  std::chrono::steady_clock::time_point holdUntil{};

  void close() {
    for (int& f : fd) {
      if (f >= 0) ::close(f);
      f = -1;
    }
  }
  // Done once a side has closed and everything it sent has been passed on.
  bool finished() const {
    return fd[0] < 0 || fd[1] < 0 || (eof[0] && pending[0].empty()) ||
           (eof[1] && pending[1].empty());
  }
};

}  // namespace

TcpProxy::TcpProxy(int targetPort) : target_(targetPort) {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  for (int attempt = 0; attempt < 20 && listener_ < 0; ++attempt) {
    port_ = freeLocalPort();
    listen();
  }
  thread_ = std::thread([this] { run(); });
}

TcpProxy::~TcpProxy() {
  ask(Request::Quit);
  thread_.join();
  if (listener_ >= 0) ::close(listener_);
  ::close(wake_);
}

bool TcpProxy::listen() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = loopback(port_);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener_, 16) != 0) {
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  return true;
}

void TcpProxy::cut(bool refuseNew) { ask(refuseNew ? Request::CutRefuse : Request::Cut); }
void TcpProxy::blackhole() { ask(Request::Blackhole); }
void TcpProxy::allow() { ask(Request::Allow); }
void TcpProxy::stall() { ask(Request::Stall); }
void TcpProxy::resume() { ask(Request::Resume); }

void TcpProxy::ask(Request r) {
  std::unique_lock lock(lock_);
  request_ = r;
  const std::uint64_t ticket = ++asked_;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
  done_.wait(lock, [&] { return handled_ >= ticket; });
}

void TcpProxy::run() {
  std::vector<Link> links;
  bool stalled = false;
  bool refusing = false;
  std::vector<int> queued;  // connections that fill a black hole's accept queue
  auto closeAll = [&] {
    for (Link& l : links) l.close();
    links.clear();
    open_ = 0;
  };
  auto resetAll = [&] {
    // SO_LINGER 0: the close sends a reset, as a host that went away answers at best.
    const linger hard{1, 0};
    for (Link& l : links)
      for (int f : l.fd)
        if (f >= 0) ::setsockopt(f, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    closeAll();
  };
  auto dropQueued = [&] {
    for (int q : queued) ::close(q);
    queued.clear();
  };

  for (;;) {
    std::vector<pollfd> fds{{wake_, POLLIN, 0}};
    // Who owns each entry after the first: the listener (-1) or link / side.
    std::vector<std::pair<int, int>> owner{{-2, 0}};
    if (listener_ >= 0 && !refusing) {
      fds.push_back({listener_, POLLIN, 0});
      owner.push_back({-1, 0});
    }
    if (!stalled) {
      for (int i = 0; i < static_cast<int>(links.size()); ++i) {
        for (int side = 0; side < 2; ++side) {
          short events = 0;
          // Read a side only while the other has taken what came before (back-pressure).
          if (!links[i].eof[side] && links[i].pending[side].empty()) events |= POLLIN;
          const bool held = side == 0 && links[i].holdUntil > std::chrono::steady_clock::now();
          if (!links[i].pending[1 - side].empty() && !held) events |= POLLOUT;
          fds.push_back({links[i].fd[side], events, 0});
          owner.push_back({i, side});
        }
      }
    }
    // A held response is due at the earliest hold's end.
    int timeoutMs = -1;
    const auto now = std::chrono::steady_clock::now();
    for (const Link& l : links) {
      if (l.holdUntil > now && !l.pending[1].empty()) {
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(l.holdUntil - now).count() + 1);
        if (timeoutMs < 0 || left < timeoutMs) timeoutMs = left;
      }
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) break;

    if (fds[0].revents & POLLIN) {
      std::uint64_t n;
      [[maybe_unused]] const ssize_t got = ::read(wake_, &n, sizeof n);
      std::unique_lock lock(lock_);
      const Request r = request_;
      if (r == Request::Quit) {
        closeAll();
        dropQueued();
        handled_ = asked_;
        done_.notify_all();
        return;
      }
      if (r == Request::Blackhole) {
        resetAll();
        if (listener_ >= 0) ::close(listener_);
        // Listening with the smallest backlog and never accepting: once a few connections
        // wait in its queue, the kernel drops every new SYN.
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a = loopback(port_);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 0);
        for (int k = 0; k < 3; ++k) {
          const int q = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
          ::connect(q, reinterpret_cast<sockaddr*>(&a), sizeof a);
          queued.push_back(q);
        }
        refusing = true;  // the relay does not accept from it
      } else if (r == Request::Cut || r == Request::CutRefuse) {
        closeAll();
        if (r == Request::CutRefuse && listener_ >= 0) {
          // Closing the listening socket makes connects fail at once, as with no broker.
          ::close(listener_);
          listener_ = -1;
          refusing = true;
        }
      } else if (r == Request::Allow) {
        if (!queued.empty()) {
          // Out of the black hole: a listener that accepts again on the same port.
          dropQueued();
          ::close(listener_);
          listener_ = -1;
        }
        if (listener_ < 0) listen();
        refusing = false;
      } else if (r == Request::Stall) {
        stalled = true;
      } else if (r == Request::Resume) {
        stalled = false;
      }
      request_ = Request::None;
      handled_ = asked_;
      done_.notify_all();
      continue;  // the poll set is rebuilt from the new state
    }

    for (size_t k = 1; k < fds.size(); ++k) {
      if (!fds[k].revents) continue;
      const auto [i, side] = owner[k];
      if (i == -1) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(target_);
        if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
          // Nobody behind the relay: the program sees its connection close.
          ::close(server);
          ::close(client);
          continue;
        }
        nonBlocking(client);
        nonBlocking(server);
        Link l;
        l.fd[0] = client;
        l.fd[1] = server;
        l.holdUntil =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(responseDelayMs_.load());
        links.push_back(std::move(l));
        ++accepted_;
        open_ = static_cast<int>(links.size());
        continue;
      }
      Link& l = links[i];
      if (l.fd[side] < 0) continue;
      if (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[65536];
        const ssize_t n = ::read(l.fd[side], buf, sizeof buf);
        if (n > 0)
          l.pending[side].append(buf, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
          l.eof[side] = true;
      }
      if ((fds[k].revents & POLLOUT) && !l.pending[1 - side].empty()) {
        std::string& out = l.pending[1 - side];
        const ssize_t n = ::send(l.fd[side], out.data(), out.size(), MSG_NOSIGNAL);
        if (n > 0)
          out.erase(0, static_cast<size_t>(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          l.eof[1 - side] = true;  // undeliverable: the link ends
          out.clear();
        }
      }
    }
    // A connection one side has ended is ended on the other too.
    for (auto it = links.begin(); it != links.end();) {
      if (it->finished()) {
        it->close();
        it = links.erase(it);
      } else {
        ++it;
      }
    }
    open_ = static_cast<int>(links.size());
  }
}

}  // namespace vuvedid::test
