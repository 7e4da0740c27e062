#pragma once
// Decoding of one sound file at its own sample rate into interleaved stereo float frames.
// MPEG audio goes through libmpg123 (exact lengths also for VBR files without a header
// tag, by scanning every frame); WAV, AIFF, FLAC, Ogg and the rest through libsndfile.
//
// A decoder is used by one thread at a time (the layer's decoding side); it never touches
// the audio device.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vuvedid {

class AudioDecoder {
 public:
  virtual ~AudioDecoder() = default;

  // MPEG files up to this size are read into memory at once; larger ones, and every other
  // format, are read piecewise from the open file, so a long recording never sits in
  // memory whole.
  static constexpr std::int64_t kInMemoryLimit = 16 * 1024 * 1024;

  // The decoder for `path`, or null when it is missing, no regular file, empty, or does
  // not decode as audio.
  static std::unique_ptr<AudioDecoder> open(const QString& path) noexcept;

  int rate() const noexcept { return rate_; }
  int channels() const noexcept { return channels_; }       // of the file, before stereo mapping
  std::int64_t frames() const noexcept { return frames_; }  // exact, at the file's own rate

  // Up to maxFrames stereo frames into out (2 * maxFrames floats); 0 at the end or on a
  // decoding error that cannot be skipped.
  virtual std::size_t readStereo(float* out, std::size_t maxFrames) noexcept = 0;
  // Back to the first frame; false when the file cannot be repositioned.
  virtual bool rewind() noexcept = 0;

 protected:
  int rate_ = 0;
  int channels_ = 0;
  std::int64_t frames_ = 0;
};

}  // namespace vuvedid
