#include "support/SpeechServer.h"

#include <signal.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTextStream>
#include <QThread>
#include <cstdlib>

namespace vuvedid::test {

namespace {
bool writeFile(const QString& path, const QString& text) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  f.write(text.toUtf8());
  return true;
}
}  // namespace

SpeechServer::SpeechServer(double speakSeconds) : speakSeconds_(speakSeconds) {
  socket_ = dir_.filePath(QStringLiteral("speechd.sock"));
  log_ = dir_.filePath(QStringLiteral("spoken.txt"));
}

SpeechServer::~SpeechServer() { kill(); }

bool SpeechServer::start() {
  const QString conf = dir_.filePath(QStringLiteral("conf"));
  const QString home = dir_.filePath(QStringLiteral("home"));
  QDir().mkpath(conf);
  QDir().mkpath(home);
  if (!writeFile(home + QStringLiteral("/.libao"), QStringLiteral("default_driver=null\n")))
    return false;
  // The generic module substitutes $DATA once, so the "end" line carries no text.
  QString synth = QStringLiteral("echo \\'start:$DATA\\' >> %1").arg(log_);
  if (speakSeconds_ > 0)
    synth += QStringLiteral("; sleep %1; echo end >> %2").arg(speakSeconds_).arg(log_);
  const QString logger = conf + QStringLiteral("/logger.conf");
  // Clients that announce no language get the server's; both must map to UTF-8, or the
  // module turns every non-Latin character into '?'.
  if (!writeFile(logger, QStringLiteral("GenericExecuteSynth \"%1\"\n"
                                        "GenericLanguage \"en\" \"en\" \"UTF-8\"\n"
                                        "GenericLanguage \"c\" \"c\" \"UTF-8\"\n"
                                        "AddVoice \"en\" \"MALE1\" \"logvoice\"\n")
                             .arg(synth)))
    return false;
  if (!writeFile(conf + QStringLiteral("/speechd.conf"),
                 QStringLiteral("AudioOutputMethod \"libao\"\n"
                                "AddModule \"logger\" \"sd_generic\" \"%1\"\n"
                                "DefaultModule logger\n"
                                "DefaultLanguage \"en\"\n"
                                "LanguageDefaultModule \"en\" \"logger\"\n")
                     .arg(logger)))
    return false;

  QFile::remove(socket_);  // left behind by a server that was killed
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("HOME"), home);
  env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
  env.remove(QStringLiteral("SPEECHD_ADDRESS"));
  p.setProcessEnvironment(env);
  p.setProgram(QStringLiteral("speech-dispatcher"));
  // Single-application mode keeps it in the foreground, so its pid is the one we kill.
  // It also ends by itself once idle for a while, should a test crash before killing it.
  p.setArguments({QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("20"),
                  QStringLiteral("-c"), QStringLiteral("unix_socket"), QStringLiteral("-S"),
                  socket_, QStringLiteral("-C"), conf});
  p.setWorkingDirectory(dir_.path());
  p.setStandardInputFile(QProcess::nullDevice());
  p.setStandardOutputFile(dir_.filePath(QStringLiteral("server.out")));
  p.setStandardErrorFile(dir_.filePath(QStringLiteral("server.err")));
  qint64 pid = 0;
  if (!p.startDetached(&pid)) return false;
  pid_ = pid;
  for (int i = 0; i < 300; ++i) {
    if (QFileInfo::exists(socket_)) {
      QThread::msleep(20);  // the socket appears just before the server listens on it
      return true;
    }
    QThread::msleep(10);
  }
  return false;
}

void SpeechServer::kill() {
  if (pid_ > 0) {
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    pid_ = 0;
  }
}

void SpeechServer::exportAddress() const {
  setenv("SPEECHD_ADDRESS", address().toLocal8Bit().constData(), 1);
}

QStringList SpeechServer::spoken() const {
  QFile f(log_);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

void exportMissingSpeechAddress(const QString& folder) {
  const QString sock = folder + QStringLiteral("/no-server.sock");
  setenv("SPEECHD_ADDRESS", (QStringLiteral("unix_socket:") + sock).toLocal8Bit().constData(), 1);
}

}  // namespace vuvedid::test
