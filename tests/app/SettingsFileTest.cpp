// MQTT.ini without a window: what a file loads into the settings (the designed values a
// key replaces or keeps, the flags, the numbers, the opt-in keys), and what a save writes.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <functional>

#include "app/Errors.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "support/AppFiles.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

struct Folder {
  QTemporaryDir dir;
  QString exeDir = dir.path() + '/';
  SettingsFile file{exeDir};
};

// What a file without keys gives: the designed texts, an empty heartbeat text, every flag
// off, nothing opt-in.
Settings noKeys() {
  Settings s;
  s.e_con_act.clear();
  s.log = s.protokol = false;
  return s;
}

void expectSame(const Settings& got, const Settings& want) {
  EXPECT_EQ(got.ip, want.ip);
  EXPECT_EQ(got.login, want.login);
  EXPECT_EQ(got.password, want.password);
  EXPECT_EQ(got.topic, want.topic);
  EXPECT_EQ(got.eTopicSend, want.eTopicSend);
  EXPECT_EQ(got.port, want.port);
  EXPECT_EQ(got.portNumber(), want.portNumber());
  EXPECT_EQ(got.e_con_act, want.e_con_act);
  EXPECT_EQ(got.UID, want.UID);
  EXPECT_EQ(got.chbx_act, want.chbx_act);
  EXPECT_EQ(got.povtor, want.povtor);
  EXPECT_EQ(got.reconnect, want.reconnect);
  EXPECT_EQ(got.folder_m, want.folder_m);
  EXPECT_EQ(got.folder_s, want.folder_s);
  EXPECT_EQ(got.vol_default, want.vol_default);
  EXPECT_EQ(got.vol_default_text, want.vol_default_text);
  EXPECT_EQ(got.log, want.log);
  EXPECT_EQ(got.protokol, want.protokol);
  EXPECT_EQ(got.shufle, want.shufle);
  EXPECT_EQ(got.tls.enabled, want.tls.enabled);
  EXPECT_EQ(got.tls.cafile, want.tls.cafile);
  EXPECT_EQ(got.launchAllow, want.launchAllow);
  EXPECT_EQ(got.audioDevice, want.audioDevice);
  EXPECT_EQ(got.audioBuffer, want.audioBuffer);
  EXPECT_EQ(got.duck, want.duck);
  EXPECT_EQ(got.ducking(), want.ducking());
}

struct LoadCase {
  const char* name;
  std::optional<QByteArray> file;              // nothing: no file at all
  std::function<void(Settings&)> differences;  // from noKeys()
};

TEST(SettingsFileLoad, FileIntoSettings) {
  const LoadCase cases[] = {
      {"no file", std::nullopt, [](Settings&) {}},
      {"empty file", "", [](Settings&) {}},
      {"empty texts keep the design, the heartbeat text is taken even empty",
       "[MQTT]\nUID=\ntopic=\ne_con_act=\nip=10.0.0.5\n", [](Settings& s) { s.ip = "10.0.0.5"; }},
      {"only 1 sets a flag", "[protokol]\nlog=yes\nprotokol=true\n[MQTT]\nchbx_act= 1 \npovtor=2\n",
       [](Settings& s) { s.chbx_act = true; }},
      {"numbers kept as typed, used within their range",
       "[MQTT]\nport=abc\n[volume]\nvol_default=250\n",
       [](Settings& s) {
         s.port = "abc";
         s.setVolDefault("250");
       }},
      {"hand-edited: case, blanks, CRLF, byte-order mark",
       "\xEF\xBB\xBF[mqtt]\r\n  IP = 10.0.0.9 \r\nETOPICSEND=st\r\n[PLAYER]\r\nShufle=1\r\n",
       [](Settings& s) {
         s.ip = "10.0.0.9";
         s.eTopicSend = "st";
         s.shufle = true;
       }},
      {"opt-in keys",
       "[MQTT]\ntls=1\ncafile=/ca.pem\n[launch]\nallow=/bin/true; ;/opt/*\n"
       "[audio]\ndevice=USB Audio\nbuffer= 512 \n[volume]\nduck=30\n",
       [](Settings& s) {
         s.tls.enabled = true;
         s.tls.cafile = "/ca.pem";
         s.launchAllow = QStringList{"/bin/true", "/opt/*"};
         s.audioDevice = "USB Audio";
         s.audioBuffer = 512;
         s.duck = 30;
       }},
      {"opt-in keys present but unusable",
       "[MQTT]\ntls=yes\n[launch]\nallow=\n[audio]\nbuffer=lots\n[volume]\nduck=150\n",
       [](Settings& s) {
         s.launchAllow = QStringList{};
         s.duck = 150;
       }},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    Folder f;
    if (c.file) writeBytes(f.file.iniPath(), *c.file);
    Settings got;
    f.file.load(got);
    Settings want = noKeys();
    c.differences(want);
    expectSame(got, want);
  }
}

const QByteArray kDesignedFile =
    "[MQTT]\nip=\nlogin=\npassword=\ntopic=recive\neTopicSend=send\nport=1883\n"
    "e_con_act=ping?MAC=DO3VEZEZO\nUID=ID1\nchbx_act=0\npovtor=0\nreconnect=0\n"
    "[folder]\nfolder_m=\nfolder_s=\n[volume]\nvol_default=60\n[protokol]\nlog=1\nprotokol=1\n"
    "[player]\nshufle=0\n";

// The designed settings make the designed file, owner-only; what is saved loads back,
// numbers as typed and the TLS keys the file had.
TEST(SettingsFileSave, WritesTheSeventeenKeysAndReadsBack) {
  Folder f;
  f.file.save(Settings{});
  EXPECT_EQ(readBytes(f.file.iniPath()), kDesignedFile);
  EXPECT_EQ(modeOf(f.file.iniPath()), 0600);

  writeBytes(f.file.iniPath(), "[MQTT]\ntls=1\ncafile=/ca.pem\n");
  Settings s;
  f.file.load(s);
  s.ip = "комната";
  s.port = "x1883";
  s.setVolDefault("007");
  s.shufle = true;
  f.file.save(s);
  const IniFile ini = IniFile::readFile(f.file.iniPath());
  EXPECT_EQ(ini.value("MQTT", "tls"), "1");
  EXPECT_EQ(ini.value("MQTT", "certfile"), std::nullopt);
  Settings back;
  f.file.load(back);
  expectSame(back, s);
  EXPECT_EQ(back.vol_default, 7);
}

// A folder standing where the file should be: the save fails with the file's name.
TEST(SettingsFileSave, FailureNamesTheFile) {
  Folder f;
  QDir().mkpath(f.file.iniPath());
  try {
    f.file.save(Settings{});
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_EQ(QString::fromUtf8(e.what()), "Unable to write to " + f.file.iniPath());
  }
}

}  // namespace
