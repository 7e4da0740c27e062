// One main for every test binary: a headless Qt application, SDL's silent real-time
// driver, and a private runtime folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("LANG", "C.UTF-8", 0);
  QTemporaryDir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vuvedid"));
  return RUN_ALL_TESTS();
}
