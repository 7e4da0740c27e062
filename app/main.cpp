// Entry point: the application object, the main window, the message loop.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "app/AppInfo.h"
#include "app/ExeDir.h"
#include "app/Headless.h"
#include "app/Trace.h"
#include "audio/AudioDevices.h"
#include "audio/SdlAudioLibrary.h"
#include "commands/QProcessStarter.h"
#include "commands/SpeechDispatcher.h"
#include "host/RoomHost.h"
#include "mqtt/MqttClient.h"
#include "ui/MessageBoxes.h"
#include "ui/QtSaveDialog.h"
#include "ui/TForm_player.h"

namespace {

constexpr const char* kUsage =
    "Usage: vuvedid [start]\n"
    "       vuvedid --headless\n"
    "Plays room music, effects and speech on commands from an MQTT broker.\n"
    "Settings are read from MQTT.ini beside the program.\n"
    "\n"
    "  start                  start minimized, connect and subscribe by itself\n"
    "                         (only when MQTT.ini exists)\n"
    "  --headless             run without a window (for a service): the unattended\n"
    "                         start, problems as lines on standard error; ends with\n"
    "                         status 2 when MQTT.ini is missing\n"
    "  --list-audio-devices   print the sound output devices and exit\n"
    "  --help                 print this help and exit\n"
    "  --version              print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
  // Any first argument but "start" has no meaning to the window, so these stay compatible.
  if (argc > 1 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 1 && std::string_view(argv[1]) == "--version") {
    std::printf("vuvedid %s\n", vuvedid::kVersion);
    return 0;
  }
  if (argc > 1 && std::string_view(argv[1]) == "--list-audio-devices") {
    for (const QString& name : vuvedid::listOutputDevices())
      std::printf("%s\n", name.toUtf8().constData());
    return 0;
  }
  if (argc > 1 && std::string_view(argv[1]) == "--headless") {
    // The windowless program beside this one loads no GUI library at all (a quarter less
    // memory per room); without it the same room runs here.
    const QByteArray headless = QFile::encodeName(vuvedid::executableDir()) + "vuvedid-headless";
    if (::access(headless.constData(), X_OK) == 0) ::execv(headless.constData(), argv);
    return vuvedid::runHeadless(argc, argv);
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(vuvedid::kAppTitle));
  // No display name: on X11 Qt would append it to every caption ("… — Vuvedid"), and the
  // captions are to read exactly as set. The task bar takes the name from the desktop file.
  QApplication::setDesktopFileName(QStringLiteral("vuvedid"));
  // The last window closing ends the program even when it sits in the tray.
  QApplication::setQuitOnLastWindowClosed(true);

  vuvedid::SdlAudioLibrary audio;
  vuvedid::QtMessageBoxes boxes;
  vuvedid::QtSaveDialog saveDialog;
  vuvedid::SpeechDispatcher speech;
  vuvedid::QProcessStarter starter;
  vuvedid::SystemClock clock;

  vuvedid::Services services;
  services.audio = &audio;
  services.boxes = &boxes;
  services.saveDialog = &saveDialog;
  services.speech = &speech;
  services.starter = &starter;
  services.clock = &clock;
  // Qt has already taken its own options (-platform …) out of the argument list.
  const QStringList args = QApplication::arguments();
  services.arguments = args.mid(1);
  services.exeDir = vuvedid::executableDir();
  services.terminate = [](int status) {
    std::fflush(nullptr);
    _exit(status);
  };

  vuvedid::RoomHost host(
      services, [&boxes](vuvedid::BoxIcon icon, const QString& caption, const QString& text) {
        boxes.show(icon, caption, text);
      });
  vuvedid::TForm_player form(host);
  // Soak runs only (bench/soak.sh): a shorter heartbeat squeezes a month of ticks into
  // minutes. Read once here; without the variable the designed 20 s stays.
  bool heartbeatSet = false;
  const int heartbeatMs = qEnvironmentVariableIntValue("VUVEDID_HEARTBEAT_MS", &heartbeatSet);
  if (heartbeatSet && heartbeatMs > 0) form.mqtt->Timer_act->setInterval(heartbeatMs);
  form.FormCreate();
  form.show();
  if (form.mqtt->Timer_start1->enabled()) form.showMinimized();
  form.JvTrayIcon1->show();
  // Benchmarks only: a 100 ms GUI-thread tick whose marks show how late the event loop runs.
  QTimer traceTick;
  if (vuvedid::trace::on()) {
    traceTick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&traceTick, &QTimer::timeout,
                     [] { vuvedid::trace::mark("tick100", vuvedid::trace::nowNs()); });
    traceTick.start(100);
  }
  const int rc = QApplication::exec();
  // The network thread is not stopped at close (the broker is to publish the last will):
  // leave at once instead of unwinding under it.
  std::fflush(nullptr);
  _exit(rc);
}
