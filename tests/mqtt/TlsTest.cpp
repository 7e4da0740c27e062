// TLS to the broker, opt-in with [MQTT] tls=1: a broker with a certificate from a CA made
// for the test takes the room when the room trusts that CA, and is refused with the connect
// box when the room trusts another one.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "MqttSession.h"
#include "app/SettingsFile.h"
#include "support/AppFiles.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

// A CA, and a certificate for 127.0.0.1 signed by it.
struct TestPki {
  explicit TestPki(const QString& name) {
    const QString ca = path(QStringLiteral("ca.crt"));
    const QString key = path(QStringLiteral("ca.key"));
    const QStringList ecKey{
        QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    ok = runTool(QStringLiteral("openssl"),
                 QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey +
                     QStringList{QStringLiteral("-keyout"), key, QStringLiteral("-out"), ca,
                                 QStringLiteral("-days"), QStringLiteral("2"),
                                 QStringLiteral("-subj"), QStringLiteral("/CN=") + name});
    writeFileOrFail(path(QStringLiteral("ext.cnf")), "subjectAltName=IP:127.0.0.1\n");
    ok = ok && runTool(QStringLiteral("openssl"),
                       QStringList{QStringLiteral("req")} + ecKey +
                           QStringList{QStringLiteral("-keyout"), serverKey(),
                                       QStringLiteral("-out"), path(QStringLiteral("server.csr")),
                                       QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")});
    ok = ok && runTool(QStringLiteral("openssl"),
                       {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                        path(QStringLiteral("server.csr")), QStringLiteral("-CA"), ca,
                        QStringLiteral("-CAkey"), key, QStringLiteral("-CAcreateserial"),
                        QStringLiteral("-out"), serverCert(), QStringLiteral("-days"),
                        QStringLiteral("2"), QStringLiteral("-extfile"),
                        path(QStringLiteral("ext.cnf"))});
  }
  QString path(const QString& name) const { return dir.filePath(name); }
  QString caFile() const { return path(QStringLiteral("ca.crt")); }
  QString serverCert() const { return path(QStringLiteral("server.crt")); }
  QString serverKey() const { return path(QStringLiteral("server.key")); }

  QTemporaryDir dir;
  bool ok = false;
};

}  // namespace

TEST(Tls, TheRoomConnectsWithTheRightCaAndIsRefusedWithAnother) {
  TestPki broker(QStringLiteral("Room test CA")), other(QStringLiteral("Someone else"));
  ASSERT_TRUE(broker.ok && other.ok);
  struct Case {
    const TestPki* trusted;
    bool connects;
  };
  for (const Case c : {Case{&broker, true}, Case{&other, false}}) {
    SCOPED_TRACE(c.connects ? "right CA" : "wrong CA");
    const TestPki* trusted = c.trusted;
    // The keys come from the settings file, as an operator writes them.
    MqttSession s(BrokerOptions{.caFile = broker.caFile(),
                                .certFile = broker.serverCert(),
                                .keyFile = broker.serverKey()},
                  [trusted](FormOptions& o, const Broker& b) {
                    o.prepare = [&b, trusted](const QString& exeDir) {
                      writeFileOrFail(exeDir + QStringLiteral("MQTT.ini"),
                                      settingsFor(b, QStringLiteral("room1")) + "tls=1\ncafile=" +
                                          trusted->caFile().toUtf8() + "\n[protokol]\nlog=1\n");
                    };
                  });
    ASSERT_TRUE(s.form.settings.tls.enabled);
    if (c.connects) {
      ASSERT_TRUE(s.connectAndSubscribe()) << s.sysLog().join('\n').toStdString();
      EXPECT_EQ(mosquittoPub(s.broker, {QStringLiteral("--cafile"), broker.caFile(),
                                        QStringLiteral("-t"), QStringLiteral("recive"),
                                        QStringLiteral("-m"), QStringLiteral("speak:secure")}),
                0);
      EXPECT_TRUE(
          waitFor([&] { return s.f.speech.spoken.contains(QStringLiteral("secure")); }, 5000));
      EXPECT_TRUE(s.f.boxes.boxes.empty());
    } else {
      s.press(&TForm_player::btnConnectClick);
      ASSERT_TRUE(waitFor([&] { return !s.f.boxes.boxes.empty(); }, 10000));
      spin(300);
      EXPECT_EQ(s.f.boxes.boxes.size(), 1u);
      EXPECT_TRUE(s.f.boxes.boxes[0].text.startsWith(QStringLiteral("Ошибка соединения: ")));
      EXPECT_FALSE(s.mqtt.f_connected);
      EXPECT_TRUE(s.form.btnConnect->isEnabled());
      EXPECT_FALSE(s.broker.log().contains(QStringLiteral(" as room1 ")));
    }
  }
}
