// The ring between the decoding side and the mixer: frames come out as they went in, across
// the wrap, and a producer and a consumer on two threads never lose, repeat or tear a frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "audio/FrameRing.h"

namespace vuvedid {
namespace {

// Frame i holds (i, -i): a torn or misplaced frame shows as a pair that does not match.
std::vector<float> numbered(std::size_t from, std::size_t count) {
  std::vector<float> v;
  for (std::size_t i = from; i < from + count; ++i) {
    v.push_back(static_cast<float>(i));
    v.push_back(-static_cast<float>(i));
  }
  return v;
}

// Reads up to `frames` frames into a flat vector, checking the offsets the ring reports.
std::vector<float> take(FrameRing& ring, std::size_t frames) {
  std::vector<float> out;
  ring.consume(frames, [&](const float* p, std::size_t n, std::size_t offset) {
    EXPECT_EQ(offset, out.size() / 2);
    out.insert(out.end(), p, p + n * 2);
  });
  return out;
}

TEST(FrameRing, CapacityIsThePowerOfTwoAtOrAboveTheRequest) {
  const std::pair<std::size_t, std::size_t> cases[] = {{1, 1},       {2, 2},       {3, 4},
                                                       {1000, 1024}, {1024, 1024}, {1025, 2048}};
  for (const auto& [asked, capacity] : cases) {
    FrameRing ring(asked);
    EXPECT_EQ(ring.capacity(), capacity) << asked;
    EXPECT_EQ(ring.space(), capacity) << asked;
    EXPECT_EQ(ring.available(), 0u) << asked;
  }
}

TEST(FrameRing, AFullRingTakesWhatFitsAndFramesComeOutInOrderAcrossTheWrap) {
  FrameRing ring(8);
  // Only 8 of 10 fit.
  EXPECT_EQ(ring.write(numbered(0, 10).data(), 10), 8u);
  EXPECT_EQ(ring.space(), 0u);
  EXPECT_EQ(ring.write(numbered(8, 1).data(), 1), 0u);
  EXPECT_EQ(take(ring, 5), numbered(0, 5));
  // Frames 8..12 wrap: three at the end of the buffer are still unread, five go in front.
  EXPECT_EQ(ring.write(numbered(8, 5).data(), 5), 5u);
  EXPECT_EQ(ring.available(), 8u);
  // Read in two pieces: the tail of the buffer, then its head with the right offset.
  EXPECT_EQ(take(ring, 100), numbered(5, 8));
  EXPECT_EQ(ring.available(), 0u);
  // Asking an empty ring hands nothing to the callback.
  EXPECT_TRUE(take(ring, 4).empty());
}

TEST(FrameRing, ResetEmptiesIt) {
  FrameRing ring(4);
  ring.write(numbered(0, 3).data(), 3);
  ring.reset();
  EXPECT_EQ(ring.available(), 0u);
  ring.write(numbered(7, 4).data(), 4);
  EXPECT_EQ(take(ring, 4), numbered(7, 4));
}

// The decoder and the mixer run at once, each in pieces of its own size: every frame arrives
// once, in order and whole (the sanitizer build also checks the hand-over's ordering).
TEST(FrameRing, ProducerAndConsumerOnTwoThreadsLoseNothing) {
  constexpr std::size_t kFrames = 200000;
  FrameRing ring(256);
  std::thread producer([&] {
    std::mt19937 random(1);
    std::size_t next = 0;
    while (next < kFrames) {
      const std::size_t n = std::min<std::size_t>(1 + random() % 300, kFrames - next);
      const std::vector<float> chunk = numbered(next, n);
      next += ring.write(chunk.data(), n);
      if (ring.space() == 0) std::this_thread::yield();
    }
  });
  std::mt19937 random(2);
  std::size_t expected = 0;
  std::size_t faults = 0;
  while (expected < kFrames) {
    const std::size_t got =
        ring.consume(1 + random() % 200, [&](const float* p, std::size_t n, std::size_t offset) {
          // The second piece of a wrapped read continues where the first one ended.
          for (std::size_t i = 0; i < n; ++i) {
            const float want = static_cast<float>(expected + offset + i);
            if (p[i * 2] != want || p[i * 2 + 1] != -want) ++faults;
          }
        });
    expected += got;
    if (got == 0) std::this_thread::yield();
  }
  producer.join();
  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(ring.available(), 0u);
}

}  // namespace
}  // namespace vuvedid
