#pragma once
// The real audio layer with a window onto one thing the interface cannot read back: the
// volumes handed to it. Every call goes through to the wrapped layer unchanged.
#include <utility>
#include <vector>

#include "audio/AudioLibrary.h"

namespace vuvedid::test {

class AudioVolumeRecorder final : public IAudioLibrary {
 public:
  explicit AudioVolumeRecorder(IAudioLibrary& real) : real_(real) {}

  struct Volume {
    HSTREAM handle;
    float volume;
  };
  std::vector<Volume> volumes;

  // The last volume handed for that handle, or -1 when none was.
  float lastVolume(HSTREAM h) const {
    for (auto it = volumes.rbegin(); it != volumes.rend(); ++it)
      if (it->handle == h) return it->volume;
    return -1;
  }

  std::uint32_t GetVersion() noexcept override { return real_.GetVersion(); }
  bool Init(int device, int freq) noexcept override { return real_.Init(device, freq); }
  HSTREAM StreamCreateFile(const QString& path) noexcept override {
    return real_.StreamCreateFile(path);
  }
  bool ChannelPlay(HSTREAM h, bool restart) noexcept override {
    return real_.ChannelPlay(h, restart);
  }
  bool ChannelPause(HSTREAM h) noexcept override { return real_.ChannelPause(h); }
  bool ChannelStop(HSTREAM h) noexcept override { return real_.ChannelStop(h); }
  bool StreamFree(HSTREAM h) noexcept override { return real_.StreamFree(h); }
  bool ChannelSetVolume(HSTREAM h, float volume) noexcept override {
    volumes.push_back({h, volume});
    return real_.ChannelSetVolume(h, volume);
  }
  std::uint64_t ChannelGetLength(HSTREAM h) noexcept override { return real_.ChannelGetLength(h); }
  bool ChannelLengthFinal(HSTREAM h) noexcept override { return real_.ChannelLengthFinal(h); }
  double ChannelBytes2Seconds(HSTREAM h, std::uint64_t bytes) noexcept override {
    return real_.ChannelBytes2Seconds(h, bytes);
  }
  int ChannelIsActive(HSTREAM h) noexcept override { return real_.ChannelIsActive(h); }
  QString ChannelGetFileName(HSTREAM h) noexcept override { return real_.ChannelGetFileName(h); }
  void ChannelSetDucked(HSTREAM h, bool ducked) noexcept override {
    real_.ChannelSetDucked(h, ducked);
  }
  bool Stop() noexcept override { return real_.Stop(); }
  bool Free() noexcept override { return real_.Free(); }

 private:
  IAudioLibrary& real_;
};

}  // namespace vuvedid::test
