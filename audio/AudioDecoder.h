#pragma once
// Decoding of one sound file at its own sample rate into interleaved stereo float frames.
// MPEG audio goes through libmpg123; WAV, AIFF, FLAC, Ogg and the rest through libsndfile.
//
// Opening reads only the file's start (format and first frames), so it costs the same for
// a 100 MB file as for a 100 KB one. An MPEG file's exact length needs every frame header
// read (VBR files without a header tag): exactFrames does that, meant for a thread that
// may take its time.
//
// A decoder is used by one thread at a time (the layer's decoding side); it never touches
// the audio device.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace vuvedid {

class AudioDecoder {
 public:
  virtual ~AudioDecoder() = default;

  // The decoder for `path`, or null when it is missing, no regular file, empty, or does
  // not decode as audio.
  static std::unique_ptr<AudioDecoder> open(const QString& path) noexcept;
  // The exact length in frames of the file at `path` as open() would decode it, reading the
  // whole file where its format needs that; -1 when it cannot be measured or `cancelled`
  // (asked between reads, may be empty) answered true.
  static std::int64_t exactFrames(const QString& path,
                                  std::function<bool()> cancelled = {}) noexcept;

  int rate() const noexcept { return rate_; }
  int channels() const noexcept { return channels_; }  // of the file, before stereo mapping
  // At the file's own rate: exact when lengthExact(), else the decoder's estimate.
  std::int64_t frames() const noexcept { return frames_; }
  bool lengthExact() const noexcept { return lengthExact_; }

  // Up to maxFrames stereo frames into out (2 * maxFrames floats); 0 at the end or on a
  // decoding error that cannot be skipped.
  virtual std::size_t readStereo(float* out, std::size_t maxFrames) noexcept = 0;
  // Back to the first frame; false when the file cannot be repositioned.
  virtual bool rewind() noexcept = 0;

 protected:
  int rate_ = 0;
  int channels_ = 0;
  std::int64_t frames_ = 0;
  bool lengthExact_ = false;
};

}  // namespace vuvedid
