#pragma once
// A real broker and a real window set up to talk to it, for the tests of the broker session.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>

#include "mqtt/MqttClient.h"
#include "support/Broker.h"
#include "support/FormFixture.h"

namespace vuvedid::test {

inline QStringList lines(const QPlainTextEdit* log) {
  const QString text = log->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

struct MqttSession {
  // formSetup may fill the window's options once the broker's port is known.
  explicit MqttSession(BrokerOptions brokerOptions = {},
                       std::function<void(FormOptions&, const Broker&)> formSetup = {})
      : broker(brokerOptions), f(options(broker, formSetup)), form(f.form()), mqtt(*form.mqtt) {
    form.eIP->setText(QStringLiteral("127.0.0.1"));
    form.eport->setText(QString::number(broker.port()));
    form.eLogin->setText(QStringLiteral("room1"));
  }

  static FormOptions options(const Broker& broker,
                             const std::function<void(FormOptions&, const Broker&)>& setup) {
    FormOptions o;
    if (setup) setup(o, broker);
    return o;
  }

  // Presses a button the way an event does: the silent abort ends only that press.
  void press(void (TForm_player::*handler)()) {
    form.guarded([&] { (form.*handler)(); });
  }
  bool connect(int ms = 3000) {
    press(&TForm_player::btnConnectClick);
    return waitFor([&] { return mqtt.f_connected.load() && !mqtt.busyCursor(); }, ms);
  }
  // Subscribes to eTopic and waits for the broker's acknowledgement.
  bool subscribe(int ms = 3000) {
    const qsizetype acks = count(QStringLiteral("Callback_on_subscribe"));
    press(&TForm_player::btn_SUBClick);
    return waitFor([&] { return count(QStringLiteral("Callback_on_subscribe")) > acks; }, ms);
  }
  bool connectAndSubscribe() { return connect() && subscribe(); }
  // Publishes with mosquitto_pub to the command topic.
  int send(const QStringList& args, const QByteArray& stdinData = {}) {
    return mosquittoPub(broker, QStringList{QStringLiteral("-t"), form.eTopic->text()} + args,
                        stdinData);
  }
  // System-log lines that start with prefix.
  qsizetype count(const QString& prefix) const {
    qsizetype n = 0;
    for (const QString& l : sysLog()) n += l.startsWith(prefix) ? 1 : 0;
    return n;
  }
  QStringList protocol() const { return lines(form.M_protokol); }
  QStringList sysLog() const { return lines(form.memo2); }
  QStringList boxTexts() const { return f.boxes.texts(); }

  Broker broker;
  FormFixture f;
  TForm_player& form;
  MqttClient& mqtt;
};

// The stamp the fixed clock gives a received message's protocol line.
// Settings that point the program at the broker as client login, on topic "recive".
inline QByteArray settingsFor(const Broker& broker, const QString& login) {
  return "[MQTT]\nip=127.0.0.1\nlogin=" + login.toUtf8() +
         "\nport=" + QByteArray::number(broker.port()) + "\ntopic=recive\n";
}

inline QString monthFirst(const QString& payload) {
  return payload + QStringLiteral(" 12.09.23 14:05:07");
}
inline QString dayFirst(const QString& payload) {
  return payload + QStringLiteral(" 09.12.23 14:05:07");
}

}  // namespace vuvedid::test
