// How an "fx:" argument is cut into its volume text and file name (no sound involved).
#include <gtest/gtest.h>

#include "audio/EffectChannels.h"

namespace vuvedid::test {
namespace {

TEST(FxArguments, VolumeBeforeFirstBangFileAfterIt) {
  struct Case {
    const char* fx;
    const char* volume;
    const char* file;
  } cases[] = {
      {"50!bell.mp3", "50", "bell.mp3"},
      {"bell.mp3", "", "bell.mp3"},  // no "!": the whole text is the file
      {"!bell.mp3", "", "bell.mp3"},
      {"50!", "50", ""},
      {"1!2!3.mp3", "1", "2!3.mp3"},    // only the first "!" divides
      {"c:50!a.mp3", "50!a", "a.mp3"},  // ":" first: the "!" stays in the volume
      {"50!c:x.mp3", "x.", "c:x.mp3"},  // ":" after the "!": slice starts past it
      {"громко!звон.mp3", "громко", "звон.mp3"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const FxArguments a = sliceFx(QString::fromUtf8(c.fx));
    EXPECT_EQ(a.volumeText, QString::fromUtf8(c.volume)) << c.fx;
    EXPECT_EQ(a.fileName, QString::fromUtf8(c.file)) << c.fx;
  }
}

}  // namespace
}  // namespace vuvedid::test
