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

// A room without a window: the same host the window is built on, on a QCoreApplication
// (no widget is ever created), started as "start" starts the window.
int runHeadless(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(vuvedid::kAppTitle));
  const QString exeDir = vuvedid::executableDir();
  const QString ini = exeDir + QStringLiteral("MQTT.ini");
  if (!QFileInfo::exists(ini)) {
    std::fprintf(stderr, "vuvedid: no settings file %s\n", QFile::encodeName(ini).constData());
    return 2;
  }
  vuvedid::SdlAudioLibrary audio;
  vuvedid::SpeechDispatcher speech;
  vuvedid::QProcessStarter starter;
  vuvedid::SystemClock clock;
  vuvedid::Services services;
  services.audio = &audio;
  services.speech = &speech;
  services.starter = &starter;
  services.clock = &clock;
  services.arguments = QStringList{QStringLiteral("start")};
  services.exeDir = exeDir;
  services.terminate = [](int status) {
    std::fflush(nullptr);
    _exit(status);
  };
  // A box becomes one line on standard error (the journal, under systemd).
  vuvedid::RoomHost host(services, [](vuvedid::BoxIcon, const QString& caption,
                                      const QString& text) {
    QString line = caption.isEmpty() ? text : caption + QStringLiteral(": ") + text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "vuvedid: %s\n", line.toUtf8().constData());
  });
  bool heartbeatSet = false;
  const int heartbeatMs = qEnvironmentVariableIntValue("VUVEDID_HEARTBEAT_MS", &heartbeatSet);
  if (heartbeatSet && heartbeatMs > 0) host.mqtt->Timer_act->setInterval(heartbeatMs);
  host.my_init();
  if (!host.checkLibraries()) return 0;
  const int rc = QCoreApplication::exec();
  // As with the window: the network thread is not stopped (the broker is to publish the
  // last will), so leave at once.
  std::fflush(nullptr);
  _exit(rc);
}

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
  if (argc > 1 && std::string_view(argv[1]) == "--headless") return runHeadless(argc, argv);
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
