#include "audio/SdlAudioLibrary.h"

#include <SDL.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/Trace.h"
#include "audio/AudioDecoder.h"
#include "audio/FrameRing.h"

namespace vuvedid {

namespace {

// Decoded frames kept ahead of each stream: long enough to ride out a busy disk or a slow
// decoder, short enough that a long file never sits in memory whole.
constexpr std::size_t kRingFrames = 32768;  // about 0.74 s at 44.1 kHz
// Decoded before a stream is handed out, so the first callback after play has sound.
constexpr std::size_t kPrefillFrames = 8192;
// The decoding thread tops a ring up once this much room is free, and decodes at most
// kVisitFrames per visit so one stream cannot hold up the others.
constexpr std::size_t kRefillFrames = 4096;
constexpr std::size_t kVisitFrames = 16384;
constexpr std::size_t kTmpFrames = 4096;
constexpr std::size_t kFrameBytes = 2 * sizeof(float);
constexpr std::size_t kMaxPadFrames = 4 * kTmpFrames;
constexpr auto kIdleWait = std::chrono::milliseconds(10);
// A cut waveform clicks on speakers: stops, pauses, frees and volume jumps fade over this
// long instead, and a start or resume fades in the same way.
constexpr double kRampSeconds = 0.005;
// Music giving way to an effect or speech: down quickly enough that the first word is
// clear, back up slowly enough that the return is not heard as a jump.
constexpr double kDuckDownSeconds = 0.150;
constexpr double kDuckUpSeconds = 0.400;
// Fading ends of cut streams the mixer can play at once; more cuts within 5 ms are cut hard.
constexpr std::size_t kTails = 16;

// From `from` toward `to` by `step` per frame, after `frames` frames.
inline float approach(float from, float to, float step, std::size_t frames) noexcept {
  const float moved = step * static_cast<float>(frames);
  return from > to ? std::max(to, from - moved) : std::min(to, from + moved);
}

using trace::nowNs;

bool validBufferFrames(long n) noexcept { return n >= 64 && n <= 16384; }

// 0 when the variable is unset or no valid frame count.
int bufferFramesFromEnv() noexcept {
  const char* v = std::getenv("VUVEDID_AUDIO_BUFFER");
  if (!v || !*v) return 0;
  char* end = nullptr;
  const long n = std::strtol(v, &end, 10);
  if (*end != '\0' || !validBufferFrames(n)) return 0;
  return static_cast<int>(n);
}

// SDL's pulseaudio driver asks the server to keep exactly one device buffer queued, so a
// small buffer leaves no margin: every mixer wake-up that comes a little late is heard as a
// dropout. The server is asked to keep at least this much queued instead; a small buffer then
// sets how often the mixer runs, not how close to empty the server plays. (PipeWire's pulse
// server honours the same request.)
constexpr int kMinServerLatencyMs = 20;

// libpulse takes a stream's latency request from PULSE_LATENCY_MSEC, read when SDL connects
// its stream. A value somebody else set is theirs and stays; ours follows the buffer. Only
// the GUI thread opens the output.
void requestServerLatency(int bufferFrames, int freq) noexcept {
  static char ours[16] = "";
  const char* now = std::getenv("PULSE_LATENCY_MSEC");
  if (now && std::strcmp(now, ours) != 0) return;
  const double bufferMs = 1000.0 * bufferFrames / std::max(freq, 1);
  const int ms = std::max(kMinServerLatencyMs, static_cast<int>(std::ceil(bufferMs)));
  std::snprintf(ours, sizeof ours, "%d", ms);
  ::setenv("PULSE_LATENCY_MSEC", ours, 1);
}

bool traceFromEnv() noexcept {
  const char* v = std::getenv("VUVEDID_AUDIO_TRACE");
  return v && std::strcmp(v, "1") == 0;
}

class DeviceLock {
 public:
  explicit DeviceLock(SDL_AudioDeviceID dev) noexcept : dev_(dev) { SDL_LockAudioDevice(dev_); }
  ~DeviceLock() { SDL_UnlockAudioDevice(dev_); }
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;

 private:
  SDL_AudioDeviceID dev_;
};

// A copy that shares no data with `s`. A stream may be destroyed on the decoding thread;
// its strings then share no reference count with strings the GUI thread holds (Qt's counts
// are atomic, but a count dropped inside Qt's own code is invisible to the thread
// sanitizer, which then reports the release as a race).
QString unshared(const QString& s) { return QString(s.constData(), s.size()); }

struct Stream {
  enum class State { Fresh, Playing, Paused, Stopped };

  Stream(const QString& p, std::unique_ptr<AudioDecoder> d)
      : path(unshared(p)),
        dec(std::move(d)),
        frames(dec->frames()),
        lengthFinal(dec->lengthExact()) {}
  ~Stream() {
    if (cvt) SDL_FreeAudioStream(cvt);
  }

