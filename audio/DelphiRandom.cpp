#include "audio/DelphiRandom.h"

#include <chrono>

namespace vuvedid {

void DelphiRandom::randomize() noexcept {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  state_ = static_cast<std::uint32_t>(ticks);
}

}  // namespace vuvedid
