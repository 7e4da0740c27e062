#pragma once
// The audio library over SDL2's output, mixing every stream itself in SDL's callback.
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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vuvedid
