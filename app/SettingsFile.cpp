#include "app/SettingsFile.h"

#include <QFileInfo>

#include "app/IniFile.h"

namespace vuvedid {

namespace {

const QString kFileName = QStringLiteral("MQTT.ini");
const QString kMqtt = QStringLiteral("MQTT");
const QString kFolder = QStringLiteral("folder");
const QString kVolume = QStringLiteral("volume");
const QString kProtokol = QStringLiteral("protokol");
const QString kPlayer = QStringLiteral("player");
const QString kAudio = QStringLiteral("audio");
const char* const kTlsKeys[4] = {"tls", "cafile", "certfile", "keyfile"};

QString readValue(const IniFile& ini, const QString& mykey, const QString& ww, const QString& ss) {
  const std::optional<QString> v = ini.value(mykey, ww);
  if (!v) return ss;
  return trimBlanksAndControls(*v);
}

// Rule T: a non-empty stored value replaces the designed text; empty or absent keeps it.
void ruleT(QString& field, const QString& value) {
  if (!value.isEmpty()) field = value;
}

// Rule B: only "1" ticks; anything else, an absent key included, unticks.
bool ruleB(const QString& value) { return value == QLatin1String("1"); }

QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

QString SettingsFile::iniPath() const { return exe_dir + kFileName; }

bool SettingsFile::exists() const { return QFileInfo::exists(iniPath()); }

QString SettingsFile::readstrini(const QString& fname, const QString& mykey, const QString& ww,
                                 const QString& ss) const {
  // The test is on the settings file itself, whatever fname names.
  if (!exists()) return {};
  return readValue(IniFile::readFile(fname), mykey, ww, ss);
}

void SettingsFile::writestrini(const QString& fname, const QString& mykey, const QString& ss,
                               const QString& ww) {
  IniFile::writeValue(exe_dir + fname, mykey, ww, ss);
}

void SettingsFile::load(Settings& s) {
  const bool present = exists();
  const IniFile ini = present ? IniFile::readFile(iniPath()) : IniFile();
  auto read = [&](const QString& section, const char* key, const QString& def = QString()) {
    return present ? readValue(ini, section, QString::fromLatin1(key), def) : QString();
  };
  const QString zero = QStringLiteral("0");

  ruleT(s.ip, read(kMqtt, "ip"));
  ruleT(s.login, read(kMqtt, "login"));
  ruleT(s.password, read(kMqtt, "password"));
  ruleT(s.topic, read(kMqtt, "topic"));
  ruleT(s.port, read(kMqtt, "port"));
  ruleT(s.UID, read(kMqtt, "UID"));
  s.e_con_act = read(kMqtt, "e_con_act");  // rule A: even an empty value
  ruleT(s.folder_m, read(kFolder, "folder_m"));
  ruleT(s.folder_s, read(kFolder, "folder_s"));
  ruleT(s.eTopicSend, read(kMqtt, "EtopicSend"));
  s.log = ruleB(read(kProtokol, "log", zero));
  s.protokol = ruleB(read(kProtokol, "protokol", zero));
  if (const QString v = read(kVolume, "vol_default"); !v.isEmpty()) s.setVolDefault(v);
  s.chbx_act = ruleB(read(kMqtt, "chbx_act", zero));
  s.povtor = ruleB(read(kMqtt, "povtor", zero));
  s.reconnect = ruleB(read(kMqtt, "reconnect", zero));
  s.shufle = ruleB(read(kPlayer, "shufle", zero));
  for (int i = 0; i < 4; ++i) {
    tlsKeys_[i].reset();
    if (present) {
      if (const std::optional<QString> v = ini.value(kMqtt, QString::fromLatin1(kTlsKeys[i])))
        tlsKeys_[i] = trimBlanksAndControls(*v);
    }
  }
  s.tls.enabled = tlsKeys_[0].value_or(QString()) == QLatin1String("1");
  s.tls.cafile = tlsKeys_[1].value_or(QString());
  s.tls.certfile = tlsKeys_[2].value_or(QString());
  s.tls.keyfile = tlsKeys_[3].value_or(QString());
  s.launchAllow.reset();
  if (present) {
    if (const std::optional<QString> v =
            ini.value(QStringLiteral("launch"), QStringLiteral("allow"))) {
      QStringList patterns;
      for (const QString& p : v->split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString t = p.trimmed();
        if (!t.isEmpty()) patterns << t;
      }
      s.launchAllow = patterns;
    }
  }
  s.audioDevice = read(kAudio, "device");
  bool ok = false;
  const int frames = read(kAudio, "buffer").trimmed().toInt(&ok);
  s.audioBuffer = ok ? frames : 0;
  const int duck = read(kVolume, "duck").trimmed().toInt(&ok);
  s.duck = ok ? duck : -1;
}

void SettingsFile::save(const Settings& s) {
  auto write = [&](const QString& section, const char* key, const QString& value) {
    writestrini(kFileName, section, value, QString::fromLatin1(key));
  };
  write(kMqtt, "ip", s.ip);
  write(kMqtt, "login", s.login);
  write(kMqtt, "password", s.password);
  write(kMqtt, "topic", s.topic);
  write(kMqtt, "eTopicSend", s.eTopicSend);
  write(kMqtt, "port", s.port);
  write(kMqtt, "e_con_act", s.e_con_act);
  write(kMqtt, "UID", s.UID);
  write(kFolder, "folder_m", s.folder_m);
  write(kFolder, "folder_s", s.folder_s);
  write(kVolume, "vol_default", s.vol_default_text);
  write(kProtokol, "log", flag(s.log));
  write(kProtokol, "protokol", flag(s.protokol));
  write(kMqtt, "chbx_act", flag(s.chbx_act));
  write(kMqtt, "povtor", flag(s.povtor));
  write(kMqtt, "reconnect", flag(s.reconnect));
  write(kPlayer, "shufle", flag(s.shufle));
  for (int i = 0; i < 4; ++i) {
    if (tlsKeys_[i]) write(kMqtt, kTlsKeys[i], *tlsKeys_[i]);
  }
}

}  // namespace vuvedid
