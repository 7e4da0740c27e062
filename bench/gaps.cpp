// Counts the dropouts in a recording of continuous sound: raw signed 16-bit little-endian
// stereo at 44.1 kHz (what `parec --format=s16le` writes). Between the first and the last
// sound, every run of at least 1 ms in which both channels stay within +-2 of zero is a
// dropout: the sound server had nothing of ours to play (an underrun). Music of a steady
// sine under looping effects never rests that long by itself.
//   bench_gaps FILE  ->  "seconds S dropouts N longest_ms L"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_gaps FILE\n");
    return 2;
  }
  FILE* f = std::fopen(argv[1], "rb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  constexpr long kMinRun = 44;  // 1 ms
  std::vector<std::int16_t> buf(2 * 65536);
  long long frame = 0, firstSound = -1, lastSound = -1, runStart = -1;
  long long dropouts = 0, longest = 0;
  for (;;) {
    const std::size_t got = std::fread(buf.data(), 4, buf.size() / 2, f);
    if (got == 0) break;
    for (std::size_t i = 0; i < got; ++i, ++frame) {
      const bool quiet = std::abs(buf[2 * i]) <= 2 && std::abs(buf[2 * i + 1]) <= 2;
      if (!quiet) {
        if (firstSound >= 0 && runStart >= 0 && frame - runStart >= kMinRun) {
          ++dropouts;
          if (frame - runStart > longest) longest = frame - runStart;
        }
        if (firstSound < 0) firstSound = frame;
        lastSound = frame;
        runStart = -1;
      } else if (runStart < 0) {
        runStart = frame;
      }
    }
  }
  std::fclose(f);
  const double seconds = firstSound < 0 ? 0 : double(lastSound - firstSound) / 44100.0;
  std::printf("seconds %.1f dropouts %lld longest_ms %.1f\n", seconds, dropouts,
              double(longest) / 44.1);
  return 0;
}