  // Producer side (the decoding thread, or the GUI thread before the stream is shared or
  // while it holds produceMutex with the mixer kept off the ring). Returns frames added.
  std::size_t produce(std::size_t budget) noexcept {
    std::size_t wrote = 0;
    while (wrote < budget && !sourceDone.load(std::memory_order_relaxed)) {
      const std::size_t space = ring.space();
      if (space == 0) break;
      if (cvt) {
        if (decoderDone && outFrames >= targetFrames) {
          sourceDone.store(true, std::memory_order_release);
          break;
        }
        const int avail = SDL_AudioStreamAvailable(cvt);
        if (avail >= static_cast<int>(kFrameBytes)) {
          std::size_t n =
              std::min({static_cast<std::size_t>(avail) / kFrameBytes, space, kTmpFrames});
          if (decoderDone) n = std::min<std::size_t>(n, targetFrames - outFrames);
          const int got = SDL_AudioStreamGet(cvt, tmp.get(), static_cast<int>(n * kFrameBytes));
          if (got <= 0) {
            sourceDone.store(true, std::memory_order_release);
            break;
          }
          outFrames += static_cast<std::size_t>(got) / kFrameBytes;
          wrote += ring.write(tmp.get(), static_cast<std::size_t>(got) / kFrameBytes);
          continue;
        }
        if (decoderDone) {
          // SDL's resampler keeps its last few hundred frames back even when flushed:
          // push silence after the end until the exact converted length has come out.
          if (padFrames >= kMaxPadFrames) {
            sourceDone.store(true, std::memory_order_release);
            break;
          }
          std::memset(tmp.get(), 0, kTmpFrames * kFrameBytes);
          SDL_AudioStreamPut(cvt, tmp.get(), static_cast<int>(kTmpFrames * kFrameBytes));
          padFrames += kTmpFrames;
          continue;
        }
        const std::size_t got = dec->readStereo(tmp.get(), kTmpFrames);
        if (got == 0 ||
            SDL_AudioStreamPut(cvt, tmp.get(), static_cast<int>(got * kFrameBytes)) != 0) {
          decoderDone = true;
          const auto rate = static_cast<std::uint64_t>(dec->rate());
          targetFrames = static_cast<std::size_t>((inFrames * outRate + rate / 2) / rate);
          continue;
        }
        inFrames += got;
      } else {
        const std::size_t got = dec->readStereo(tmp.get(), std::min(space, kTmpFrames));
        if (got == 0) {
          sourceDone.store(true, std::memory_order_release);
          break;
        }
        wrote += ring.write(tmp.get(), got);
      }
    }
    return wrote;
  }

  // Back to the first frame; produceMutex held and the mixer off this ring.
  bool restartDecoding() noexcept {
    ring.reset();
    decoderDone = false;
    inFrames = outFrames = targetFrames = padFrames = 0;
    sourceDone.store(false, std::memory_order_release);
    if (cvt) SDL_AudioStreamClear(cvt);
    return dec->rewind();
  }

  HSTREAM id = 0;
  const QString path;
  std::unique_ptr<AudioDecoder> dec;
  SDL_AudioStream* cvt = nullptr;  // null when the file already has the output rate
  std::unique_ptr<float[]> tmp;
  FrameRing ring{kRingFrames};
  std::mutex produceMutex;
  // Producer only: the resampler's bookkeeping for an exact converted length.
  bool decoderDone = false;
  std::uint64_t outRate = 44100;
  std::uint64_t inFrames = 0;
  std::size_t outFrames = 0;
  std::size_t targetFrames = 0;
  std::size_t padFrames = 0;
  std::atomic<bool> sourceDone{false};  // every frame of the file is in the ring
  std::atomic<bool> freed{false};

  // The mixer's view: `mixing` is written by the GUI thread under the device lock and read
  // by the callback (which runs under it); the flags below are set by the callback.
  bool mixing = false;
  bool ducked = false;       // gives way to the other streams and to speech
  float gain = 0.0f;         // callback: the gain of the last frame mixed
  float rampTarget = -1.0f;  // callback: the volume the ramp heads for (-1: start a new one)
  float rampStep = 0.0f;     // callback: gain change per frame
  std::atomic<float> volume{1.0f};
  std::atomic<bool> ended{false};
  std::atomic<bool> stalled{false};
  std::atomic<std::int64_t> playNs{0};
  std::atomic<std::int64_t> firstSoundNs{0};
  // Its end is to be reported (set by a play while a receiver is set, cleared by any cut
  // and by the report); when its last frame leaves the output (set by the callback).
  std::atomic<bool> endWatch{false};
  std::atomic<std::int64_t> endNs{0};

  // The length in frames at the file's rate: the decoder's estimate until the length scan
  // (the scanning thread) stores the exact one and sets lengthFinal.
  std::atomic<std::int64_t> frames;
  std::atomic<bool> lengthFinal;
  bool scanQueued = false;  // GUI thread only

