// Records a PulseAudio source (the null sink's monitor) and prints the CLOCK_MONOTONIC time
// of every sound onset it hears: the first sample above THRESHOLD after at least GAP_MS of
// samples below it. Each read is placed on the clock by the server's own latency report, so
// an onset's stamp is the moment the sink played that sample.
//   bench_onsets SOURCE SECONDS [THRESHOLD] [GAP_MS]
// prints "ready <ns>" once recording, then "onset <ns> <peak-frame-amplitude>" lines.
#include <pulse/error.h>
#include <pulse/simple.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::int64_t mono() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_onsets SOURCE SECONDS [THRESHOLD] [GAP_MS]\n");
    return 2;
  }
  const char* source = argv[1];
  const double seconds = std::atof(argv[2]);
  const float threshold = argc > 3 ? static_cast<float>(std::atof(argv[3])) : 0.02f;
  const double gapMs = argc > 4 ? std::atof(argv[4]) : 80.0;
  constexpr int kRate = 44100;
  constexpr std::size_t kChunk = 128;  // frames per read: about 2.9 ms

  pa_sample_spec ss{};
  ss.format = PA_SAMPLE_FLOAT32LE;
  ss.rate = kRate;
  ss.channels = 2;
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(kChunk * 2 * sizeof(float));
  int err = 0;
  pa_simple* pa = pa_simple_new(nullptr, "vuvedid-bench", PA_STREAM_RECORD, source, "onsets", &ss,
                                nullptr, &attr, &err);
  if (!pa) {
    std::fprintf(stderr, "bench_onsets: %s\n", pa_strerror(err));
    return 1;
  }
  std::vector<float> buf(kChunk * 2);
  const auto gapFrames = static_cast<std::int64_t>(gapMs * kRate / 1000.0);
  std::int64_t quiet = gapFrames;  // frames below the threshold so far
  const std::int64_t end = mono() + static_cast<std::int64_t>(seconds * 1e9);
  bool ready = false;
  while (mono() < end) {
    if (pa_simple_read(pa, buf.data(), buf.size() * sizeof(float), &err) < 0) {
      std::fprintf(stderr, "bench_onsets: %s\n", pa_strerror(err));
      return 1;
    }
    const std::int64_t now = mono();
    const pa_usec_t lat = pa_simple_get_latency(pa, &err);
    // The chunk's last frame was played lat ago.
    const std::int64_t lastAt = now - static_cast<std::int64_t>(lat) * 1000;
    if (!ready) {
      std::printf("ready %lld\n", static_cast<long long>(now));
      std::fflush(stdout);
      ready = true;
    }
    for (std::size_t j = 0; j < kChunk; ++j) {
      const float a = std::max(std::fabs(buf[2 * j]), std::fabs(buf[2 * j + 1]));
      if (a > threshold) {
        if (quiet >= gapFrames) {
          const auto back = static_cast<std::int64_t>(kChunk - 1 - j);
          std::printf("onset %lld %.3f\n",
                      static_cast<long long>(lastAt - back * 1000000000LL / kRate), a);
          std::fflush(stdout);
        }
        quiet = 0;
      } else {
        ++quiet;
      }
    }
  }
  pa_simple_free(pa);
  return 0;
}
