#pragma once
// The audio library over SDL2's output, mixing every stream itself in SDL's callback.
//
// Threads: the GUI thread makes every call; one decoding thread of the layer keeps a ring
// of decoded frames (about 0.7 s) ahead of each stream; a scanning thread measures exact
// lengths, which needs a whole MPEG file read; SDL's audio thread mixes the rings
// without locks, allocation or file access. State changes reach the mixer under SDL's
// device lock, which the GUI thread holds for microseconds.
//
// Every cut (stop, pause, free, restart) and every volume change fades over about 5 ms, and
// a start or resume fades in the same way, so the speakers never get a step; what the
// layer reports changes at once.
//
// Environment: VUVEDID_AUDIO_BUFFER sets the device buffer in frames (the settings' value
// wins over it);
// VUVEDID_AUDIO_TRACE=1 makes the mixer note when each stream first sounded.
//
// A lost output (the sound server restarted, a USB card pulled) leaves SDL's device
// stopped: the mixer is no longer called and every stream would report "playing" for
// ever. The calls the players make each tick look at the device at most every 500 ms and
// open it again with the same parameters; streams and their rings are kept.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "audio/AudioLibrary.h"

namespace vuvedid {

class SdlAudioLibrary final : public IAudioLibrary {
 public:
  // The device buffer in frames without [audio] buffer or VUVEDID_AUDIO_BUFFER: the smallest
  // that played room music and four effects through a PulseAudio null sink without a single
  // dropout, also with a parallel build on every core (smaller ones dropped out even on a
  // quiet machine; see bench/RESULTS.md).
  static constexpr int kDefaultBufferFrames = 2048;

  SdlAudioLibrary();
  ~SdlAudioLibrary() override;

  std::uint32_t GetVersion() noexcept override;
  bool Init(int device, int freq) noexcept override;
  HSTREAM StreamCreateFile(const QString& path) noexcept override;
  bool ChannelPlay(HSTREAM h, bool restart) noexcept override;
  bool ChannelPause(HSTREAM h) noexcept override;
  bool ChannelStop(HSTREAM h) noexcept override;
  bool StreamFree(HSTREAM h) noexcept override;
  bool ChannelSetVolume(HSTREAM h, float volume) noexcept override;
  std::uint64_t ChannelGetLength(HSTREAM h) noexcept override;
  // Until the length scan of the stream's file is done, the decoder's estimate (exact for
  // every format but MPEG VBR without a header tag). The first length question starts it.
  bool ChannelLengthFinal(HSTREAM h) noexcept override;
  double ChannelBytes2Seconds(HSTREAM h, std::uint64_t bytes) noexcept override;
  int ChannelIsActive(HSTREAM h) noexcept override;
  QString ChannelGetFileName(HSTREAM h) noexcept override;
  bool Stop() noexcept override;
  bool Free() noexcept override;

  // The output to open by the name SDL reports; empty for the default. Read by Init with
  // device -1; a name SDL does not know opens the default output instead.
  void setDeviceName(const QString& name) override;
  // True when the last Init opened the default output in place of the named one.
  bool usedDefaultOutput() const noexcept;
  // Receives a line for the operator when the named output is missing and when a lost
  // output is opened again. GUI thread; cleared by Free.
  void setNotice(std::function<void(const QString&)> notice) override;
  // How many times a lost output has been opened again since Init.
  int reopenCount() const noexcept;

  void ChannelSetDucked(HSTREAM h, bool ducked) noexcept override;
  // The decoding thread looks for ended streams every 10 ms while a watched one plays.
  void SetEndHandler(EndHandler handler) noexcept override;

  // Device buffer in frames as opened (0 before Init).
  int bufferFrames() const noexcept;
  // The buffer the next Init asks for, from the settings; outside 64 .. 16384 (0 included)
  // the environment's value or the default applies.
  void setBufferFrames(int frames) noexcept override;
  // True once the mixing thread runs under a real-time policy.
  bool mixerRealtime() const noexcept;
  // Ducking: while a stream that is not ducked, or speech, sounds, every ducked stream
  // plays at percent % of its own volume, falling in about 150 ms and rising again in
  // about 400 ms after the last one ends. Outside 0 .. 100 ducking is off (the default).
  void setDucking(int percent) noexcept override;
  // Whether speech sounds now; any thread.
  void setSpeechSounding(bool sounding) noexcept override;
  bool speechSounding() const noexcept;
  // Trace (VUVEDID_AUDIO_TRACE=1 at Init): steady-clock nanoseconds of the last
  // ChannelPlay of h, and of the first non-silent sample the mixer produced for h after it
  // (the start of that callback plus the sample's place in the buffer). 0 when unknown.
  bool traceEnabled() const noexcept;
  std::int64_t playCalledNs(HSTREAM h) const noexcept;
  std::int64_t firstSoundNs(HSTREAM h) const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vuvedid
