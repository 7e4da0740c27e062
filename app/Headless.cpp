#include "app/Headless.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "app/AppInfo.h"
#include "app/ExeDir.h"
#include "audio/SdlAudioLibrary.h"
#include "commands/QProcessStarter.h"
#include "commands/SpeechDispatcher.h"
#include "host/RoomHost.h"
#include "mqtt/MqttClient.h"

namespace vuvedid {

int runHeadless(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
  const QString exeDir = executableDir();
  const QString ini = exeDir + QStringLiteral("MQTT.ini");
  if (!QFileInfo::exists(ini)) {
    std::fprintf(stderr, "vuvedid: no settings file %s\n", QFile::encodeName(ini).constData());
    return 2;
  }
  SdlAudioLibrary audio;
  SpeechDispatcher speech;
  QProcessStarter starter;
  SystemClock clock;
  Services services;
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
  RoomHost host(services, [](BoxIcon, const QString& caption, const QString& text) {
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

}  // namespace vuvedid
