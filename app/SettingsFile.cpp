#include "app/SettingsFile.h"

#include "ui/TForm_player.h"

namespace vuvedid {

SettingsFile::SettingsFile(TForm_player& form) : form_(form) {}
QString SettingsFile::readstrini(const QString&, const QString&, const QString&,
                                 const QString&) const {
  return {};
}
void SettingsFile::writestrini(const QString&, const QString&, const QString&, const QString&) {}
void SettingsFile::load() {}
void SettingsFile::btn_save_mqttClick() {}

}  // namespace vuvedid
