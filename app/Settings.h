#pragma once
// The room's settings as one value: what MQTT.ini holds (app/SettingsFile loads and saves
// it), what the settings tab shows and edits, and what the logic reads. The defaults are
// the designed texts of the settings tab, which a file's keys replace at the load.
#include <QString>
#include <QStringList>
#include <optional>

namespace vuvedid {

// [MQTT] tls, cafile, certfile, keyfile: TLS to the broker, off unless tls=1.
struct TlsSettings {
  bool enabled = false;
  QString cafile;    // empty: the system's CA certificates
  QString certfile;  // client certificate and its key, both or neither
  QString keyfile;
};

struct Settings {
  // [MQTT]
  QString ip;
  QString login;
  QString password;
  QString topic = QStringLiteral("recive");
  QString eTopicSend = QStringLiteral("send");
  // The port as typed: any text is kept (and saved) as it is; portNumber() is what a
  // connect uses.
  QString port = QStringLiteral("1883");
  QString e_con_act = QStringLiteral("ping?MAC=DO3VEZEZO");
  QString UID = QStringLiteral("ID1");
  bool chbx_act = false;
  bool povtor = false;
  bool reconnect = false;
  // [folder]
  QString folder_m;
  QString folder_s;
  // [volume] vol_default: the music's starting volume (1 .. 100), and the text it was
  // taken from, which is what a save writes back. Set both through setVolDefault.
  int vol_default = 60;
  QString vol_default_text = QStringLiteral("60");
  // [protokol]
  bool log = true;
  bool protokol = true;
  // [player]
  bool shufle = false;

  // Read, never written by a save (the TLS keys a file had are written back as they were).
  TlsSettings tls;
  // [launch] allow: the programs "cmdstr:" may start (paths or shell patterns separated by
  // ";"); nothing when the key is absent, and then every program starts.
  std::optional<QStringList> launchAllow;
  // [audio] device: the output by the name SDL reports; empty, the default output.
  QString audioDevice;
  // [audio] buffer: device buffer in frames; 0 (absent or no whole number), the default.
  int audioBuffer = 0;
  // [volume] duck: the music's level in percent while an effect or speech sounds; -1
  // (absent, or no whole number) the music never gives way. Values outside 0 .. 100 are
  // kept as read and mean the same as absent.
  int duck = -1;

  // The integer a number field's text stands for: the minimum when it is no integer,
  // limited to minimum .. maximum when they differ.
  static int numberOf(const QString& text, int minimum, int maximum);
  int portNumber() const { return numberOf(port, 0, 0); }
  void setVolDefault(const QString& text) {
    vol_default_text = text;
    vol_default = numberOf(text, 1, 100);
  }
  bool ducking() const { return duck >= 0 && duck <= 100; }
};

}  // namespace vuvedid
