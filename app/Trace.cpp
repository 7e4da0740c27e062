#include "app/Trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vuvedid::trace {

namespace {

int openTraceFile() noexcept {
  const char* path = std::getenv("VUVEDID_TRACE_FILE");
  if (!path || !*path) return -1;
  return ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

int traceFd() noexcept {
  static const int fd = openTraceFile();
  return fd;
}

}  // namespace

bool on() noexcept { return traceFd() >= 0; }

std::int64_t nowNs() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void mark(const char* stage, std::int64_t ns, long long number, const char* text,
          int len) noexcept {
  const int fd = traceFd();
  if (fd < 0) return;
  char line[256];
  int n =
      std::snprintf(line, sizeof line, "%s %lld %lld", stage, static_cast<long long>(ns), number);
  if (n < 0) return;
  n = std::min(n, 160);
  if (text) {
    std::size_t tl = len < 0 ? std::strlen(text) : static_cast<std::size_t>(len);
    tl = std::min(tl, sizeof line - static_cast<std::size_t>(n) - 2);
    line[n++] = ' ';
    for (std::size_t i = 0; i < tl; ++i) {
      const char c = text[i];
      line[n++] = (c == '\n' || c == '\r') ? ' ' : c;
    }
  }
  line[n++] = '\n';
  [[maybe_unused]] const ssize_t w = ::write(fd, line, static_cast<std::size_t>(n));
}

}  // namespace vuvedid::trace
