// MQTT.ini through the settings tab: what a file loads into the controls, what the save
// button writes, and what a failing save leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QCheckBox>
#include <QDir>
#include <QTabWidget>
#include <map>

#include "app/IniFile.h"
#include "app/SettingsFile.h"
#include "support/AppFiles.h"
#include "support/FormFixture.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

using Values = std::map<std::string, QString>;

QString tick(const QCheckBox* b) { return b->isChecked() ? "1" : "0"; }

// The seventeen stored settings and the active page, as the window shows them.
Values shown(TForm_player& f) {
  return {
      {"eIP", f.eIP->text()},
      {"eLogin", f.eLogin->text()},
      {"ePassword", f.ePassword->text()},
      {"eTopic", f.eTopic->text()},
      {"eTopicSend", f.eTopicSend->text()},
      {"eport", f.eport->text()},
      {"e_con_act", f.e_con_act->text()},
      {"eUID", f.eUID->text()},
      {"folder_m", f.folder_m->text()},
      {"folder_s", f.folder_s->text()},
      {"vol_default", f.vol_default->text()},
      {"cxchb_LogEnable", tick(f.cxchb_LogEnable)},
      {"Protokol", tick(f.Protokol)},
      {"chbx_act", tick(f.chbx_act)},
      {"chbx_povtor", tick(f.chbx_povtor)},
      {"chbx_reconnect", tick(f.chbx_reconnect)},
      {"chbx_shufle", tick(f.chbx_shufle)},
      {"page", f.PageControl1->currentWidget()->objectName()},
  };
}

// What any existing file without keys gives: designed texts, an empty heartbeat text,
// every box unticked, the player page.
Values fileWithoutKeys() {
  return {
      {"eIP", ""},
      {"eLogin", ""},
      {"ePassword", ""},
      {"eTopic", "recive"},
      {"eTopicSend", "send"},
      {"eport", "1883"},
      {"e_con_act", ""},
      {"eUID", "ID1"},
      {"folder_m", ""},
      {"folder_s", ""},
      {"vol_default", "60"},
      {"cxchb_LogEnable", "0"},
      {"Protokol", "0"},
      {"chbx_act", "0"},
      {"chbx_povtor", "0"},
      {"chbx_reconnect", "0"},
      {"chbx_shufle", "0"},
      {"page", "TabSheet1"},
  };
}

FormOptions withIni(const QByteArray& content) {
  FormOptions o;
  o.prepare = [content](const QString& exeDir) { writeBytes(exeDir + "MQTT.ini", content); };
  return o;
}

struct LoadCase {
  const char* name;
  QByteArray file;
  Values differences;  // from fileWithoutKeys()
};

