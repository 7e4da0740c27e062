// Screenshot maker for the documentation, run on demand:
//   VUVEDID_SCREENSHOTS_DIR=docs build/tests/test_ui --gtest_filter='Screenshots.*'
// It draws the real window offscreen, one picture per visible tab.
#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include "support/FormFixture.h"

using namespace vuvedid;
using namespace vuvedid::test;

TEST(Screenshots, EveryVisibleTab) {
  const QByteArray dir = qgetenv("VUVEDID_SCREENSHOTS_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "set VUVEDID_SCREENSHOTS_DIR to make the pictures";
  ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(dir)));

  FormFixture f;
  TForm_player& w = f.form();
  w.show();
  const struct {
    QWidget* page;
    const char* file;
  } shots[] = {
      {w.TabSheet1, "screenshot-player.png"},
      {w.TabSheet2, "screenshot-settings.png"},
      {w.TabSheet4, "screenshot-debug.png"},
  };
  for (const auto& shot : shots) {
    w.PageControl1->setCurrentWidget(shot.page);
    spin(50);
    const QString path = QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(shot.file));
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
  }
}
