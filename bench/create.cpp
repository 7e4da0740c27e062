// Times the audio layer's stream creation for each file named on the command line, from a
// cold page cache: before each try the kernel drops its cached pages (as root), or, where
// that is refused, the file's own pages are dropped with posix_fadvise(POSIX_FADV_DONTNEED).
// Prints one line per try: the file, the method, the creation time, the time of the calls the
// music player makes right after it (play, volume, length, seconds, activity), the length
// in seconds they saw, and when (from the creation's start) the exact length was known and
// what it was.
//   bench_create [--tries N] file...
#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/SdlAudioLibrary.h"

namespace {

double msSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// "drop_caches" or "fadvise": how the file's pages left the cache.
const char* evict(const char* path) {
  ::sync();
  if (FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w")) {
    const bool ok = std::fputs("3\n", f) >= 0;
    if (std::fclose(f) == 0 && ok) return "drop_caches";
  }
  const int fd = ::open(path, O_RDONLY);
  if (fd >= 0) {
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
  return "fadvise";
}

}  // namespace

int main(int argc, char** argv) {
  int tries = 3;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tries") == 0 && i + 1 < argc)
      tries = std::atoi(argv[++i]);
    else
      files.push_back(argv[i]);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  vuvedid::SdlAudioLibrary audio;
  if (!audio.Init(-1, 44100)) {
    std::fprintf(stderr, "no audio output\n");
    return 1;
  }
  std::printf("file\teviction\tcreate_ms\tfollow_ms\tseconds\tfinal_ms\tfinal_seconds\n");
  for (const char* file : files) {
    for (int t = 0; t < tries; ++t) {
      const char* how = evict(file);
      const auto t0 = std::chrono::steady_clock::now();
      const vuvedid::HSTREAM h = audio.StreamCreateFile(QString::fromLocal8Bit(file));
      const double create = msSince(t0);
      const auto t1 = std::chrono::steady_clock::now();
      audio.ChannelPlay(h, false);
      audio.ChannelSetVolume(h, 0.6f);
      audio.ChannelLengthFinal(h);
      const double secs = audio.ChannelBytes2Seconds(h, audio.ChannelGetLength(h));
      audio.ChannelIsActive(h);
      const double follow = msSince(t1);
      while (!audio.ChannelLengthFinal(h) && msSince(t0) < 60000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      const double final = msSince(t0);
      const double finalSecs = audio.ChannelBytes2Seconds(h, audio.ChannelGetLength(h));
      std::printf("%s\t%s\t%.1f\t%.2f\t%.1f\t%.0f\t%.1f\n", file, how, create, follow, secs, final,
                  finalSecs);
      std::fflush(stdout);
      audio.StreamFree(h);
    }
  }
  audio.Free();
  return 0;
}
