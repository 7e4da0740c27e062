#pragma once
// A real mosquitto broker on 127.0.0.1 at a free port, started and stopped by a test, with
// its full log in a file the test can read; and the real mosquitto_pub / mosquitto_sub.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace vuvedid::test {

struct BrokerOptions {
  // Refuse anonymous clients; the one account is user / password.
  bool requirePassword = false;
  QString user = QStringLiteral("alice");
  QString password = QStringLiteral("secret");
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
  std::unique_ptr<QProcess> process_;
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
  std::unique_ptr<QProcess> process_;
  QByteArray buffer_;
};

}  // namespace vuvedid::test
