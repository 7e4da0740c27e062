#include "audio/AudioDecoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace vuvedid {

namespace {

// Frames decoded per read call; the scratch buffers are sized once from it.
constexpr std::size_t kChunkFrames = 4096;
// More channels than this is no sound file we can play sensibly.
constexpr int kMaxChannels = 32;

// The bytes of one file, either all in memory or read from the open descriptor.
class ByteSource {
 public:
  ~ByteSource() {
    if (fd_ >= 0) ::close(fd_);
  }

  static std::unique_ptr<ByteSource> open(const QString& path) noexcept {
    if (path.isEmpty()) return nullptr;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO under that name must not hang the caller; fstat rejects it.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    auto src = std::unique_ptr<ByteSource>(new (std::nothrow) ByteSource);
    struct stat st {};
    if (!src || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
      ::close(fd);
      return nullptr;
    }
    src->size_ = st.st_size;
    src->fd_ = fd;
    return src;
  }

  // Consulted before every block read: once it answers true, reads fail, so a long scan
  // of a file nobody needs any more ends early.
  void setCancel(std::function<bool()> cancelled) noexcept { cancelled_ = std::move(cancelled); }

  ssize_t read(void* dst, std::size_t n) noexcept {
    // Decoders read a few hundred bytes at a time: serve them from a block buffer, so a
    // long file costs one system call per block instead of two per MPEG frame.
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t done = 0;
    while (done < n) {
      if (pos_ < blockStart_ || pos_ >= blockStart_ + blockLen_) {
        if (n - done >= kBlock) {  // large reads go straight through
          const ssize_t k = preadFull(out + done, n - done, pos_);
          if (k < 0) return done > 0 ? static_cast<ssize_t>(done) : k;
          pos_ += k;
          return static_cast<ssize_t>(done + static_cast<std::size_t>(k));
        }
        const ssize_t k = preadFull(block_.data(), kBlock, pos_);
        if (k <= 0) return done > 0 ? static_cast<ssize_t>(done) : k;
        blockStart_ = pos_;
        blockLen_ = k;
      }
      const auto at = static_cast<std::size_t>(pos_ - blockStart_);
      const std::size_t k = std::min(n - done, static_cast<std::size_t>(blockLen_) - at);
      std::memcpy(out + done, block_.data() + at, k);
      done += k;
      pos_ += static_cast<off_t>(k);
    }
    return static_cast<ssize_t>(done);
  }

  off_t seek(off_t offset, int whence) noexcept {
    off_t base = 0;
    if (whence == SEEK_CUR)
      base = pos_;
    else if (whence == SEEK_END)
      base = size_;
    else if (whence != SEEK_SET)
      return -1;
    const off_t to = base + offset;
    if (to < 0) return -1;
    pos_ = to;
    return pos_;
  }

  // An ID3v2 tag or an MPEG frame sync at the start: straight to the MPEG decoder (also
  // spares libsndfile's own, noisier probe of MPEG files).
  bool looksLikeMpeg() noexcept {
    const auto head = start();
    return startsWithId3() || (head[0] == 0xFF && (head[1] & 0xE0) == 0xE0);
  }
  bool startsWithId3() noexcept {
    const auto head = start();
    return head[0] == 'I' && head[1] == 'D' && head[2] == '3';
  }

  off_t tell() const noexcept { return pos_; }

  std::array<unsigned char, 3> start() noexcept {
    std::array<unsigned char, 3> head{};
    const off_t at = pos_;
    pos_ = 0;
    read(head.data(), head.size());
    pos_ = at;
    return head;
  }
  off_t size() const noexcept { return size_; }

 private:
  static constexpr std::size_t kBlock = 64 * 1024;

  ByteSource() = default;

  ssize_t preadFull(unsigned char* dst, std::size_t n, off_t at) noexcept {
    if (cancelled_ && cancelled_()) return -1;
    for (;;) {
      const ssize_t k = ::pread(fd_, dst, n, at);
      if (k < 0 && errno == EINTR) continue;
      return k;
    }
  }

