#include "app/SettingsFile.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QTabWidget>
#include <cstdio>

#include "app/AppInfo.h"
#include "app/IniFile.h"
#include "audio/SdlAudioLibrary.h"
#include "commands/Room.h"
#include "commands/SpeechDispatcher.h"
#include "ui/MessageBoxes.h"
#include "ui/TForm_player.h"

namespace vuvedid {

namespace {

const QString kFileName = QStringLiteral("MQTT.ini");
const QString kMqtt = QStringLiteral("MQTT");
const QString kFolder = QStringLiteral("folder");
const QString kVolume = QStringLiteral("volume");
const QString kProtokol = QStringLiteral("protokol");
const QString kPlayer = QStringLiteral("player");
const char* const kTlsKeys[4] = {"tls", "cafile", "certfile", "keyfile"};

// Rule T: a non-empty stored value replaces the designed text; empty or absent keeps it.
template <class Control>
void ruleT(Control* control, const QString& value) {
  if (!value.isEmpty()) control->setText(value);
}

// Rule B: only "1" ticks; anything else, an absent key included, unticks.
void ruleB(QCheckBox* box, const QString& value) { box->setChecked(value == QLatin1String("1")); }

QString flag(const QCheckBox* box) {
  return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

SettingsFile::SettingsFile(TForm_player& form) : form_(form) {}

QString SettingsFile::iniPath() const { return exe_dir + kFileName; }

QString SettingsFile::readValue(const IniFile& ini, const QString& mykey, const QString& ww,
                                const QString& ss) {
  const std::optional<QString> v = ini.value(mykey, ww);
  if (!v) return ss;
  return trimBlanksAndControls(*v);
}

QString SettingsFile::readstrini(const QString& fname, const QString& mykey, const QString& ww,
                                 const QString& ss) const {
  // The test is on the settings file itself, whatever fname names.
  if (!QFileInfo::exists(iniPath())) return {};
  return readValue(IniFile::readFile(fname), mykey, ww, ss);
}

void SettingsFile::writestrini(const QString& fname, const QString& mykey, const QString& ss,
                               const QString& ww) {
  IniFile::writeValue(form_.services.exeDir + fname, mykey, ww, ss);
}

void SettingsFile::load() {
  TForm_player& f = form_;
  const bool present = QFileInfo::exists(iniPath());
  const IniFile ini = present ? IniFile::readFile(iniPath()) : IniFile();
  auto read = [&](const QString& section, const char* key, const QString& def = QString()) {
    return present ? readValue(ini, section, QString::fromLatin1(key), def) : QString();
  };
  const QString zero = QStringLiteral("0");

  ruleT(f.eIP, read(kMqtt, "ip"));
  ruleT(f.eLogin, read(kMqtt, "login"));
  ruleT(f.ePassword, read(kMqtt, "password"));
  ruleT(f.eTopic, read(kMqtt, "topic"));
  ruleT(f.eport, read(kMqtt, "port"));
  ruleT(f.eUID, read(kMqtt, "UID"));
  f.e_con_act->setText(read(kMqtt, "e_con_act"));  // rule A: even an empty value
  ruleT(f.folder_m, read(kFolder, "folder_m"));
  ruleT(f.folder_s, read(kFolder, "folder_s"));
  f.PageControl1->setCurrentWidget(f.TabSheet1);
  ruleT(f.eTopicSend, read(kMqtt, "EtopicSend"));
  ruleB(f.cxchb_LogEnable, read(kProtokol, "log", zero));
  ruleB(f.Protokol, read(kProtokol, "protokol", zero));
  ruleT(f.vol_default, read(kVolume, "vol_default"));
  ruleB(f.chbx_act, read(kMqtt, "chbx_act", zero));
  ruleB(f.chbx_povtor, read(kMqtt, "povtor", zero));
  ruleB(f.chbx_reconnect, read(kMqtt, "reconnect", zero));
  ruleB(f.chbx_shufle, read(kPlayer, "shufle", zero));
  for (int i = 0; i < 4; ++i) {
    tlsKeys_[i].reset();
    if (present) {
      if (const std::optional<QString> v = ini.value(kMqtt, QString::fromLatin1(kTlsKeys[i])))
        tlsKeys_[i] = trimBlanksAndControls(*v);
    }
  }
  tls.enabled = tlsKeys_[0].value_or(QString()) == QLatin1String("1");
  tls.cafile = tlsKeys_[1].value_or(QString());
  tls.certfile = tlsKeys_[2].value_or(QString());
  tls.keyfile = tlsKeys_[3].value_or(QString());
  launchAllow.reset();
  if (present) {
    if (const std::optional<QString> v =
            ini.value(QStringLiteral("launch"), QStringLiteral("allow"))) {
      QStringList patterns;
      for (const QString& p : v->split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString t = p.trimmed();
        if (!t.isEmpty()) patterns << t;
      }
      launchAllow = patterns;
    }
  }
  f.room->launcher.allow = launchAllow;
  // [audio] device: the output by the name SDL reports, taken by the Init that follows
  // this load; its notices (a missing output, a lost one opened again) go to the system log.
  if (auto* sdl = dynamic_cast<SdlAudioLibrary*>(f.services.audio)) {
    sdl->setDeviceName(read(QStringLiteral("audio"), "device"));
    // [audio] buffer: device buffer in frames; absent or no whole number, the default.
    bool ok = false;
    const int frames = read(QStringLiteral("audio"), "buffer").trimmed().toInt(&ok);
    sdl->setBufferFrames(ok ? frames : 0);
    // [volume] duck: the music's level in percent while an effect or speech sounds;
    // absent (or outside 0 .. 100) the music never gives way.
    const int duck = read(kVolume, "duck").trimmed().toInt(&ok);
    sdl->setDucking(ok ? duck : -1);
    if (auto* speech = dynamic_cast<SpeechDispatcher*>(f.services.speech)) {
      if (ok && duck >= 0 && duck <= 100)
        speech->onSounding([sdl](bool on) { sdl->setSpeechSounding(on); });
      else
        speech->onSounding(nullptr);
    }
    sdl->setNotice([&f](const QString& line) {
      f.AddSysLog(line);
      std::fprintf(stderr, "%s\n", line.toUtf8().constData());  // the journal, when a service
    });
  }
}

void SettingsFile::btn_save_mqttClick() {
  TForm_player& f = form_;
  auto write = [&](const QString& section, const char* key, const QString& value) {
    writestrini(kFileName, section, value, QString::fromLatin1(key));
  };
  write(kMqtt, "ip", f.eIP->text());
  write(kMqtt, "login", f.eLogin->text());
  write(kMqtt, "password", f.ePassword->text());
  write(kMqtt, "topic", f.eTopic->text());
  write(kMqtt, "eTopicSend", f.eTopicSend->text());
  write(kMqtt, "port", f.eport->text());
  write(kMqtt, "e_con_act", f.e_con_act->text());
  write(kMqtt, "UID", f.eUID->text());
  write(kFolder, "folder_m", f.folder_m->text());
  write(kFolder, "folder_s", f.folder_s->text());
  write(kVolume, "vol_default", f.vol_default->text());
  write(kProtokol, "log", flag(f.cxchb_LogEnable));
  write(kProtokol, "protokol", flag(f.Protokol));
  write(kMqtt, "chbx_act", flag(f.chbx_act));
  write(kMqtt, "povtor", flag(f.chbx_povtor));
  write(kMqtt, "reconnect", flag(f.chbx_reconnect));
  write(kPlayer, "shufle", flag(f.chbx_shufle));
  for (int i = 0; i < 4; ++i) {
    if (tlsKeys_[i]) write(kMqtt, kTlsKeys[i], *tlsKeys_[i]);
  }
  f.services.boxes->show(BoxIcon::None, QString::fromLatin1(kAppTitle), QStringLiteral("Записано"));
}

}  // namespace vuvedid
