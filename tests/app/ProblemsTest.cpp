// The one problem reporter: every report without a key is shown; a key is shown once
// until it is rearmed, each key on its own.
#include <gtest/gtest.h>

#include <QStringList>

#include "app/Problems.h"

using namespace vuvedid;

namespace {

TEST(ProblemReporter, RepeatKeysShowOnceUntilRearmed) {
  QStringList shown;
  ProblemReporter reporter([&](BoxIcon, const QString& caption, const QString& text) {
    shown << caption + ": " + text;
  });
  struct Step {
    const char* what;  // "report" or "rearm"
    QString key;
    bool shownNow;
  };
  const Step steps[] = {
      {"report", "", true},
      {"report", "", true},
      {"report", "missing", true},
      {"report", "missing", false},
      {"report", "broker", true},
      {"rearm", "missing", false},
      {"report", "missing", true},
      {"report", "broker", false},
      {"rearm", "never-shown", false},
      {"report", "never-shown", true},
  };
  int n = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(QString("%1 %2 %3").arg(++n).arg(s.what, s.key).toStdString());
    if (QString(s.what) == "rearm") {
      reporter.rearm(s.key);
      EXPECT_FALSE(reporter.shownOnce(s.key));
      continue;
    }
    const qsizetype before = shown.size();
    EXPECT_EQ(reporter.report(BoxIcon::Error, "Vuvedid", s.key, s.key), s.shownNow);
    EXPECT_EQ(shown.size(), before + (s.shownNow ? 1 : 0));
    if (!s.key.isEmpty()) {
      EXPECT_TRUE(reporter.shownOnce(s.key));
    }
  }
}

// A report made while the sink is still showing the same key (events go on while a box is
// open) is not shown a second time.
TEST(ProblemReporter, SameKeyDuringItsOwnBoxIsNotShownAgain) {
  int shown = 0;
  ProblemReporter* self = nullptr;
  ProblemReporter reporter([&](BoxIcon, const QString&, const QString&) {
    ++shown;
    if (shown == 1) {
      EXPECT_FALSE(self->report(BoxIcon::Error, "Vuvedid", "again", "k"));
    }
  });
  self = &reporter;
  EXPECT_TRUE(reporter.report(BoxIcon::Error, "Vuvedid", "first", "k"));
  EXPECT_EQ(shown, 1);
}

}  // namespace