  int fd_ = -1;
  std::array<unsigned char, kBlock> block_;
  off_t blockStart_ = 0;
  off_t blockLen_ = 0;
  std::function<bool()> cancelled_;
  off_t size_ = 0;
  off_t pos_ = 0;
};

// Maps n frames of `channels` interleaved samples to stereo: mono is doubled, more than
// two channels keep the front pair.
void toStereo(const float* in, int channels, std::size_t n, float* out) noexcept {
  if (channels == 2) {
    std::memcpy(out, in, n * 2 * sizeof(float));
  } else if (channels == 1) {
    for (std::size_t i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = in[i];
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      out[2 * i] = in[i * channels];
      out[2 * i + 1] = in[i * channels + 1];
    }
  }
}

class Mpg123Decoder final : public AudioDecoder {
 public:
  ~Mpg123Decoder() override {
    if (mh_) {
      mpg123_close(mh_);
      mpg123_delete(mh_);
    }
  }

  // scan: every frame header is read before the length is taken, the only exact length for
  // VBR files without a header tag. Without it only the file's start is read and the
  // length is mpg123's estimate (exact for CBR and for files with a Xing/Info/VBRI tag).
  bool init(std::unique_ptr<ByteSource> src, bool scan) noexcept {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });  // a no-op in new versions, needed in old
    src_ = std::move(src);
    int err = MPG123_OK;
    mh_ = mpg123_new(nullptr, &err);
    if (!mh_) return false;
    mpg123_param(mh_, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_param(mh_, MPG123_VERBOSE, 0, 0);
    // Float at the file's own rate: resampling happens later, where lengths stay exact.
    mpg123_format_none(mh_);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
      mpg123_format(mh_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_replace_reader_handle(mh_, &Mpg123Decoder::readCb, &Mpg123Decoder::seekCb,
                                     nullptr) != MPG123_OK)
      return false;
    if (mpg123_open_handle(mh_, src_.get()) != MPG123_OK) return false;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh_, &rate, &channels, &encoding) != MPG123_OK) return false;
    if (rate <= 0 || channels < 1 || channels > 2 || encoding != MPG123_ENC_FLOAT_32) return false;
    if (scan && mpg123_scan(mh_) != MPG123_OK) return false;
    const off_t length = mpg123_length(mh_);
    if (scan && length <= 0) return false;
    rate_ = static_cast<int>(rate);
    channels_ = channels;
    decodeChannels_ = channels;
    frames_ = std::max<off_t>(length, 0);
    lengthExact_ = scan;
    try {
      scratch_.resize(kChunkFrames * 2);
    } catch (...) {
      return false;
    }
    return true;
  }

  std::size_t readStereo(float* out, std::size_t maxFrames) noexcept override {
    const std::size_t want = std::min(maxFrames, kChunkFrames);
    // A format change or an empty read is followed by more reads; a broken file ends.
    for (int attempt = 0; attempt < 64; ++attempt) {
      std::size_t done = 0;
      const int r = mpg123_read(mh_, reinterpret_cast<unsigned char*>(scratch_.data()),
                                want * decodeChannels_ * sizeof(float), &done);
      if (r == MPG123_NEW_FORMAT) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(mh_, &rate, &channels, &encoding) != MPG123_OK || channels < 1 ||
            channels > 2)
          return 0;
        decodeChannels_ = channels;
      }
      const std::size_t frames = done / (decodeChannels_ * sizeof(float));
      if (frames > 0) {
        toStereo(scratch_.data(), decodeChannels_, frames, out);
        return frames;
      }
      if (r != MPG123_OK && r != MPG123_NEW_FORMAT) return 0;  // MPG123_DONE or an error
    }
    return 0;
  }

  bool rewind() noexcept override { return mpg123_seek(mh_, 0, SEEK_SET) >= 0; }

 private:
  static mpg123_ssize_t readCb(void* h, void* dst, std::size_t n) {
    return static_cast<ByteSource*>(h)->read(dst, n);
  }
  static off_t seekCb(void* h, off_t offset, int whence) {
    return static_cast<ByteSource*>(h)->seek(offset, whence);
  }

  std::unique_ptr<ByteSource> src_;
  mpg123_handle* mh_ = nullptr;
  int decodeChannels_ = 2;
  std::vector<float> scratch_;
};

class SndfileDecoder final : public AudioDecoder {
 public:
  ~SndfileDecoder() override {
    if (sf_) sf_close(sf_);
  }

