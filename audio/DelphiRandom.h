#pragma once
// The shuffle's pseudo-random generator: a 32-bit state updated as
// state * 134775813 + 1 (mod 2^32); a draw below n is the upper 32 bits of state * n.
#include <cstdint>

namespace vuvedid {

class DelphiRandom {
 public:
  explicit DelphiRandom(std::uint32_t seed = 0) noexcept : state_(seed) {}
  // Seeds from the low 32 bits of a high-resolution clock.
  void randomize() noexcept;
  void setSeed(std::uint32_t seed) noexcept { state_ = seed; }
  std::uint32_t seed() const noexcept { return state_; }
  // A value in 0 .. n-1 (0 when n is 0).
  std::uint32_t next(std::uint32_t n) noexcept {
    state_ = state_ * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state_) * n) >> 32);
  }

 private:
  std::uint32_t state_;
};

}  // namespace vuvedid
