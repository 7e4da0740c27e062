// MQTT.ini of any content: the load never fails, and what the save button writes loads
// back into the very same control values. Also the file editor alone: a value set into
// any file reads back as set, and no other setting changes.
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "FuzzApp.h"
#include "FuzzCheck.h"
#include "app/IniFile.h"
#include "app/SettingsFile.h"
#include "support/FormFixture.h"
#include "ui/TForm_player.h"
#include "ui/Widgets.h"

namespace {

using vuvedid::IniFile;
using vuvedid::TForm_player;

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

vuvedid::test::FormFixture* fixture = nullptr;

QStringList controlValues(TForm_player& f) {
  auto tick = [](const QCheckBox* b) { return b->isChecked() ? QStringLiteral("1") : QString(); };
  return {f.eIP->text(),        f.eLogin->text(),   f.ePassword->text(),   f.eTopic->text(),
          f.eTopicSend->text(), f.eport->text(),    f.e_con_act->text(),   f.eUID->text(),
          f.folder_m->text(),   f.folder_s->text(), f.vol_default->text(), tick(f.cxchb_LogEnable),
          tick(f.Protokol),     tick(f.chbx_act),   tick(f.chbx_povtor),   tick(f.chbx_reconnect),
          tick(f.chbx_shufle)};
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
  v = vuvedid::trimBlanksAndControls(v);
  if (v.size() > IniFile::kReadLimit) {
    qsizetype cut = IniFile::kReadLimit;
    if (v[cut - 1].isHighSurrogate()) --cut;
    v.truncate(cut);
  }
  return v;
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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  vuvedid::fuzz::startApplication(argc, argv);
  fixture = new vuvedid::test::FormFixture();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  checkEditor(bytes);

  TForm_player& form = fixture->form();
  const QString ini = fixture->path(QStringLiteral("MQTT.ini"));
  {
    QFile file(ini);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
  }
  fixture->boxes.boxes.clear();
  form.guarded([&] { form.settings->load(); });
  FUZZ_CHECK(fixture->boxes.boxes.empty());
  const QStringList loaded = controlValues(form);

  form.guarded([&] { form.settings->btn_save_mqttClick(); });
  FUZZ_CHECK(fixture->boxes.boxes.size() == 1);
  FUZZ_CHECK(fixture->boxes.boxes[0].text == QStringLiteral("Записано"));
  fixture->boxes.boxes.clear();

  form.guarded([&] { form.settings->load(); });
  FUZZ_CHECK(fixture->boxes.boxes.empty());
  const QStringList reloaded = controlValues(form);
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
