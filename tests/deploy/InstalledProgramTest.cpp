// The program as installed: the install tree's launcher started the way a desktop session
// or a user service starts it, with a real broker, a real X server and a tray.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "support/AppFiles.h"
#include "support/Broker.h"
#include "support/FormFixture.h"
#include "support/SoundFiles.h"

using namespace vuvedid::test;

namespace {

QByteArray settings(int port, const QString& musicFolder = QString()) {
  QByteArray ini =
      "[MQTT]\nip=127.0.0.1\nlogin=room1\nport=" + QByteArray::number(port) + "\ntopic=recive\n";
  if (!musicFolder.isEmpty()) ini += "[folder]\nfolder_m=" + musicFolder.toUtf8() + "\n";
  return ini;
}

// Runs a tool to its end; its standard output, or nothing when it fails.
std::optional<QString> tool(
    const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    return std::nullopt;
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The build's install rules run into a staging folder, as the package's files would land.
class Staged {
 public:
  Staged() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), dir_.path());
    const QString build = QFileInfo(QStringLiteral(VUVEDID_EXE)).absolutePath();
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("cmake"), {QStringLiteral("--install"), build,
                                      QStringLiteral("--prefix"), QStringLiteral("/usr")});
    ok_ = p.waitForFinished(60000) && p.exitCode() == 0;
    log_ = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
  }
  bool ok() const { return ok_; }
  QString log() const { return log_; }
  QString file(const QString& rel) const { return dir_.path() + QStringLiteral("/usr/") + rel; }

 private:
  QTemporaryDir dir_;
  bool ok_ = false;
  QString log_;
};

Staged& staged() {
  static Staged s;
  return s;
}

// The installed launcher with a per-user folder in a temporary directory.
class InstalledRun {
 public:
  explicit InstalledRun(const QStringList& env) {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("VUVEDID_HOME"), home());
    e.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    e.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    for (const QString& kv : env) e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    process_.setProcessEnvironment(e);
    QDir().mkpath(home());
  }
  ~InstalledRun() {
    process_.kill();
    process_.waitForFinished(3000);
  }
  QString home() const { return dir_.path() + QStringLiteral("/home"); }
  QString path(const QString& name) const { return dir_.path() + '/' + name; }
  void start() {
    process_.start(staged().file(QStringLiteral("bin/vuvedid")), {QStringLiteral("start")});
  }
  QProcess& process() { return process_; }

 private:
  QTemporaryDir dir_;
  QProcess process_;
};

// An X server on a display of its own choosing, with a tray panel on it.
class XSession {
 public:
  XSession() {
    xvfb_ = std::make_unique<ChildProcess>(
        QStringLiteral("/usr/bin/Xvfb"),
        QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")},
        false, true);
    QByteArray out;
    waitFor(
        [&] {
          out += xvfb_->readAvailable();
          return out.contains('\n');
        },
        10000);
    if (!out.contains('\n')) return;
    display_ = QStringLiteral(":") + QString::fromLatin1(out.trimmed());
    tray_ = std::make_unique<ChildProcess>(
        QStringLiteral("/usr/bin/trayer"),
        QStringList{QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                    QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                    QStringLiteral("--width"), QStringLiteral("100"), QStringLiteral("--height"),
                    QStringLiteral("24")},
        false, false, QStringList{QStringLiteral("DISPLAY=") + display_});
    waitFor([&] { return tree().contains(QStringLiteral("\"panel\"")); }, 10000);
  }
  QString display() const { return display_; }
  QProcessEnvironment env() const {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("DISPLAY"), display_);
    return e;
  }
  QString tree() const {
    return tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")},
                env())
        .value_or(QString());
  }
  // The lines of the window tree below the tray panel (its embedded icons).
  QStringList trayWindows() const {
    const QStringList lines = tree().split('\n');
    QStringList inside;
    qsizetype indent = -1;
    for (const QString& line : lines) {
      const qsizetype at = line.indexOf(QStringLiteral("0x"));
      if (at < 0) continue;
      if (indent >= 0) {
        if (at <= indent) break;
        inside << line.trimmed();
      } else if (line.contains(QStringLiteral("\"panel\": (\"panel\" \"trayer\")"))) {
        indent = at;
      }
    }
    return inside;
  }
  // xwininfo shows the UTF-8 window name (_NET_WM_NAME), the one a task bar shows.
  bool hasWindowTitled(const QString& title) const {
    return tree().contains(QLatin1Char('"') + title + QStringLiteral("\": ("));
  }

 private:
  std::unique_ptr<ChildProcess> xvfb_;
  std::unique_ptr<ChildProcess> tray_;
  QString display_;
};

