// MQTT.ini of any content: the load never fails, and what the save writes loads back into
// the very same settings. Also the file editor alone: a value set into any file reads back
// as set, and no other setting changes.
#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>

#include "FuzzCheck.h"
#include "app/Errors.h"
#include "app/IniFile.h"
#include "app/SettingsFile.h"

namespace {

using vuvedid::IniFile;
using vuvedid::Settings;

struct Key {
  const char* section;
  const char* key;
};
// Every key the program reads or writes.
constexpr Key kKeys[] = {
    {"MQTT", "ip"},           {"MQTT", "login"},         {"MQTT", "password"},
    {"MQTT", "topic"},        {"MQTT", "EtopicSend"},    {"MQTT", "port"},
    {"MQTT", "e_con_act"},    {"MQTT", "UID"},           {"folder", "folder_m"},
    {"folder", "folder_s"},   {"volume", "vol_default"}, {"protokol", "log"},
    {"protokol", "protokol"}, {"MQTT", "chbx_act"},      {"MQTT", "povtor"},
    {"MQTT", "reconnect"},    {"player", "shufle"}};

QTemporaryDir* exeDir = nullptr;

// The seventeen stored settings, in kKeys order.
QStringList storedValues(const Settings& s) {
  auto tick = [](bool on) { return on ? QStringLiteral("1") : QString(); };
  return {s.ip,
          s.login,
          s.password,
          s.topic,
          s.eTopicSend,
          s.port,
          s.e_con_act,
          s.UID,
          s.folder_m,
          s.folder_s,
          s.vol_default_text,
          tick(s.log),
          tick(s.protokol),
          tick(s.chbx_act),
          tick(s.povtor),
          tick(s.reconnect),
          tick(s.shufle)};
}

// What a value set through the editor reads back as.
QString asRead(const QString& value) {
  QString v = value;
  for (QChar& c : v)
    if (c == u'\r' || c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
      c = u' ';
  // The stored bytes are UTF-8: a lone surrogate is stored (and read) as U+FFFD; a U+FEFF
  // that begins the value is kept.
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                  QStringConverter::Flag::ConvertInitialBom);
  v = utf8.decode(v.toUtf8());
  return vuvedid::cutText(vuvedid::trimBlanksAndControls(v), IniFile::kReadLimit);
}

void checkEditor(const QByteArray& bytes) {
  const IniFile before = IniFile::fromBytes(bytes);
  // The last input byte picks a key, the last line of the input is the new value.
  const Key& k = kKeys[bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes.back()) % 17];
  const qsizetype nl = bytes.lastIndexOf('\n');
  const QString value = QString::fromUtf8(bytes.mid(nl + 1));
  IniFile after = before;
  after.setValue(QString::fromLatin1(k.section), QString::fromLatin1(k.key), value);
  const IniFile reread = IniFile::fromBytes(after.bytes());
  const auto got = reread.value(QString::fromLatin1(k.section), QString::fromLatin1(k.key));
  FUZZ_CHECK(got && *got == asRead(value));
  for (const Key& other : kKeys) {
    if (&other == &k) continue;
    const QString s = QString::fromLatin1(other.section), n = QString::fromLatin1(other.key);
    FUZZ_CHECK(reread.value(s, n) == before.value(s, n));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  exeDir = new QTemporaryDir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  checkEditor(bytes);

  vuvedid::SettingsFile file(exeDir->path() + QLatin1Char('/'));
  {
    QFile f(file.iniPath());
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(bytes) == bytes.size());
  }
  Settings s;
  file.load(s);
  const QStringList loaded = storedValues(s);

  try {
    file.save(s);
  } catch (const vuvedid::FileError&) {
    FUZZ_CHECK(!"save writes any loaded settings");
  }

  file.load(s);
  const QStringList reloaded = storedValues(s);
  // A value comes back as loaded; only a line break inside it (a lone CR, U+2028) is
  // saved as a blank, since a value is one line.
  for (int i = 0; i < loaded.size(); ++i) {
    if (reloaded[i] == loaded[i] || reloaded[i] == asRead(loaded[i])) continue;
    std::fprintf(stderr, "setting %s/%s: loaded \"%s\", reloaded \"%s\"\n", kKeys[i].section,
                 kKeys[i].key, qPrintable(loaded[i]), qPrintable(reloaded[i]));
    FUZZ_CHECK(!"saved value reads back");
  }
  return 0;
}
