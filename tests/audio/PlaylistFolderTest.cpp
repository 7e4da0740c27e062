// The order of a room's playlist and the shuffle's draws: both decide what a room hears
// next, and a room's owner expects the same folder to give the same order every time.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "app/Errors.h"
#include "audio/DelphiRandom.h"
#include "audio/PlaylistFolder.h"

namespace vuvedid::test {
namespace {

TEST(PlaylistFolder, OrderIsTheSameWhateverOrderTheNamesCameIn) {
  // Letter case ignored, digits compared as text, and names equal but for case in a fixed
  // order, so the playlist does not depend on the order the folder was read in.
  const QStringList expected{"A.mp3",      "a.mp3",       "B.mp3",      "b.mp3",
                             "track1.mp3", "track10.mp3", "Track2.mp3", "zz.mp3"};
  QStringList reversed = expected;
  std::reverse(reversed.begin(), reversed.end());
  QStringList rotated = expected;
  std::rotate(rotated.begin(), rotated.begin() + 3, rotated.end());
  const QStringList shuffled{"b.mp3",       "Track2.mp3", "a.mp3",      "zz.mp3",
                             "track10.mp3", "B.mp3",      "track1.mp3", "A.mp3"};
  for (QStringList names : {expected, reversed, rotated, shuffled}) {
    SCOPED_TRACE(names.join(' ').toStdString());
    sortFileNames(names);
    EXPECT_EQ(names, expected);
  }
}

TEST(PlaylistFolder, WhatIsNoFolderThrowsFileError) {
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("plain.mp3")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  for (const QString& path :
       {dir.filePath(QStringLiteral("missing")), file.fileName(), QString()}) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_THROW(listMp3Folder(path), FileError);
  }
  // The folder itself is named cleanly, however the setting spelled it.
  EXPECT_EQ(listMp3Folder(dir.path() + QStringLiteral("//./")).folder, dir.path());
}

TEST(DelphiRandom, DrawsStayBelowTheirBoundAndRepeatFromTheSameSeed) {
  struct Case {
    std::uint32_t seed, n;
    std::uint32_t first;  // worked by hand: ((seed * 134775813 + 1) mod 2^32) * n >> 32
  };
  const Case cases[] = {{0, 10, 0}, {1, 3, 0}, {7, 4, 0}, {1, 0xFFFFFFFFu, 134775813u}, {5, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    DelphiRandom a(c.seed), b(c.seed);
    EXPECT_EQ(a.next(c.n), c.first);
    b.next(c.n);
    for (int i = 0; i < 1000; ++i) {
      const std::uint32_t x = a.next(c.n);
      EXPECT_EQ(x, b.next(c.n)) << i;
      if (c.n > 0) {
        ASSERT_LT(x, c.n);
      } else {
        ASSERT_EQ(x, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace vuvedid::test