bool haveTools(const QStringList& programs) {
  for (const QString& p : programs)
    if (QStandardPaths::findExecutable(p).isEmpty()) return false;
  return true;
}

}  // namespace

TEST(InstalledProgram, StartsInTheTrayConnectsAndPlaysARoomOnCommand) {
  if (!haveTools({QStringLiteral("Xvfb"), QStringLiteral("trayer"), QStringLiteral("xwininfo")}))
    GTEST_SKIP() << "Xvfb, trayer or xwininfo missing (scripts/deps.sh test)";
  ASSERT_TRUE(staged().ok()) << staged().log().toStdString();
  Broker broker;
  XSession x;
  ASSERT_FALSE(x.display().isEmpty());
  InstalledRun run(
      {QStringLiteral("DISPLAY=") + x.display(), QStringLiteral("QT_QPA_PLATFORM=xcb")});
  const QString music = run.path(QStringLiteral("music"));
  ASSERT_TRUE(QDir().mkpath(music + QStringLiteral("/room1")));
  ASSERT_TRUE(toneFile(music + QStringLiteral("/room1/tone.mp3"), 2.0));
  writeFileOrFail(run.home() + QStringLiteral("/MQTT.ini"), settings(broker.port(), music));
  run.start();

  // "start": connected and subscribed without anybody touching it.
  ASSERT_TRUE(broker.waitForLog(QStringLiteral("Received SUBSCRIBE from room1"), 15000))
      << run.process().readAllStandardError().toStdString();
  EXPECT_TRUE(QFileInfo(run.home() + QStringLiteral("/vuvedid")).isExecutable());
  // Exactly the caption, also in the UTF-8 name window managers show: nothing appended by
  // the platform (" — Vuvedid").
  EXPECT_TRUE(x.hasWindowTitled(QStringLiteral("Vuvedid_m_1.1.104.39"))) << x.tree().toStdString();
  EXPECT_TRUE(waitFor(
      [&] { return x.trayWindows().join('\n').contains(QStringLiteral("\"Vuvedid\"")); }, 5000))
      << x.tree().toStdString();

  ASSERT_EQ(mosquittoPub(broker, {QStringLiteral("-t"), QStringLiteral("recive"),
                                  QStringLiteral("-m"), QStringLiteral("play:room1")}),
            0);
  EXPECT_TRUE(waitFor([&] { return x.hasWindowTitled(QStringLiteral("tone.mp3")); }, 10000))
      << x.tree().toStdString();
}

TEST(InstalledProgram, HeadlessRunWritesAFailedConnectBoxToStandardError) {
  ASSERT_TRUE(staged().ok()) << staged().log().toStdString();
  InstalledRun run({QStringLiteral("QT_QPA_PLATFORM=offscreen")});
  writeFileOrFail(run.home() + QStringLiteral("/MQTT.ini"), settings(freeLocalPort()));
  run.start();
  QByteArray err;
  const QString expected = QStringLiteral("Ошибка соединения: Connection error");
  EXPECT_TRUE(waitFor(
      [&] {
        err += run.process().readAllStandardError();
        return QString::fromUtf8(err).contains(expected);
      },
      15000))
      << err.toStdString();
  // Still running: a box without a screen does not end the program.
  EXPECT_EQ(run.process().state(), QProcess::Running);
}

// The daemon without a settings file: status 2 and one line naming the file it looked for.
TEST(InstalledProgram, HeadlessWithoutSettingsExitsWithTwo) {
  ASSERT_TRUE(staged().ok()) << staged().log().toStdString();
  InstalledRun run({QStringLiteral("DISPLAY=")});
  run.process().start(staged().file(QStringLiteral("bin/vuvedid")), {QStringLiteral("--headless")});
  ASSERT_TRUE(run.process().waitForFinished(10000));
  EXPECT_EQ(run.process().exitCode(), 2);
  const QString err = QString::fromUtf8(run.process().readAllStandardError());
  EXPECT_EQ(err, "vuvedid: no settings file " + run.home() + "/MQTT.ini\n");
}