  State state = State::Fresh;  // GUI thread only
};

}  // namespace

// The decoding thread's nice value (the process's own is 0).
constexpr int kWorkerNice = 10;

// How often the players' calls look for a lost output.
constexpr std::int64_t kDeviceCheckNs = 500'000'000;

struct SdlAudioLibrary::Impl {
  SDL_AudioDeviceID dev = 0;  // 0 while a lost output could not be opened again
  bool open = false;          // from a successful Init to Free
  int freq = 44100;
  int bufferFrames = 0;
  bool trace = false;
  bool outputStopped = false;
  QString deviceName;     // as asked for ("" = the default output)
  QByteArray openedName;  // what SDL opened (empty = the default output)
  bool usedDefault = false;
  int reopens = 0;
  std::int64_t lastCheckNs = 0;
  std::function<void(const QString&)> notice;

  int bufferSetting = 0;  // frames asked for by the settings; 0: the environment or default
  std::size_t rampFrames = 220;
  // The fading ends of streams cut by stop, pause, free or restart: their next frames,
  // taken out of the ring at the cut so the stream itself can be reset or released at once.
  // Filled by the GUI thread and played by the callback, both under the device lock.
  struct Tail {
    std::unique_ptr<float[]> frames;
    std::size_t length = 0;
    std::size_t played = 0;
    float gain = 0.0f;  // at the cut; falls to 0 over the tail
    bool ducked = false;
  };
  std::vector<Tail> tails;
  // Ducking: the level the music drops to (percent; below 0 off), whether speech sounds
  // now (set from the speech library's thread), and the callback's current music gain.
  std::atomic<int> duckPercent{-1};
  std::atomic<bool> speechSounding{false};
  float duckGain = 1.0f;
  std::atomic<bool> mixerRealtime{false};
  std::atomic<bool> mixerPriorityTried{false};

  std::unordered_map<HSTREAM, std::shared_ptr<Stream>> streams;  // GUI thread only
  std::vector<Stream*> mix;                                      // under the device lock
  HSTREAM nextId = 1;

  std::thread worker;
  std::mutex workMutex;
  std::condition_variable workCv;
  bool quit = false;                          // under workMutex
  bool wake = false;                          // under workMutex
  std::vector<std::shared_ptr<Stream>> work;  // under workMutex
  EndHandler endHandler;                      // under workMutex
  bool endHandlerSet = false;                 // GUI thread only

  // Exact lengths are measured on a thread of their own: a scan reads the whole file (a
  // second or more for a long one on a slow disk), which neither the GUI thread nor the
  // decoding thread, whose rings must stay full, can spend.
  std::thread scanner;
  std::mutex scanMutex;
  std::condition_variable scanCv;
  bool scanQuit = false;                       // under scanMutex
  std::vector<std::shared_ptr<Stream>> scans;  // under scanMutex, oldest first
  std::atomic<bool> scanStop{false};           // Free: end the running scan early

  Stream* find(HSTREAM h) const noexcept {
    if (h == 0) return nullptr;
    const auto it = streams.find(h);
    return it == streams.end() ? nullptr : it->second.get();
  }

  HSTREAM allocateId() noexcept {
    // Ids only grow (skipping 0 on wrap-around), so a freed handle stays dead for a
    // long time instead of naming somebody else's new stream.
    for (;;) {
      const HSTREAM id = nextId++;
      if (nextId == 0) nextId = 1;
      if (id != 0 && streams.find(id) == streams.end()) return id;
    }
  }

  void notifyWorker() noexcept {
    {
      std::lock_guard<std::mutex> lk(workMutex);
      wake = true;
    }
    workCv.notify_one();
  }

  void workerLoop() noexcept {
    std::vector<std::shared_ptr<Stream>> local;
    EndHandler handler;
    std::vector<std::pair<HSTREAM, std::int64_t>> ends;
    // Decoding runs ahead by most of a second: it is the one job here that can wait, so it
    // yields the cores to the mixer and the GUI thread, whose delays are heard.
    setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerNice);
    std::unique_lock<std::mutex> lk(workMutex);
    while (!quit) {
      try {
        local = work;
        handler = endHandler;
      } catch (...) {
        local.clear();
        handler = nullptr;
      }
      wake = false;
      lk.unlock();
      bool busy = false;
      bool watching = false;  // a watched stream still sounds
      bool pending = false;   // a stream still has frames to decode
      for (const auto& s : local) {
        if (s->freed.load(std::memory_order_relaxed) ||
            s->sourceDone.load(std::memory_order_acquire))
          continue;
        pending = true;
        if (s->ring.space() < kRefillFrames) continue;
        std::lock_guard<std::mutex> pl(s->produceMutex);
        if (s->produce(kVisitFrames) > 0) busy = true;
      }
      if (handler) {
        for (const auto& s : local) {
          if (s->freed.load(std::memory_order_relaxed) ||
              !s->endWatch.load(std::memory_order_relaxed))
            continue;
          if (!s->ended.load(std::memory_order_acquire)) {
            watching = true;
          } else if (s->endWatch.exchange(false, std::memory_order_relaxed)) {
            try {
              ends.emplace_back(s->id, s->endNs.load(std::memory_order_relaxed));
            } catch (...) {
            }
          }
        }
      }
      local.clear();  // a freed stream is destroyed here, outside every lock
      for (const auto& [id, at] : ends) handler(id, at);
      ends.clear();
      lk.lock();
      // Nothing left to decode: sleep until a stream is created or played (both wake this
      // thread) instead of polling, so an idle program costs no wake-ups here. A stream
      // whose end is awaited is looked at every kIdleWait.
      if (!busy && !quit && !wake) {
        if (pending || watching)
          workCv.wait_for(lk, kIdleWait);
        else
          workCv.wait(lk);
      }
    }
  }

