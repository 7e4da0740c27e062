// The order of a room's playlist: a room's owner expects the same folder to give the same
// order every time, however the file system hands the names over.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "app/Errors.h"
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

}  // namespace
}  // namespace vuvedid::test
