#pragma once
// A real mosquitto broker on 127.0.0.1 at a free port, started and stopped by a test, with
// its full log in a file the test can read; and the real mosquitto_pub / mosquitto_sub.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace vuvedid::test {

// A child process started with posix_spawn (which, unlike a fork, leaves the thread
// sanitizer's view of this multi-threaded process intact). Killed when destroyed.
class ChildProcess {
 public:
  // program is a path; env entries "NAME=value" are added to this process's environment.
  // With pipeStdin / pipeStdout the child's stdin / stdout is a pipe to this process, else
  // /dev/null.
  ChildProcess(const QString& program, const QStringList& args, bool pipeStdin = false,
               bool pipeStdout = false, const QStringList& env = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  int pid() const { return pid_; }
  bool running();
  void signal(int sig);
  // Waits up to ms for the child to end; returns its exit status, or -1.
  int wait(int ms);
  void writeAndClose(const QByteArray& data);
  // What the child wrote to its stdout so far (non-blocking).
  QByteArray readAvailable();

 private:
  int pid_ = -1;
  int in_ = -1, out_ = -1;
  int status_ = -1;
};

// Runs a tool found on PATH to its end through ChildProcess; true when it exits with 0
// within ms. Qt's QProcess starts children with a vfork-style clone whose child runs in
// this process's memory, where the thread sanitizer's bookkeeping then goes wrong for every
// thread alive at that moment (it reports races on descriptors that are properly handed
// over).
bool runTool(const QString& program, const QStringList& args, int ms = 120000);

struct BrokerOptions {
  // Refuse anonymous clients; the one account is user / password.
  bool requirePassword = false;
  QString user = QStringLiteral("alice");
  QString password = QStringLiteral("secret");
  // A TLS listener when certFile is set: the server's certificate and key, and the CA it
  // comes from.
  QString caFile = {};
  QString certFile = {};
  QString keyFile = {};
};

class Broker {
 public:
  explicit Broker(BrokerOptions options = {});
  ~Broker();
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  int port() const { return port_; }
  bool running() const;
  // Ends the broker (every client sees its connection drop).
  void stop();
  // Starts it again on the same port.
  void start();
  // Sets the account's password in the password file; reload() makes the broker read it.
  void setPassword(const QString& password);
  void reload();
  // The broker's log so far.
  QString log() const;
  // Waits until the log holds text; returns whether it does.
  bool waitForLog(const QString& text, int ms = 3000) const;
  // The log lines that hold text.
  QStringList logLines(const QString& text) const;

 private:
  bool launch();
  BrokerOptions options_;
  QTemporaryDir dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int freeLocalPort();

// Runs mosquitto_pub with these arguments against the broker (host and port added), feeding
// stdinData; returns its exit code.
int mosquittoPub(const Broker& broker, const QStringList& args, const QByteArray& stdinData = {});

// A mosquitto_sub on one topic that prints "topic|qos|retain|length|payload" per message,
// with the retain flag as the publisher set it.
class Subscriber {
 public:
  Subscriber(const Broker& broker, const QString& topic, int qos = 2);
  ~Subscriber();
  // The messages received so far, one entry each.
  QStringList messages();
  // Spins the event loop until count messages have come (or ms passed).
  QStringList waitForMessages(int count, int ms = 3000);

 private:
  std::unique_ptr<ChildProcess> process_;
  QByteArray buffer_;
};

}  // namespace vuvedid::test
