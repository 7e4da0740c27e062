#pragma once
// The audio library over SDL2's output, mixing every stream itself in SDL's callback.
//
// Threads: the GUI thread makes every call; one decoding thread of the layer keeps a ring
// of decoded frames (about 0.7 s) ahead of each stream; SDL's audio thread mixes the rings
// without locks, allocation or file access. State changes reach the mixer under SDL's
// device lock, which the GUI thread holds for microseconds.
//
// Environment: VUVEDID_AUDIO_BUFFER sets the device buffer in frames (default 1024);
// VUVEDID_AUDIO_TRACE=1 makes the mixer note when each stream first sounded.
#include <cstdint>
#include <memory>

#include "audio/AudioLibrary.h"

namespace vuvedid {

class SdlAudioLibrary final : public IAudioLibrary {
 public:
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
  double ChannelBytes2Seconds(HSTREAM h, std::uint64_t bytes) noexcept override;
  int ChannelIsActive(HSTREAM h) noexcept override;
  QString ChannelGetFileName(HSTREAM h) noexcept override;
  bool Stop() noexcept override;
  bool Free() noexcept override;

  // Device buffer in frames as opened (0 before Init).
  int bufferFrames() const noexcept;
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
