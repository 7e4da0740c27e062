#include "support/Broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>
#include <string>
#include <vector>

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

ChildProcess::ChildProcess(const QString& program, const QStringList& args, bool pipeStdin,
                           bool pipeStdout, const QStringList& env) {
  std::vector<std::string> argStrings{program.toStdString()};
  for (const QString& a : args) argStrings.push_back(a.toStdString());
  std::vector<char*> argv;
  for (auto& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    const QString entry = QString::fromLocal8Bit(*e);
    const QString name = entry.section(QLatin1Char('='), 0, 0) + QLatin1Char('=');
    // A name given in env replaces the inherited one.
    bool replaced = false;
    for (const QString& mine : env) replaced = replaced || mine.startsWith(name);
    if (!replaced) envStrings.emplace_back(*e);
  }
  for (const QString& e : env) envStrings.push_back(e.toStdString());
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1};
  if (pipeStdin && ::pipe2(inPipe, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (pipeStdout && ::pipe2(outPipe, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argStrings[0].c_str(), &actions, nullptr, argv.data(), envp.data()) == 0)
    pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  if (inPipe[0] >= 0) ::close(inPipe[0]);
  if (outPipe[1] >= 0) ::close(outPipe[1]);
  in_ = inPipe[1];
  out_ = outPipe[0];
  if (out_ >= 0) ::fcntl(out_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
  if (running()) {
    signal(SIGKILL);
    wait(3000);
  }
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
}

bool ChildProcess::running() {
  if (pid_ <= 0 || status_ >= 0) return false;
  int st = 0;
  if (::waitpid(pid_, &st, WNOHANG) == pid_) {
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
  }
  return true;
}

void ChildProcess::signal(int sig) {
  if (running()) ::kill(pid_, sig);
}

int ChildProcess::wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (running() && t.elapsed() < ms) ::usleep(2000);
  return status_;
}

void ChildProcess::writeAndClose(const QByteArray& data) {
  if (in_ < 0) return;
  qsizetype done = 0;
  while (done < data.size()) {
    const ssize_t n =
        ::write(in_, data.constData() + done, static_cast<size_t>(data.size() - done));
    if (n <= 0) break;
    done += n;
  }
  ::close(in_);
  in_ = -1;
}

QByteArray ChildProcess::readAvailable() {
  QByteArray got;
  if (out_ < 0) return got;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(out_, buf, sizeof buf)) > 0) got.append(buf, n);
  return got;
}

bool runTool(const QString& program, const QStringList& args, int ms) {
  const QString path = QStandardPaths::findExecutable(program);
  if (path.isEmpty()) return false;
  ChildProcess p(path, args);
  return p.started() && p.wait(ms) == 0;
}

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
    ChildProcess pw(QStringLiteral("/usr/bin/mosquitto_passwd"),
                    {QStringLiteral("-c"), QStringLiteral("-b"),
                     dir_.filePath(QStringLiteral("pw")), options_.user, options_.password});
    pw.wait(5000);
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
  if (!options_.certFile.isEmpty())
    text += "cafile " + options_.caFile.toUtf8() + "\ncertfile " + options_.certFile.toUtf8() +
            "\nkeyfile " + options_.keyFile.toUtf8() + "\n";
  if (options_.requirePassword)
    text += "allow_anonymous false\npassword_file " + dir_.filePath(QStringLiteral("pw")).toUtf8() +
            "\n";
  else
    text += "allow_anonymous true\n";
  if (::geteuid() == 0) text += "user root\n";
  conf.write(text);
  conf.close();
  process_ = std::make_unique<ChildProcess>(QStringLiteral("/usr/sbin/mosquitto"),
                                            QStringList{QStringLiteral("-c"), conf.fileName()});
  if (!process_->started()) return false;
  for (int i = 0; i < 400; ++i) {
    if (!process_->running()) return false;  // e.g. address in use
    if (acceptsConnections(port_)) return true;
    QThread::msleep(5);
  }
  return false;
}

bool Broker::running() const { return process_ && process_->running(); }

void Broker::stop() {
  if (!process_) return;
  process_->signal(SIGTERM);
  if (process_->wait(3000) < 0) {
    process_->signal(SIGKILL);
    process_->wait(3000);
  }
  process_.reset();
}

void Broker::setPassword(const QString& password) {
  ChildProcess pw(
      QStringLiteral("/usr/bin/mosquitto_passwd"),
      {QStringLiteral("-b"), dir_.filePath(QStringLiteral("pw")), options_.user, password});
  pw.wait(5000);
}

void Broker::reload() {
  if (process_) process_->signal(SIGHUP);
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
  ChildProcess p(QStringLiteral("/usr/bin/mosquitto_pub"),
                 QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("-p"), QString::number(broker.port())} +
                     args,
                 true);
  if (!p.started()) return -1;
  p.writeAndClose(stdinData);
  return p.wait(10000);
}

Subscriber::Subscriber(const Broker& broker, const QString& topic, int qos) {
  const QString id = QStringLiteral("sub-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
  process_ = std::make_unique<ChildProcess>(
      QStringLiteral("/usr/bin/mosquitto_sub"),
      QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                  QString::number(broker.port()), QStringLiteral("-i"), id, QStringLiteral("-q"),
                  QString::number(qos), QStringLiteral("-V"), QStringLiteral("mqttv5"),
                  QStringLiteral("--retain-as-published"), QStringLiteral("-t"), topic,
                  QStringLiteral("-F"), QStringLiteral("%t|%q|%r|%l|%p\\n")},
      false, true);
  // Ready once the broker has answered its subscription.
  broker.waitForLog(QStringLiteral("Sending SUBACK to ") + id);
}

Subscriber::~Subscriber() = default;

QStringList Subscriber::messages() {
  buffer_ += process_->readAvailable();
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
