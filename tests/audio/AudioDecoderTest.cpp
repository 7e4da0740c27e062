// The decoder on small real files of each kind the rooms hold: the length it announces is
// the length it delivers, again after a rewind, and the sound comes out at its level.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/AudioDecoder.h"
#include "support/SoundFiles.h"

namespace vuvedid::test {
namespace {

struct Decoded {
  std::int64_t frames = 0;
  float peak = 0;
};

Decoded decodeAll(AudioDecoder& d) {
  Decoded out;
  std::vector<float> buffer(2 * 1000);
  for (;;) {
    const std::size_t n = d.readStereo(buffer.data(), 1000);
    if (n == 0) break;
    out.frames += static_cast<std::int64_t>(n);
    for (std::size_t i = 0; i < 2 * n; ++i) out.peak = std::max(out.peak, std::fabs(buffer[i]));
  }
  return out;
}

TEST(AudioDecoder, AnnouncedLengthIsWhatItDeliversForEveryKind) {
  struct Case {
    const char* name;
    int rate;
    bool vbrNoTag;
  };
  const Case cases[] = {
      {"tone.wav", 44100, false},  {"tone.flac", 48000, false}, {"tone.ogg", 44100, false},
      {"tone.aiff", 22050, false}, {"cbr.mp3", 44100, false},   {"vbr.mp3", 44100, true},
      {"low.mp3", 22050, false},
  };
  QTemporaryDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = dir.filePath(QString::fromLatin1(c.name));
    ASSERT_TRUE(makeTone(path, 1.5, c.rate, 440, 0.5, c.vbrNoTag)) << "sox/lame missing";
    auto d = AudioDecoder::open(path);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->rate(), c.rate);
    EXPECT_EQ(d->channels(), 2);
    // The encoders may pad to their frame size, never by more than a tenth of a second.
    EXPECT_NEAR(static_cast<double>(d->frames()), 1.5 * c.rate, 0.1 * c.rate);

    const Decoded first = decodeAll(*d);
    EXPECT_EQ(first.frames, d->frames());
    EXPECT_NEAR(first.peak, 0.5, 0.1);
    ASSERT_TRUE(d->rewind());
    EXPECT_EQ(decodeAll(*d).frames, d->frames());
  }
}

TEST(AudioDecoder, WhatIsNoSoundDoesNotOpen) {
  QTemporaryDir dir;
  auto write = [&](const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
  };
  QDir(dir.path()).mkdir(QStringLiteral("folder.mp3"));
  const QString cases[] = {
      dir.filePath(QStringLiteral("missing.mp3")),
      dir.filePath(QStringLiteral("folder.mp3")),
      write(QStringLiteral("empty.mp3"), {}),
      write(QStringLiteral("text.mp3"), QByteArray("this is no sound\n").repeated(50)),
      write(QStringLiteral("text.wav"), QByteArray("RIFF but nothing else")),
      write(QStringLiteral("header-only.wav"), wavHeader(0)),
  };
  for (const QString& path : cases) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_EQ(AudioDecoder::open(path), nullptr);
  }
}

}  // namespace
}  // namespace vuvedid::test
