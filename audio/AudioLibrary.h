#pragma once
// The audio library the players are written against: fourteen operations on 32-bit stream
// handles (0 = none). One real implementation (SdlAudioLibrary) mixes all streams itself
// over SDL2's output. Every call comes from the GUI thread.
#include <QString>
#include <cstdint>
#include <functional>

namespace vuvedid {

using HSTREAM = std::uint32_t;

// ChannelIsActive results.
enum : int { ACTIVE_STOPPED = 0, ACTIVE_PLAYING = 1, ACTIVE_STALLED = 2, ACTIVE_PAUSED = 3 };

// Interface version 2.4 in the upper 16 bits, as the start-up check expects.
constexpr std::uint32_t kAudioInterfaceVersion = 0x02040000u;

class IAudioLibrary {
 public:
  virtual ~IAudioLibrary() = default;

  virtual std::uint32_t GetVersion() noexcept = 0;
  // device -1 = default output. Non-zero (true) when the output is ready.
  virtual bool Init(int device, int freq) noexcept = 0;
  // Whole file; 0 for a missing, empty, corrupt or non-audio file. The new stream waits at
  // its start at full volume (1.0).
  virtual HSTREAM StreamCreateFile(const QString& path) noexcept = 0;
  // restart=false: a new stream plays from its start, a paused one continues.
  virtual bool ChannelPlay(HSTREAM h, bool restart) noexcept = 0;
  virtual bool ChannelPause(HSTREAM h) noexcept = 0;  // paused, still reported active
  virtual bool ChannelStop(HSTREAM h) noexcept = 0;   // not active afterwards, handle valid
  virtual bool StreamFree(HSTREAM h) noexcept = 0;    // 0 is harmless
  // Volume: 1.0 is full, above 1.0 amplifies; applied at once.
  virtual bool ChannelSetVolume(HSTREAM h, float volume) noexcept = 0;
  // Length in bytes of the decoded 16-bit PCM at the file's own rate and channel count;
  // all bits set on failure.
  // A layer may answer with an estimate at first and learn the exact length later (it reads
  // the whole file for it); ChannelLengthFinal is true once the answer no longer changes,
  // and for no stream.
  virtual std::uint64_t ChannelGetLength(HSTREAM h) noexcept = 0;
  virtual bool ChannelLengthFinal(HSTREAM /*h*/) noexcept { return true; }
  // Seconds for a byte count of that stream; negative on failure.
  virtual double ChannelBytes2Seconds(HSTREAM h, std::uint64_t bytes) noexcept = 0;
  virtual int ChannelIsActive(HSTREAM h) noexcept = 0;
  // The path the stream was made from (channel information); empty when h is no stream.
  virtual QString ChannelGetFileName(HSTREAM h) noexcept = 0;
  // A ducked stream (the music) gives way to the others while they sound, when the layer
  // ducks at all. Layers without ducking ignore it.
  virtual void ChannelSetDucked(HSTREAM /*h*/, bool /*ducked*/) noexcept {}
  // Receives (h, steady-clock nanoseconds at which its last frame leaves the output) once
  // for every stream played from then on that plays to its end; never for one stopped,
  // paused or freed first. Called on a thread of the layer, which may be before that
  // moment: the receiver hands it over (a queued call) and waits for the time itself.
  // Empty: no receiver, and the layer does no extra work. Layers without it ignore it.
  using EndHandler = std::function<void(HSTREAM h, std::int64_t endNs)>;
  virtual void SetEndHandler(EndHandler /*handler*/) noexcept {}

  // The layer's own settings, taken by the Init that follows (see the real layer for what
  // each means). Layers without them ignore them.
  virtual void setDeviceName(const QString& /*name*/) {}
  virtual void setBufferFrames(int /*frames*/) noexcept {}
  virtual void setDucking(int /*percent*/) noexcept {}
  // Whether speech sounds now; any thread.
  virtual void setSpeechSounding(bool /*sounding*/) noexcept {}
  // Receives a line for the operator about the output (a missing one, a lost one opened
  // again).
  virtual void setNotice(std::function<void(const QString&)> /*notice*/) {}
  virtual bool Stop() noexcept = 0;  // output stopped: every channel silent at once
  virtual bool Free() noexcept = 0;  // everything released
};

}  // namespace vuvedid