  // False with the source handed back through `src` when the file is MPEG audio, which
  // libsndfile does not measure exactly; false with src consumed otherwise.
  bool init(std::unique_ptr<ByteSource>& src, bool& isMpeg) noexcept {
    isMpeg = false;
    io_.get_filelen = [](void* h) -> sf_count_t { return static_cast<ByteSource*>(h)->size(); };
    io_.seek = [](sf_count_t offset, int whence, void* h) -> sf_count_t {
      return static_cast<ByteSource*>(h)->seek(static_cast<off_t>(offset), whence);
    };
    io_.read = [](void* dst, sf_count_t n, void* h) -> sf_count_t {
      return n <= 0 ? 0 : static_cast<ByteSource*>(h)->read(dst, static_cast<std::size_t>(n));
    };
    io_.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    io_.tell = [](void* h) -> sf_count_t { return static_cast<ByteSource*>(h)->tell(); };
    SF_INFO info{};
    sf_ = sf_open_virtual(&io_, SFM_READ, &info, src.get());
    if (!sf_) {
      src->seek(0, SEEK_SET);
      return false;
    }
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
      sf_close(sf_);
      sf_ = nullptr;
      src->seek(0, SEEK_SET);
      isMpeg = true;
      return false;
    }
    src_ = std::move(src);
    if (info.samplerate <= 0 || info.channels < 1 || info.channels > kMaxChannels ||
        info.frames <= 0 || info.frames == SF_COUNT_MAX)
      return false;
    rate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = info.frames;
    lengthExact_ = true;
    try {
      scratch_.resize(kChunkFrames * static_cast<std::size_t>(channels_));
    } catch (...) {
      return false;
    }
    return true;
  }

  std::size_t readStereo(float* out, std::size_t maxFrames) noexcept override {
    const std::size_t want = std::min(maxFrames, kChunkFrames);
    const sf_count_t got = sf_readf_float(sf_, scratch_.data(), static_cast<sf_count_t>(want));
    if (got <= 0) return 0;
    toStereo(scratch_.data(), channels_, static_cast<std::size_t>(got), out);
    return static_cast<std::size_t>(got);
  }

  bool rewind() noexcept override { return sf_seek(sf_, 0, SEEK_SET) == 0; }

 private:
  SF_VIRTUAL_IO io_{};
  std::unique_ptr<ByteSource> src_;
  SNDFILE* sf_ = nullptr;
  std::vector<float> scratch_;
};

}  // namespace

namespace {

std::unique_ptr<AudioDecoder> openWithSndfile(std::unique_ptr<ByteSource>& src,
                                              bool& isMpeg) noexcept {
  auto sf = std::unique_ptr<SndfileDecoder>(new (std::nothrow) SndfileDecoder);
  if (sf && sf->init(src, isMpeg)) return sf;
  return nullptr;
}

std::unique_ptr<AudioDecoder> openWithMpg123(std::unique_ptr<ByteSource> src,
                                             bool scan = false) noexcept {
  auto mp = std::unique_ptr<Mpg123Decoder>(new (std::nothrow) Mpg123Decoder);
  if (mp && mp->init(std::move(src), scan)) return mp;
  return nullptr;
}

}  // namespace

std::unique_ptr<AudioDecoder> AudioDecoder::open(const QString& path) noexcept {
  auto src = ByteSource::open(path);
  if (!src) return nullptr;
  bool isMpeg = false;
  if (src->looksLikeMpeg()) {
    const bool tagged = src->startsWithId3();
    if (auto mp = openWithMpg123(std::move(src))) return mp;
    // A tag in front of some other container: let libsndfile have a look after all.
    if (!tagged) return nullptr;
    src = ByteSource::open(path);
    if (!src) return nullptr;
    return openWithSndfile(src, isMpeg);
  }
  if (auto sf = openWithSndfile(src, isMpeg)) return sf;
  // Not a container libsndfile knows (or MPEG audio after all): try it as an MPEG stream.
  if (!src) return nullptr;  // recognised by libsndfile, but unusable
  return openWithMpg123(std::move(src));
}

std::int64_t AudioDecoder::exactFrames(const QString& path,
                                       std::function<bool()> cancelled) noexcept {
  auto src = ByteSource::open(path);
  if (!src) return -1;
  src->setCancel(std::move(cancelled));
  if (!src->looksLikeMpeg()) {
    // Another container states its length in its header; MPEG audio without a frame sync
    // at its start is what the mpg123 fallback of open() took it for.
    bool isMpeg = false;
    if (auto sf = openWithSndfile(src, isMpeg)) return sf->frames();
    if (!src) return -1;
  }
  auto mp = openWithMpg123(std::move(src), true);
  return mp ? mp->frames() : -1;
}

}  // namespace vuvedid