  // Streams are only measured once somebody asks for their length (the music's countdown);
  // effects are never asked, so they cost no scan.
  void requestScan(Stream& s) noexcept {
    if (s.scanQueued || s.lengthFinal.load(std::memory_order_acquire)) return;
    const auto it = streams.find(s.id);
    if (it == streams.end()) return;
    try {
      {
        std::lock_guard<std::mutex> lk(scanMutex);
        scans.push_back(it->second);
      }
      s.scanQueued = true;
      scanCv.notify_one();
    } catch (...) {
    }
  }

  void scanLoop() noexcept {
    setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerNice);
    std::unique_lock<std::mutex> lk(scanMutex);
    for (;;) {
      scanCv.wait(lk, [this] { return scanQuit || !scans.empty(); });
      if (scanQuit) return;
      std::shared_ptr<Stream> s = std::move(scans.front());
      scans.erase(scans.begin());
      lk.unlock();
      if (!s->freed.load(std::memory_order_relaxed)) {
        const Stream* raw = s.get();
        const std::int64_t exact = AudioDecoder::exactFrames(s->path, [this, raw] {
          return raw->freed.load(std::memory_order_relaxed) ||
                 scanStop.load(std::memory_order_relaxed);
        });
        // A file that cannot be measured after all keeps its estimate: nothing better is
        // coming, and the countdown must not wait for ever.
        if (exact > 0) s->frames.store(exact, std::memory_order_relaxed);
        s->lengthFinal.store(true, std::memory_order_release);
      }
      s.reset();  // a freed stream is destroyed here, outside the lock
      lk.lock();
    }
  }

  void stopScanner() noexcept {
    if (!scanner.joinable()) return;
    scanStop.store(true, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lk(scanMutex);
      scanQuit = true;
    }
    scanCv.notify_one();
    scanner.join();
    scans.clear();
  }

  // Once per opened device, on the thread that mixes: a real-time policy keeps a busy
  // machine from making the mixer late. Where the system does not allow it, the thread stays
  // as it was and nothing is reported. Not through rtkit: it grants real time only under a
  // CPU-time limit (RLIMIT_RTTIME), and a driver thread that spins while its sound server
  // restarts would then end the whole program with SIGXCPU. For the same reason a process
  // that already runs under such a limit keeps its normal policy.
  void raiseMixerPriority() noexcept {
    if (mixerPriorityTried.exchange(true, std::memory_order_relaxed)) return;
    rlimit rt{};
    if (getrlimit(RLIMIT_RTTIME, &rt) != 0 || rt.rlim_cur != RLIM_INFINITY) return;
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) == 0 &&
        (policy == SCHED_FIFO || policy == SCHED_RR)) {
      mixerRealtime.store(true, std::memory_order_relaxed);
      return;
    }
    param.sched_priority = std::max(1, sched_get_priority_min(SCHED_FIFO));
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
      mixerRealtime.store(true, std::memory_order_relaxed);
  }

  // Takes the next frames of a sounding stream into a fading tail and leaves the stream
  // silent: what the layer reports changes at once, only the sound fades. Device lock held.
  void cut(Stream& s) noexcept {
    s.endWatch.store(false, std::memory_order_relaxed);
    if (s.mixing && !s.ended.load(std::memory_order_relaxed) && s.gain > 0.0f) {
      for (Tail& t : tails) {
        if (t.played < t.length) continue;
        std::size_t n = 0;
        s.ring.consume(rampFrames, [&](const float* p, std::size_t k, std::size_t at) noexcept {
          std::memcpy(t.frames.get() + at * 2, p, k * kFrameBytes);
          n = at + k;
        });
        t.length = n;
        t.played = 0;
        t.gain = s.gain;
        t.ducked = s.ducked;
        break;
      }
    }
    s.mixing = false;
    s.gain = 0.0f;
    s.rampTarget = -1.0f;
  }

  // Device lock held: the stream starts sounding at the next callback, fading in.
  static void unmute(Stream& s) noexcept {
    s.mixing = true;
    s.gain = 0.0f;
    s.rampTarget = -1.0f;
  }

  static void SDLCALL mixCallback(void* userdata, Uint8* bytes, int len) noexcept {
    auto& im = *static_cast<Impl*>(userdata);
    im.raiseMixerPriority();
    float* out = reinterpret_cast<float*>(bytes);
    const std::size_t frames = static_cast<std::size_t>(len) / (2 * sizeof(float));
    std::memset(bytes, 0, static_cast<std::size_t>(len));
    const std::int64_t t0 = im.trace ? nowNs() : 0;

    // The music's ducking gain for this buffer: down while anything else sounds.
    const int duck = im.duckPercent.load(std::memory_order_relaxed);
    float duckFrom = 1.0f, duckTo = 1.0f, duckStep = 0.0f;
    if (duck >= 0 || im.duckGain != 1.0f) {
      const float level = duck >= 0 ? static_cast<float>(duck) / 100.0f : 1.0f;
      bool cue = duck >= 0 && im.speechSounding.load(std::memory_order_relaxed);
      for (const Stream* s : im.mix)
        if (!cue && !s->ducked && s->mixing && !s->ended.load(std::memory_order_relaxed))
          cue = true;
      for (const Tail& t : im.tails)
        if (!cue && !t.ducked && t.played < t.length) cue = true;
      duckFrom = im.duckGain;
      duckTo = cue ? level : 1.0f;
      const float depth = std::max(std::fabs(1.0f - level), 1e-3f);
      const double secs = duckTo < duckFrom ? kDuckDownSeconds : kDuckUpSeconds;
      duckStep = depth / static_cast<float>(secs * im.freq);
      im.duckGain = approach(duckFrom, duckTo, duckStep, frames);
    }
    auto duckAt = [&](std::size_t i) noexcept {
      return duckStep == 0.0f ? duckFrom : approach(duckFrom, duckTo, duckStep, i + 1);
    };

    for (Stream* s : im.mix) {
      if (!s->mixing || s->ended.load(std::memory_order_relaxed)) continue;
      const float target = s->volume.load(std::memory_order_relaxed);
      if (target != s->rampTarget) {
        s->rampTarget = target;
        s->rampStep = std::fabs(target - s->gain) / static_cast<float>(im.rampFrames);
      }
      const float g0 = s->gain;
      const float step = s->rampStep;
      const bool steady = g0 == target;
      const bool ducked = s->ducked;
      bool watch = im.trace && s->firstSoundNs.load(std::memory_order_relaxed) == 0;
      const std::size_t got =
          s->ring.consume(frames, [&](const float* p, std::size_t n, std::size_t at) noexcept {
            float* o = out + at * 2;
            for (std::size_t j = 0; j < n; ++j) {
              float g = steady ? g0 : approach(g0, target, step, at + j + 1);
              if (ducked) g *= duckAt(at + j);
              const float l = g * p[2 * j];
              const float r = g * p[2 * j + 1];
              o[2 * j] += l;
              o[2 * j + 1] += r;
              if (watch && (l != 0.0f || r != 0.0f)) {
                const auto frame = static_cast<std::int64_t>(at + j);
                const std::int64_t at_ns = t0 + frame * 1000000000 / im.freq;
                s->firstSoundNs.store(at_ns, std::memory_order_relaxed);
                if (trace::on()) trace::mark("sound", at_ns, static_cast<long long>(s->id));
                watch = false;
              }
            }
          });
      if (got > 0) s->gain = approach(g0, target, step, got);
      if (got < frames) {
        if (s->sourceDone.load(std::memory_order_acquire) && s->ring.available() == 0) {
          // Its last frame is in this buffer and leaves the output after the buffer
          // queued ahead of it.
          if (s->endWatch.load(std::memory_order_relaxed))
            s->endNs.store(nowNs() + static_cast<std::int64_t>(got + frames) * 1000000000 / im.freq,
                           std::memory_order_relaxed);
          s->ended.store(true, std::memory_order_release);
        } else
          s->stalled.store(true, std::memory_order_relaxed);
      } else if (s->stalled.load(std::memory_order_relaxed)) {
        s->stalled.store(false, std::memory_order_relaxed);
      }
    }
    for (Tail& t : im.tails) {
      if (t.played >= t.length) continue;
      const std::size_t n = std::min(frames, t.length - t.played);
      const float* p = t.frames.get() + t.played * 2;
      const float len = static_cast<float>(t.length);
      for (std::size_t j = 0; j < n; ++j) {
        float g = t.gain * (1.0f - static_cast<float>(t.played + j + 1) / len);
        if (t.ducked) g *= duckAt(j);
        out[2 * j] += g * p[2 * j];
        out[2 * j + 1] += g * p[2 * j + 1];
      }
      t.played += n;
    }
    for (std::size_t i = 0; i < frames * 2; ++i) {
      const float v = out[i];
      out[i] = v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : (v == v ? v : 0.0f));
    }
  }

  void tell(const QString& line) noexcept {
    if (!notice) return;
    try {
      notice(line);
    } catch (...) {
    }
  }

  // The settings' value, else the environment's, else the default.
  int wantedBufferFrames() const noexcept {
    if (bufferSetting != 0) return bufferSetting;
    const int env = bufferFramesFromEnv();
    return env != 0 ? env : kDefaultBufferFrames;
  }

  SDL_AudioSpec wantedSpec() noexcept {
    SDL_AudioSpec want{};
    want.freq = freq;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(wantedBufferFrames());
    want.callback = &Impl::mixCallback;
    want.userdata = this;
    return want;
  }

  // True when SDL currently lists an output of exactly this name.
  static bool outputListed(const QByteArray& name) noexcept {
    const int n = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < n; ++i) {
      const char* have = SDL_GetAudioDeviceName(i, 0);
      if (have && name == have) return true;
    }
    return false;
  }

  // Called from the players' per-tick calls: cheap unless the output has been lost.
  void checkOutput() noexcept {
    if (!open) return;
    const std::int64_t now = nowNs();
    if (now - lastCheckNs < kDeviceCheckNs) return;
    lastCheckNs = now;
    if (dev != 0 && SDL_GetAudioDeviceStatus(dev) != SDL_AUDIO_STOPPED) return;
    reopen();
  }

  // The sound server behind a lost device is usually a new process: SDL's driver keeps
  // its connection to the old one, so the audio subsystem starts over before the open.
  void reopen() noexcept {
    if (dev != 0) {
      SDL_CloseAudioDevice(dev);  // the callback has run for the last time
      dev = 0;
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;  // tried again at the next check
    } else if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      return;
    }
    const char* name = nullptr;
    if (!openedName.isEmpty() && outputListed(openedName)) name = openedName.constData();
    SDL_AudioSpec want = wantedSpec();
    SDL_AudioSpec have{};
    SDL_AudioDeviceID d = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (d == 0) {
      // Not back yet: start over at the next check, so the driver reconnects once more.
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return;
    }
    dev = d;
    bufferFrames = have.samples;
    mixerPriorityTried.store(false, std::memory_order_relaxed);
    ++reopens;
    if (!outputStopped) SDL_PauseAudioDevice(dev, 0);
    tell(QStringLiteral("Audio output lost, opened again"));
  }

  void stopWorker() noexcept {
    if (!worker.joinable()) return;
    {
      std::lock_guard<std::mutex> lk(workMutex);
      quit = true;
    }
    workCv.notify_one();
    worker.join();
  }
};

