#include "support/Broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QThread>
#include <QUuid>

#include "support/FormFixture.h"

namespace vuvedid::test {

namespace {

bool acceptsConnections(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

}  // namespace

int freeLocalPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = 0;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

Broker::Broker(BrokerOptions options) : options_(std::move(options)) {
  if (options_.requirePassword) {
    QProcess pw;
    pw.start(QStringLiteral("mosquitto_passwd"),
             {QStringLiteral("-c"), QStringLiteral("-b"), dir_.filePath(QStringLiteral("pw")),
              options_.user, options_.password});
    pw.waitForFinished(5000);
  }
  // A port can be taken between the probe and the broker's bind: try another.
  for (int attempt = 0; attempt < 20; ++attempt) {
    port_ = freeLocalPort();
    if (launch()) return;
  }
  port_ = 0;
}

Broker::~Broker() { stop(); }

bool Broker::launch() {
  QFile conf(dir_.filePath(QStringLiteral("broker.conf")));
  conf.open(QIODevice::WriteOnly | QIODevice::Truncate);
  QByteArray text = "listener " + QByteArray::number(port_) + " 127.0.0.1\n";
  text += "persistence false\nlog_type all\nlog_dest file " +
          dir_.filePath(QStringLiteral("broker.log")).toUtf8() + "\n";
  if (options_.requirePassword)
    text += "allow_anonymous false\npassword_file " + dir_.filePath(QStringLiteral("pw")).toUtf8() +
            "\n";
  else
    text += "allow_anonymous true\n";
  if (::geteuid() == 0) text += "user root\n";
  conf.write(text);
  conf.close();
  process_ = std::make_unique<QProcess>();
  // Its only words outside the log are the warning about running as root.
  process_->setStandardOutputFile(QProcess::nullDevice());
  process_->setStandardErrorFile(QProcess::nullDevice());
  process_->start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), conf.fileName()});
  if (!process_->waitForStarted(5000)) return false;
  for (int i = 0; i < 400; ++i) {
    if (process_->state() != QProcess::Running) return false;  // e.g. address in use
    if (acceptsConnections(port_)) return true;
    QThread::msleep(5);
  }
  return false;
}

bool Broker::running() const { return process_ && process_->state() == QProcess::Running; }

void Broker::stop() {
  if (!process_) return;
  if (process_->state() != QProcess::NotRunning) {
    process_->terminate();
    if (!process_->waitForFinished(3000)) {
      process_->kill();
      process_->waitForFinished(3000);
    }
  }
  process_.reset();
}

void Broker::start() {
  stop();
  // The old socket may linger for a moment.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (launch()) return;
    QThread::msleep(20);
  }
}

QString Broker::log() const {
  QFile f(dir_.filePath(QStringLiteral("broker.log")));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll());
}

bool Broker::waitForLog(const QString& text, int ms) const {
  return waitFor([&] { return log().contains(text); }, ms);
}

QStringList Broker::logLines(const QString& text) const {
  QStringList out;
  for (const QString& line : log().split(QLatin1Char('\n')))
    if (line.contains(text)) out << line;
  return out;
}

int mosquittoPub(const Broker& broker, const QStringList& args, const QByteArray& stdinData) {
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedChannels);
  p.start(QStringLiteral("mosquitto_pub"),
          QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                      QString::number(broker.port())} +
              args);
  if (!p.waitForStarted(5000)) return -1;
  if (!stdinData.isEmpty()) p.write(stdinData);
  p.closeWriteChannel();
  if (!p.waitForFinished(10000)) {
    p.kill();
    p.waitForFinished();
    return -1;
  }
  return p.exitCode();
}

Subscriber::Subscriber(const Broker& broker, const QString& topic, int qos) {
  const QString id = QStringLiteral("sub-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
  process_ = std::make_unique<QProcess>();
  process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_->start(QStringLiteral("mosquitto_sub"),
                  {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                   QString::number(broker.port()), QStringLiteral("-i"), id, QStringLiteral("-q"),
                   QString::number(qos), QStringLiteral("-V"), QStringLiteral("mqttv5"),
                   QStringLiteral("--retain-as-published"), QStringLiteral("-t"), topic,
                   QStringLiteral("-F"), QStringLiteral("%t|%q|%r|%l|%p\\n")});
  process_->waitForStarted(5000);
  // Ready once the broker has answered its subscription.
  broker.waitForLog(QStringLiteral("Sending SUBACK to ") + id);
}

Subscriber::~Subscriber() {
  process_->kill();
  process_->waitForFinished(3000);
}

QStringList Subscriber::messages() {
  buffer_ += process_->readAllStandardOutput();
  QStringList out = QString::fromUtf8(buffer_).split(QLatin1Char('\n'));
  out.removeLast();  // the unfinished rest after the last line feed
  out.removeAll(QString());
  return out;
}

QStringList Subscriber::waitForMessages(int count, int ms) {
  waitFor([&] { return messages().size() >= count; }, ms);
  return messages();
}

}  // namespace vuvedid::test