// The daemon with a settings file and no display at all: it connects and subscribes by
// itself, and an effect commanded through the broker is heard on the (disk) output.
TEST(InstalledProgram, HeadlessRoomPlaysAnEffectOnCommand) {
  ASSERT_TRUE(staged().ok()) << staged().log().toStdString();
  Broker broker;
  QTemporaryDir outDir;
  const QString out = outDir.path() + QStringLiteral("/room.raw");
  InstalledRun run({QStringLiteral("DISPLAY="), QStringLiteral("WAYLAND_DISPLAY="),
                    QStringLiteral("SDL_AUDIODRIVER=disk"),
                    QStringLiteral("SDL_DISKAUDIOFILE=") + out});
  const QString effects = run.path(QStringLiteral("effects"));
  ASSERT_TRUE(QDir().mkpath(effects));
  ASSERT_TRUE(toneFile(effects + QStringLiteral("/beep.mp3"), 1.0));
  writeFileOrFail(run.home() + QStringLiteral("/MQTT.ini"),
                  settings(broker.port()) + "[folder]\nfolder_s=" + effects.toUtf8() + "\n");
  run.process().start(staged().file(QStringLiteral("bin/vuvedid")), {QStringLiteral("--headless")});
  ASSERT_TRUE(broker.waitForLog(QStringLiteral("Received SUBSCRIBE from room1"), 15000))
      << run.process().readAllStandardError().toStdString();
  // The windowless program runs (the per-user copy beside vuvedid): no GUI library loaded.
  const QString proc = QStringLiteral("/proc/%1/").arg(run.process().processId());
  EXPECT_TRUE(QFile::symLinkTarget(proc + QStringLiteral("exe"))
                  .endsWith(QStringLiteral("/vuvedid-headless")));
  QFile maps(proc + QStringLiteral("maps"));
  ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
  const QByteArray mapped = maps.readAll();
  EXPECT_FALSE(mapped.contains("libQt6Widgets")) << "a widget library is loaded";
  EXPECT_FALSE(mapped.contains("libQt6Gui")) << "the GUI library is loaded";
  const qint64 silent = QFileInfo(out).size();
  ASSERT_EQ(mosquittoPub(broker, {QStringLiteral("-t"), QStringLiteral("recive"),
                                  QStringLiteral("-m"), QStringLiteral("fx:100!beep.mp3")}),
            0);
  // The disk driver writes the device format: 32-bit float stereo.
  float loudest = 0;
  EXPECT_TRUE(waitFor(
      [&] {
        QFile f(out);
        if (!f.open(QIODevice::ReadOnly) || !f.seek(silent)) return false;
        const QByteArray bytes = f.readAll();
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        for (qsizetype i = 0; i < bytes.size() / 4; ++i)
          loudest = std::max(loudest, std::abs(samples[i]));
        return loudest > 0.1f;
      },
      10000))
      << "loudest " << loudest << "\n"
      << run.process().readAllStandardError().toStdString();
  EXPECT_EQ(run.process().state(), QProcess::Running);
}

// The options that only print: they answer without a display and without any window (a
// window would need the X server this run does not have, and would end with an error).
TEST(InstalledProgram, HelpAndVersionPrintAndExitWithoutAWindow) {
  ASSERT_TRUE(staged().ok()) << staged().log().toStdString();
  struct Case {
    QString option;
    QString printed;
  };
  const Case cases[] = {
      {QStringLiteral("--help"), QStringLiteral("Usage: vuvedid [start]")},
      {QStringLiteral("-h"), QStringLiteral("--list-audio-devices")},
      {QStringLiteral("--version"), QStringLiteral("vuvedid 1.1.104.39\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option.toStdString());
    InstalledRun run({QStringLiteral("QT_QPA_PLATFORM=xcb"), QStringLiteral("DISPLAY=")});
    run.process().start(staged().file(QStringLiteral("bin/vuvedid")), {c.option});
    ASSERT_TRUE(run.process().waitForFinished(10000));
    EXPECT_EQ(run.process().exitCode(), 0) << run.process().readAllStandardError().toStdString();
    EXPECT_TRUE(QString::fromUtf8(run.process().readAllStandardOutput()).contains(c.printed));
  }
}
