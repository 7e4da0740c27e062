#pragma once
// MQTT.ini beside the executable: loaded once at start-up straight into the controls,
// written only by the save button, one key at a time (app/IniFile.h has the file rules).
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

class IniFile;
class TForm_player;

class SettingsFile {
 public:
  explicit SettingsFile(TForm_player& form);

  // The executable's folder with a trailing "/", set by my_init before the load.
  QString exe_dir;

  // Value of key ww in section mykey of fname, blanks and control characters at both ends
  // removed, at most 2047 characters; ss when the key is absent. Empty text (not even the
  // default) when exe_dir + "MQTT.ini" does not exist.
  QString readstrini(const QString& fname, const QString& mykey, const QString& ww,
                     const QString& ss) const;
  // Writes value ss under key ww of section mykey in the executable's folder + fname,
  // creating file, section and key as needed and leaving every other line as it was.
  // Throws FileError "Unable to write to <path>" on failure.
  void writestrini(const QString& fname, const QString& mykey, const QString& ss,
                   const QString& ww);

  // The settings load of my_init (also makes the player tab active at its place). The
  // file is parsed once; every key is then read from that one picture of it.
  void load();
  // Writes the seventeen keys in table order (and the TLS keys the file had), then shows
  // "Записано".
  void btn_save_mqttClick();

  TlsSettings tls;
  // [launch] allow: the programs "cmdstr:" may start (paths or shell patterns separated by
  // ";"); nothing when the key is absent, and then every program starts.
  std::optional<QStringList> launchAllow;

 private:
  QString iniPath() const;
  static QString readValue(const IniFile& ini, const QString& mykey, const QString& ww,
                           const QString& ss);

  TForm_player& form_;
  // The TLS keys as the file held them (absent keys are not written by a save).
  std::optional<QString> tlsKeys_[4];
};

}  // namespace vuvedid
