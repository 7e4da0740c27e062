#pragma once
// The headless application the window-driven targets run in: the same platform the test
// suite uses (offscreen Qt, SDL's silent real-time driver, a private runtime folder).
#include <QApplication>
#include <QDir>
#include <cstdlib>

namespace vuvedid::fuzz {

inline void startApplication(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("LANG", "C.UTF-8", 0);
  static QByteArray runtime =
      (QDir::tempPath() + QStringLiteral("/vuvedid-fuzz-runtime")).toLocal8Bit();
  QDir().mkpath(QString::fromLocal8Bit(runtime));
  QFile::setPermissions(QString::fromLocal8Bit(runtime),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  setenv("XDG_RUNTIME_DIR", runtime.constData(), 0);
  // Lives for the whole run: libFuzzer ends the process with exit(), not by returning.
  static QApplication* app = new QApplication(*argc, *argv);
  QApplication::setApplicationName(QStringLiteral("Vuvedid"));
  (void)app;
}

}  // namespace vuvedid::fuzz