TEST(SettingsLoad, FileIntoControls) {
  const QByteArray long3000(3000, 'm');
  const LoadCase cases[] = {
      {"only the broker address", "[MQTT]\nip=10.0.0.5\n", {{"eIP", "10.0.0.5"}}},
      {"status topic under the written spelling",
       "[MQTT]\neTopicSend=status\n",
       {{"eTopicSend", "status"}}},
      {"only 1 ticks",
       "[protokol]\nlog=yes\nprotokol=true\n[MQTT]\nchbx_act= 1 \n",
       {{"chbx_act", "1"}}},
      {"empty UID keeps the design, heartbeat text set",
       "[MQTT]\nUID=\ne_con_act=ping\n",
       {{"e_con_act", "ping"}}},
      {"UID without heartbeat text", "[MQTT]\nUID=ID7\n", {{"eUID", "ID7"}}},
      {"a 3000-character value",
       "[folder]\nfolder_m=" + long3000 + "\n",
       {{"folder_m", QString(2047, QLatin1Char('m'))}}},
      {"numbers taken as text",
       "[MQTT]\nport=abc\n[volume]\nvol_default=250\n",
       {{"eport", "abc"}, {"vol_default", "250"}}},
      {"hand-edited: case, blanks, CRLF, byte-order mark",
       "\xEF\xBB\xBF[mqtt]\r\n  IP = 10.0.0.9 \r\n; "
       "note\r\nTOPIC=\tзал\r\n[PLAYER]\r\nShufle=1\r\n",
       {{"eIP", "10.0.0.9"}, {"eTopic", "зал"}, {"chbx_shufle", "1"}}},
      {"every key",
       "[MQTT]\nip=h\nlogin=l\npassword=p\ntopic=t\neTopicSend=s\nport=1\ne_con_act=a\nUID=u\n"
       "chbx_act=1\npovtor=1\nreconnect=1\n[folder]\nfolder_m=/m\nfolder_s=/s\n[volume]\n"
       "vol_default=7\n[protokol]\nlog=1\nprotokol=1\n[player]\nshufle=1\n",
       {{"eIP", "h"},
        {"eLogin", "l"},
        {"ePassword", "p"},
        {"eTopic", "t"},
        {"eTopicSend", "s"},
        {"eport", "1"},
        {"e_con_act", "a"},
        {"eUID", "u"},
        {"folder_m", "/m"},
        {"folder_s", "/s"},
        {"vol_default", "7"},
        {"cxchb_LogEnable", "1"},
        {"Protokol", "1"},
        {"chbx_act", "1"},
        {"chbx_povtor", "1"},
        {"chbx_reconnect", "1"},
        {"chbx_shufle", "1"}}},
      {"garbage", raw("\0\xff\xfe[[==\n"), {}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture f(withIni(c.file));
    Values expected = fileWithoutKeys();
    for (const auto& [k, v] : c.differences) expected[k] = v;
    EXPECT_EQ(shown(f.form()), expected);
  }
}

// A folder where the file should be exists but cannot be read: it loads as a file
// without keys.
TEST(SettingsLoad, UnreadableFileActsAsNoKeys) {
  FormOptions o;
  o.prepare = [](const QString& exeDir) { QDir().mkpath(exeDir + "MQTT.ini"); };
  FormFixture f(o);
  EXPECT_EQ(shown(f.form()), fileWithoutKeys());
}

TEST(SettingsFileRead, AnswersOnlyWhenTheSettingsFileExists) {
  FormFixture f;  // no MQTT.ini
  SettingsFile& s = *f.form().settingsFile;
  const QString other = f.path("other.ini");
  writeBytes(other, "[A]\nk= value \n");
  EXPECT_EQ(s.readstrini(other, "A", "k", "def"), "");
  EXPECT_EQ(s.readstrini(other, "A", "missing", "def"), "");

  writeBytes(f.path("MQTT.ini"), "");
  EXPECT_EQ(s.readstrini(other, "A", "k", "def"), "value");
  EXPECT_EQ(s.readstrini(other, "A", "missing", "def"), "def");
}

const QByteArray kDesignedFile =
    "[MQTT]\nip=\nlogin=\npassword=\ntopic=recive\neTopicSend=send\nport=1883\n"
    "e_con_act=ping?MAC=DO3VEZEZO\nUID=ID1\nchbx_act=0\npovtor=0\nreconnect=0\n"
    "[folder]\nfolder_m=\nfolder_s=\n[volume]\nvol_default=60\n[protokol]\nlog=1\nprotokol=1\n"
    "[player]\nshufle=0\n";

TEST(SettingsSave, FirstSaveCreatesTheFileInOrder) {
  FormFixture f;
  f.form().btn_save_mqttClick();
  EXPECT_EQ(readBytes(f.path("MQTT.ini")), kDesignedFile);
  EXPECT_EQ(modeOf(f.path("MQTT.ini")), 0600);
  ASSERT_EQ(f.boxes.boxes.size(), 1u);
  EXPECT_EQ(f.boxes.boxes[0].icon, BoxIcon::None);
  EXPECT_EQ(f.boxes.boxes[0].caption, "Vuvedid");
  EXPECT_EQ(f.boxes.boxes[0].text, "Записано");

  // Saving again without changes gives the same bytes.
  f.form().btn_save_mqttClick();
  EXPECT_EQ(readBytes(f.path("MQTT.ini")), kDesignedFile);
}

// The TLS keys: absent by default (the designed file above has none); when a file has
// them they are read, and a save keeps them, values and all, without adding any.
TEST(SettingsSave, TlsKeysAreReadAndKeptOnlyWhenPresent) {
  const QByteArray original =
      "[MQTT]\r\nip=broker.example\r\nport=8883\r\ntls=1\r\ncafile=/etc/room/ca.pem\r\n"
      "certfile=/etc/room/room.crt\r\nkeyfile=/etc/room/room.key\r\n";
  FormFixture f(withIni(original));
  const TlsSettings& tls = f.form().settings.tls;
  EXPECT_TRUE(tls.enabled);
  EXPECT_EQ(tls.cafile, "/etc/room/ca.pem");
  EXPECT_EQ(tls.certfile, "/etc/room/room.crt");
  EXPECT_EQ(tls.keyfile, "/etc/room/room.key");
  f.form().btn_save_mqttClick();
  const QByteArray saved = readBytes(f.path("MQTT.ini"));
  EXPECT_TRUE(saved.startsWith(original)) << saved.toStdString();

  FormFixture plain(withIni("[MQTT]\nip=1.2.3.4\n"));
  EXPECT_FALSE(plain.form().settings.tls.enabled);
  plain.form().btn_save_mqttClick();
  const QByteArray plainSaved = readBytes(plain.path("MQTT.ini"));
  for (const char* key : {"tls", "cafile", "certfile", "keyfile"})
    EXPECT_FALSE(plainSaved.contains(QByteArray("\n") + key + "=")) << key;
}

// A hand-written file keeps its comments, unknown lines, foreign sections and CRLF
// endings; only the values of the stored keys change, and a second save changes nothing.
TEST(SettingsSave, HandWrittenFileSurvives) {
  const QByteArray original =
      "; Hall 2 player\r\n"
      "[MQTT]\r\n"
      "IP = 10.0.0.5\r\n"
      "# who we are\r\n"
      "login=old\r\n"
      "a line of its own\r\n"
      "\r\n"
      "[Extra]\r\n"
      "foo=bar\r\n";
  FormFixture f(withIni(original));
  f.form().eLogin->setText("new");
  f.form().btn_save_mqttClick();
  const QByteArray saved = readBytes(f.path("MQTT.ini"));
  f.form().btn_save_mqttClick();
  EXPECT_EQ(readBytes(f.path("MQTT.ini")), saved);

  EXPECT_FALSE(QByteArray(saved).replace("\r\n", "").contains('\n'));
  QList<QByteArray> lines = readBytes(f.path("MQTT.ini")).split('\n');
  ASSERT_EQ(lines.takeLast(), "");
  for (QByteArray& l : lines) {
    ASSERT_TRUE(l.endsWith('\r'));
    l.chop(1);
  }
  // Every original line but the touched one, in order.
  qsizetype at = 0;
  for (const QByteArray& want : original.split('\n')) {
    if (want.isEmpty()) continue;
    const QByteArray line = want.chopped(1);
    if (line == "login=old") continue;
    at = lines.indexOf(line, at);
    ASSERT_GE(at, 0) << line.toStdString();
  }
  EXPECT_TRUE(lines.contains("login=new"));
  EXPECT_FALSE(lines.contains("ip=10.0.0.5"));  // the existing key kept its own spelling
  const IniFile ini = IniFile::readFile(f.path("MQTT.ini"));
  EXPECT_EQ(ini.value("Extra", "foo"), "bar");
  EXPECT_EQ(ini.value("MQTT", "topic"), "recive");
  EXPECT_EQ(ini.value("player", "shufle"), "0");
}

TEST(SettingsSave, CyrillicReadsBackAsWritten) {
  QByteArray saved;
  {
    FormFixture f;
    f.form().folder_m->setText("/srv/музыка/Зал №2");
    f.form().eTopic->setText("комната/приём");
    f.form().e_con_act->setText("жив?MAC=Ё");
    f.form().btn_save_mqttClick();
    saved = readBytes(f.path("MQTT.ini"));
  }
  EXPECT_TRUE(saved.contains(QString("комната/приём").toUtf8()));
  FormFixture g(withIni(saved));
  EXPECT_EQ(g.form().folder_m->text(), "/srv/музыка/Зал №2");
  EXPECT_EQ(g.form().eTopic->text(), "комната/приём");
  EXPECT_EQ(g.form().e_con_act->text(), "жив?MAC=Ё");
}

// A folder standing where the file should be: the error names the file, nothing is
// confirmed and the controls keep what the user entered.
TEST(SettingsSave, FailureReportedAndControlsKept) {
  FormFixture f;
  QDir().mkpath(f.path("MQTT.ini"));
  f.form().eIP->setText("10.1.1.1");
  f.form().chbx_act->setChecked(true);
  const Values before = shown(f.form());
  f.form().guarded([&] { f.form().btn_save_mqttClick(); });
  ASSERT_EQ(f.boxes.boxes.size(), 1u);
  EXPECT_EQ(f.boxes.boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(f.boxes.boxes[0].caption, "Vuvedid");
  EXPECT_EQ(f.boxes.boxes[0].text, "Unable to write to " + f.path("MQTT.ini") + ".");
  EXPECT_EQ(shown(f.form()), before);
  EXPECT_TRUE(QFileInfo(f.path("MQTT.ini")).isDir());
}

// A save that fails part way (the file may not grow past a size limit): the keys before
// the failing one stay written, those after it are not, the old file is never cut short.
TEST(SettingsSave, FailurePartWayKeepsEarlierKeys) {
  FormFixture f;
  f.form().eIP->setText("10.2.2.2");
  f.form().folder_m->setText(QString(3000, QLatin1Char('x')));  // key 9 outgrows the limit

  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  f.form().guarded([&] { f.form().btn_save_mqttClick(); });
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(f.boxes.texts(), QStringList{"Unable to write to " + f.path("MQTT.ini") + "."});
  const IniFile ini = IniFile::readFile(f.path("MQTT.ini"));
  EXPECT_EQ(ini.value("MQTT", "ip"), "10.2.2.2");
  EXPECT_EQ(ini.value("MQTT", "UID"), "ID1");
  EXPECT_EQ(ini.value("folder", "folder_m"), std::nullopt);
  EXPECT_EQ(ini.value("player", "shufle"), std::nullopt);
  // No temporary file is left behind.
  EXPECT_EQ(QDir(f.exeDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"MQTT.ini"});
}

}  // namespace
