// The start-up around the settings file: which page opens, and when the first command-line
// argument arms the unattended start.
#include <gtest/gtest.h>

#include <QTabWidget>

#include "mqtt/MqttClient.h"
#include "support/AppFiles.h"
#include "support/FormFixture.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

struct StartCase {
  const char* name;
  bool settingsFile;
  QStringList arguments;
  bool unattended;
};

TEST(Startup, SettingsFileAndStartArgument) {
  const StartCase cases[] = {
      {"no file, start", false, {"start"}, false},
      {"no file, no argument", false, {}, false},
      {"file, no argument", true, {}, false},
      {"file, start", true, {"start"}, true},
      {"file, start and more", true, {"start", "x"}, true},
      {"Start", true, {"Start"}, false},
      {"START", true, {"START"}, false},
      {"/start", true, {"/start"}, false},
      {"-start", true, {"-start"}, false},
      {"blank before", true, {" start"}, false},
      {"blank after", true, {"start "}, false},
      {"second argument", true, {"x", "start"}, false},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    FormOptions o;
    o.arguments = c.arguments;
    if (c.settingsFile)
      o.prepare = [](const QString& exeDir) {
        writeBytes(exeDir + "MQTT.ini", "[MQTT]\nip=127.0.0.1\n");
      };
    FormFixture f(o);
    TForm_player& form = f.form();
    EXPECT_EQ(form.PageControl1->currentWidget(), c.settingsFile ? form.TabSheet1 : form.TabSheet2);
    EXPECT_EQ(form.mqtt->Timer_start1->enabled(), c.unattended);
    EXPECT_EQ(form.isMinimized(), c.unattended);
    EXPECT_FALSE(form.mqtt->Timer_start2->enabled());
    EXPECT_EQ(form.eIP->text(), c.settingsFile ? "127.0.0.1" : "");
    EXPECT_TRUE(f.boxes.boxes.empty());
    // The start-up never creates the file.
    EXPECT_EQ(QFileInfo::exists(f.path("MQTT.ini")), c.settingsFile);
  }
}

}  // namespace