SdlAudioLibrary::SdlAudioLibrary() : impl_(std::make_unique<Impl>()) {}

SdlAudioLibrary::~SdlAudioLibrary() { Free(); }

std::uint32_t SdlAudioLibrary::GetVersion() noexcept { return kAudioInterfaceVersion; }

bool SdlAudioLibrary::Init(int device, int freq) noexcept {
  Impl& im = *impl_;
  if (im.open) return true;  // already open: the output is ready
  if (freq <= 0 || freq > 384000 || (device != -1 && device < 1)) return false;
  // SDL's audio brings up its event system, which by default takes SIGINT and SIGTERM and
  // turns them into an event nobody here reads: the program would no longer stop when
  // told to. The signals stay the process's own.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  QByteArray name;  // empty: the default output
  im.usedDefault = false;
  if (device >= 1) {
    const char* n = SDL_GetAudioDeviceName(device - 1, 0);
    if (!n) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    name = n;
  } else if (!im.deviceName.isEmpty()) {
    name = im.deviceName.toUtf8();
    if (!Impl::outputListed(name)) {
      im.tell(QStringLiteral("Audio device \"%1\" not found, using the default output")
                  .arg(im.deviceName));
      name.clear();
      im.usedDefault = true;
    }
  }
  im.freq = freq;
  im.trace = traceFromEnv();
  im.outputStopped = false;
  SDL_AudioSpec want = im.wantedSpec();
  SDL_AudioSpec have{};
  requestServerLatency(want.samples, freq);
  // No allowed changes: SDL converts for the hardware, the mixer always sees this format.
  SDL_AudioDeviceID dev =
      SDL_OpenAudioDevice(name.isEmpty() ? nullptr : name.constData(), 0, &want, &have, 0);
  if (dev == 0 && !name.isEmpty() && device == -1) {
    // Listed but busy or broken: the room still gets sound from the default output.
    im.tell(QStringLiteral("Audio device \"%1\" could not be opened, using the default output")
                .arg(im.deviceName));
    name.clear();
    im.usedDefault = true;
    dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  }
  if (dev == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  try {
    im.rampFrames = std::max<std::size_t>(
        1, static_cast<std::size_t>(std::lround(kRampSeconds * static_cast<double>(freq))));
    im.tails.resize(kTails);
    for (Impl::Tail& t : im.tails) {
      t.frames = std::make_unique<float[]>(im.rampFrames * 2);
      t.length = t.played = 0;
    }
    im.duckGain = 1.0f;
    im.mixerRealtime.store(false, std::memory_order_relaxed);
    im.mixerPriorityTried.store(false, std::memory_order_relaxed);
    im.mix.reserve(64);
    im.quit = false;
    im.scanQuit = false;
    im.scanStop.store(false, std::memory_order_relaxed);
    im.worker = std::thread([&im] { im.workerLoop(); });
    im.scanner = std::thread([&im] { im.scanLoop(); });
  } catch (...) {
    SDL_CloseAudioDevice(dev);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  im.dev = dev;
  im.open = true;
  im.openedName = name;
  im.reopens = 0;
  im.lastCheckNs = nowNs();
  im.bufferFrames = have.samples;
  SDL_PauseAudioDevice(dev, 0);
  return true;
}

HSTREAM SdlAudioLibrary::StreamCreateFile(const QString& path) noexcept {
  Impl& im = *impl_;
  if (!im.open) return 0;
  im.checkOutput();
  if (im.trace && trace::on()) trace::mark("create", trace::nowNs());
  try {
    auto dec = AudioDecoder::open(path);
    if (!dec) return 0;
    const int rate = dec->rate();
    auto s = std::make_shared<Stream>(path, std::move(dec));
    s->tmp = std::make_unique<float[]>(kTmpFrames * 2);
    s->outRate = static_cast<std::uint64_t>(im.freq);
    if (rate != im.freq) {
      s->cvt = SDL_NewAudioStream(AUDIO_F32SYS, 2, rate, AUDIO_F32SYS, 2, im.freq);
      if (!s->cvt) return 0;
    }
    // Not shared with anybody yet: decode the first block here, which also proves that
    // the file yields sound.
    s->produce(kPrefillFrames);
    if (s->ring.available() == 0) return 0;
    s->id = im.allocateId();
    im.streams.emplace(s->id, s);
    {
      DeviceLock dl(im.dev);
      im.mix.push_back(s.get());
    }
    {
      std::lock_guard<std::mutex> lk(im.workMutex);
      im.work.push_back(s);
      im.wake = true;
    }
    im.workCv.notify_one();
    if (im.trace && trace::on())
      trace::mark("created", trace::nowNs(), static_cast<long long>(s->id));
    return s->id;
  } catch (...) {
    return 0;
  }
}

bool SdlAudioLibrary::ChannelPlay(HSTREAM h, bool restart) noexcept {
  Impl& im = *impl_;
  Stream* s = im.find(h);
  if (!s) return false;
  try {
    const bool rewind = restart || s->ended.load(std::memory_order_relaxed);
    if (s->state != Stream::State::Playing || rewind) {
      if (rewind) {
        std::lock_guard<std::mutex> pl(s->produceMutex);
        {
          DeviceLock dl(im.dev);
          im.cut(*s);
        }
        s->ended.store(false, std::memory_order_relaxed);
        s->stalled.store(false, std::memory_order_relaxed);
        if (!s->restartDecoding()) {
          s->state = Stream::State::Stopped;
          return false;
        }
        s->produce(kPrefillFrames);
      }
      s->firstSoundNs.store(0, std::memory_order_relaxed);
      s->playNs.store(im.trace ? nowNs() : 0, std::memory_order_relaxed);
      if (im.trace && trace::on())
        trace::mark("play", s->playNs.load(std::memory_order_relaxed), static_cast<long long>(h));
      {
        DeviceLock dl(im.dev);
        Impl::unmute(*s);
      }
      s->state = Stream::State::Playing;
      s->endWatch.store(im.endHandlerSet, std::memory_order_relaxed);
      im.notifyWorker();
    }
    if (im.outputStopped) {
      SDL_PauseAudioDevice(im.dev, 0);
      im.outputStopped = false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool SdlAudioLibrary::ChannelPause(HSTREAM h) noexcept {
  Impl& im = *impl_;
  Stream* s = im.find(h);
  if (!s || s->state != Stream::State::Playing || s->ended.load(std::memory_order_relaxed))
    return false;
  DeviceLock dl(im.dev);
  im.cut(*s);
  s->state = Stream::State::Paused;
  return true;
}

bool SdlAudioLibrary::ChannelStop(HSTREAM h) noexcept {
  Impl& im = *impl_;
  Stream* s = im.find(h);
  if (!s) return false;
  DeviceLock dl(im.dev);
  im.cut(*s);
  s->state = Stream::State::Stopped;
  return true;
}

bool SdlAudioLibrary::StreamFree(HSTREAM h) noexcept {
  Impl& im = *impl_;
  const auto it = h == 0 ? im.streams.end() : im.streams.find(h);
  if (it == im.streams.end()) return false;
  std::shared_ptr<Stream> s = std::move(it->second);
  im.streams.erase(it);
  {
    DeviceLock dl(im.dev);
    im.cut(*s);
    im.mix.erase(std::remove(im.mix.begin(), im.mix.end(), s.get()), im.mix.end());
  }
  s->freed.store(true, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lk(im.workMutex);
    im.work.erase(std::remove(im.work.begin(), im.work.end(), s), im.work.end());
  }
  return true;  // the last reference (here or on the decoding thread) releases the file
}

bool SdlAudioLibrary::ChannelSetVolume(HSTREAM h, float volume) noexcept {
  Stream* s = impl_->find(h);
  if (!s || !std::isfinite(volume)) return false;
  s->volume.store(std::max(volume, 0.0f), std::memory_order_relaxed);
  return true;
}

std::uint64_t SdlAudioLibrary::ChannelGetLength(HSTREAM h) noexcept {
  Stream* s = impl_->find(h);
  if (!s) return ~std::uint64_t{0};
  impl_->requestScan(*s);
  return static_cast<std::uint64_t>(s->frames.load(std::memory_order_relaxed)) *
         static_cast<std::uint64_t>(s->dec->channels()) * 2u;
}

bool SdlAudioLibrary::ChannelLengthFinal(HSTREAM h) noexcept {
  Stream* s = impl_->find(h);
  if (!s) return true;
  impl_->requestScan(*s);
  return s->lengthFinal.load(std::memory_order_acquire);
}

double SdlAudioLibrary::ChannelBytes2Seconds(HSTREAM h, std::uint64_t bytes) noexcept {
  const Stream* s = impl_->find(h);
  if (!s) return -1;
  return static_cast<double>(bytes) /
         (static_cast<double>(s->dec->rate()) * s->dec->channels() * 2.0);
}

int SdlAudioLibrary::ChannelIsActive(HSTREAM h) noexcept {
  impl_->checkOutput();
  const Stream* s = impl_->find(h);
  if (!s) return ACTIVE_STOPPED;
  switch (s->state) {
    case Stream::State::Paused:
      return ACTIVE_PAUSED;
    case Stream::State::Playing:
      if (s->ended.load(std::memory_order_relaxed)) return ACTIVE_STOPPED;
      return s->stalled.load(std::memory_order_relaxed) ? ACTIVE_STALLED : ACTIVE_PLAYING;
    default:
      return ACTIVE_STOPPED;
  }
}

QString SdlAudioLibrary::ChannelGetFileName(HSTREAM h) noexcept {
  const Stream* s = impl_->find(h);
  return s ? unshared(s->path) : QString();
}

bool SdlAudioLibrary::Stop() noexcept {
  Impl& im = *impl_;
  if (!im.open) return false;
  SDL_PauseAudioDevice(im.dev, 1);
  im.outputStopped = true;
  DeviceLock dl(im.dev);
  for (auto& [id, s] : im.streams) {
    s->mixing = false;
    s->gain = 0.0f;
    if (s->state == Stream::State::Playing) s->state = Stream::State::Stopped;
  }
  for (Impl::Tail& t : im.tails) t.played = t.length;
  return true;
}

bool SdlAudioLibrary::Free() noexcept {
  Impl& im = *impl_;
  if (!im.open) return false;
  if (im.dev != 0) SDL_CloseAudioDevice(im.dev);  // the callback has run for the last time
  im.dev = 0;
  im.open = false;
  im.notice = nullptr;
  im.stopWorker();
  im.stopScanner();
  im.mix.clear();
  im.tails.clear();
  im.work.clear();
  im.streams.clear();
  im.bufferFrames = 0;
  if (SDL_WasInit(SDL_INIT_AUDIO) != 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return true;
}

void SdlAudioLibrary::setDeviceName(const QString& name) { impl_->deviceName = name; }

bool SdlAudioLibrary::usedDefaultOutput() const noexcept { return impl_->usedDefault; }

void SdlAudioLibrary::setNotice(std::function<void(const QString&)> notice) {
  impl_->notice = std::move(notice);
}

int SdlAudioLibrary::reopenCount() const noexcept { return impl_->reopens; }

int SdlAudioLibrary::bufferFrames() const noexcept { return impl_->bufferFrames; }

void SdlAudioLibrary::setBufferFrames(int frames) noexcept {
  impl_->bufferSetting = validBufferFrames(frames) ? frames : 0;
}

bool SdlAudioLibrary::mixerRealtime() const noexcept {
  return impl_->mixerRealtime.load(std::memory_order_relaxed);
}

void SdlAudioLibrary::setDucking(int percent) noexcept {
  impl_->duckPercent.store(percent >= 0 && percent <= 100 ? percent : -1,
                           std::memory_order_relaxed);
}

void SdlAudioLibrary::setSpeechSounding(bool sounding) noexcept {
  impl_->speechSounding.store(sounding, std::memory_order_relaxed);
}

bool SdlAudioLibrary::speechSounding() const noexcept {
  return impl_->speechSounding.load(std::memory_order_relaxed);
}

void SdlAudioLibrary::SetEndHandler(EndHandler handler) noexcept {
  Impl& im = *impl_;
  im.endHandlerSet = static_cast<bool>(handler);
  std::lock_guard<std::mutex> lk(im.workMutex);
  im.endHandler = std::move(handler);
}

void SdlAudioLibrary::ChannelSetDucked(HSTREAM h, bool ducked) noexcept {
  Impl& im = *impl_;
  Stream* s = im.find(h);
  if (!s) return;
  DeviceLock dl(im.dev);
  s->ducked = ducked;
}

bool SdlAudioLibrary::traceEnabled() const noexcept { return impl_->trace; }

std::int64_t SdlAudioLibrary::playCalledNs(HSTREAM h) const noexcept {
  const Stream* s = impl_->find(h);
  return s ? s->playNs.load(std::memory_order_relaxed) : 0;
}

std::int64_t SdlAudioLibrary::firstSoundNs(HSTREAM h) const noexcept {
  const Stream* s = impl_->find(h);
  return s ? s->firstSoundNs.load(std::memory_order_relaxed) : 0;
}

}  // namespace vuvedid
