#pragma once
// MQTT.ini beside the executable: loaded once at start-up, written only by the save button,
// one key at a time (app/IniFile.h has the file rules). Reads and writes a Settings value
// and nothing else.
#include <QString>
#include <optional>

#include "app/Settings.h"

namespace vuvedid {

class IniFile;

class SettingsFile {
 public:
  // exeDir: the executable's folder with a trailing "/".
  explicit SettingsFile(QString exeDir) : exe_dir(std::move(exeDir)) {}

  QString exe_dir;

  // exe_dir + "MQTT.ini".
  QString iniPath() const;
  bool exists() const;

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

  // Loads the file into s, which holds the designed values (or what an earlier load left).
  // The file is parsed once; every key is then read from that one picture of it. A
  // non-empty stored text replaces the one in s, an empty or absent one keeps it; the
  // heartbeat text e_con_act is taken even when empty; a flag is set only by "1". A file
  // that does not exist loads as one without keys.
  void load(Settings& s);
  // Writes the seventeen keys in their order (and the TLS keys the loaded file had).
  // Throws FileError on the first key that cannot be written; the keys before it stay.
  void save(const Settings& s);

 private:
  // The TLS keys as the file held them (absent keys are not written by a save).
  std::optional<QString> tlsKeys_[4];
};

}  // namespace vuvedid
