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
    const std::int64_t exact = AudioDecoder::exactFrames(path);
    // The encoders may pad to their frame size, never by more than a tenth of a second.
    EXPECT_NEAR(static_cast<double>(exact), 1.5 * c.rate, 0.1 * c.rate);
    // Only a VBR mp3 without a header tag needs the whole file read for its length.
    EXPECT_EQ(d->lengthExact(), !c.vbrNoTag && !QString::fromLatin1(c.name).endsWith(".mp3"));
    if (!c.vbrNoTag) {
      EXPECT_EQ(d->frames(), exact) << "the estimate from the file's start";
    }

    const Decoded first = decodeAll(*d);
    EXPECT_EQ(first.frames, exact);
    EXPECT_NEAR(first.peak, 0.5, 0.1);
    ASSERT_TRUE(d->rewind());
    EXPECT_EQ(decodeAll(*d).frames, exact);
  }
}

TEST(AudioDecoder, LengthScanStopsWhenCancelled) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("vbr.mp3"));
  ASSERT_TRUE(toneFile(path, 20.0, 44100, 440, 0.5, true));
  int asked = 0;
  EXPECT_EQ(AudioDecoder::exactFrames(path, [&] { return ++asked > 1; }), -1);
  EXPECT_GT(AudioDecoder::exactFrames(path, [] { return false; }), 0);
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
    EXPECT_EQ(AudioDecoder::exactFrames(path), -1);
  }
}

}  // namespace
}  // namespace vuvedid::test
