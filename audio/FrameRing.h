#pragma once
// A single-producer/single-consumer ring of interleaved stereo float frames. The decoding
// side writes, SDL's audio callback reads; neither ever waits for the other, so the
// callback stays free of locks and allocation.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>

namespace vuvedid {

class FrameRing {
 public:
  // capacityFrames is rounded up to a power of two.
  explicit FrameRing(std::size_t capacityFrames) {
    std::size_t c = 1;
    while (c < capacityFrames) c <<= 1;
    capacity_ = c;
    mask_ = c - 1;
    // Left uninitialised: the pages are touched first by the decoding side, not by the
    // thread that creates the stream and wants its answer quickly.
    data_.reset(new float[c * 2]);
  }

  std::size_t capacity() const noexcept { return capacity_; }

  // Either side may ask; the answer is a lower bound for the asking side.
  std::size_t available() const noexcept {
    return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
  }
  std::size_t space() const noexcept { return capacity_ - available(); }

  // Producer: copies up to `frames` frames in, returns how many fitted.
  std::size_t write(const float* src, std::size_t frames) noexcept {
    const std::size_t w = write_.load(std::memory_order_relaxed);
    const std::size_t r = read_.load(std::memory_order_acquire);
    const std::size_t n = std::min(frames, capacity_ - (w - r));
    const std::size_t at = w & mask_;
    const std::size_t first = std::min(n, capacity_ - at);
    std::memcpy(data_.get() + at * 2, src, first * 2 * sizeof(float));
    std::memcpy(data_.get(), src + first * 2, (n - first) * 2 * sizeof(float));
    write_.store(w + n, std::memory_order_release);
    return n;
  }

  // Consumer: hands up to `frames` frames to fn(const float* p, std::size_t frames, offset)
  // in at most two contiguous pieces, then releases them. Returns frames consumed.
  template <typename Fn>
  std::size_t consume(std::size_t frames, Fn&& fn) noexcept {
    const std::size_t r = read_.load(std::memory_order_relaxed);
    const std::size_t w = write_.load(std::memory_order_acquire);
    const std::size_t n = std::min(frames, w - r);
    const std::size_t at = r & mask_;
    const std::size_t first = std::min(n, capacity_ - at);
    if (first > 0) fn(data_.get() + at * 2, first, std::size_t{0});
    if (n > first) fn(data_.get(), n - first, first);
    read_.store(r + n, std::memory_order_release);
    return n;
  }

  // Empties the ring. Only while neither side can run (producer lock and device lock held).
  void reset() noexcept {
    read_.store(0, std::memory_order_relaxed);
    write_.store(0, std::memory_order_relaxed);
  }

 private:
  std::size_t capacity_ = 0;
  std::size_t mask_ = 0;
  std::unique_ptr<float[]> data_;
  alignas(64) std::atomic<std::size_t> write_{0};
  alignas(64) std::atomic<std::size_t> read_{0};
};

}  // namespace vuvedid
