// A month of log lines through the window's real log writers: a heartbeat every 20 s and
// as many received commands, each as the program writes it (a stamped protocol line and a
// system-log line), with both logs switched on. Prints the resident set size as it goes.
//   bench_logs [DAYS]   (default 30)
#include "app/Logs.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Doubles.h"
#include "audio/SdlAudioLibrary.h"
#include "host/RoomHost.h"
#include "ui/TForm_player.h"

namespace {

long rssKb() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// The clock moves on by the simulated time, so every stamp differs as in the field.
class SteppingClock final : public vuvedid::IClock {
 public:
  QDateTime now() const override { return at; }
  QDateTime at = QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0));
};

// Nothing is saved here.
class NoSaveDialog final : public vuvedid::ISaveDialog {
 public:
  std::optional<QString> choose(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int days = argc > 1 ? std::atoi(argv[1]) : 30;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QTemporaryDir dir;
  vuvedid::SdlAudioLibrary audio;
  vuvedid::test::RecordingMessageBoxes boxes;
  NoSaveDialog saveDialog;
  vuvedid::test::RecordingSpeech speech;
  vuvedid::test::RecordingStarter starter;
  SteppingClock clock;
  vuvedid::Services s;
  s.audio = &audio;
  s.boxes = &boxes;
  s.saveDialog = &saveDialog;
  s.speech = &speech;
  s.starter = &starter;
  s.clock = &clock;
  s.exeDir = dir.path() + QLatin1Char('/');
  s.terminate = [](int) {};
  vuvedid::RoomHost host(s, [&boxes](vuvedid::BoxIcon icon, const QString& caption,
                                     const QString& text) { boxes.show(icon, caption, text); });
  vuvedid::TForm_player form(host);
  form.FormCreate();
  form.Protokol->setChecked(true);
  form.cxchb_LogEnable->setChecked(true);
  QCoreApplication::processEvents();

  const long heartbeats = static_cast<long>(days) * 24 * 3600 / 20;
  const long before = rssKb();
  long peak = before;
  std::printf("rss_start_kb %ld\n", before);
  QElapsedTimer t;
  t.start();
  const QString ping = form.e_con_act->text();
  for (long i = 0; i < heartbeats; ++i) {
    clock.at = clock.at.addSecs(10);
    form.logs->stampedProtocol(QStringLiteral("volume:%1").arg(i % 101), true);
    form.AddSysLog(QStringLiteral("Callback_on_message"));
    clock.at = clock.at.addSecs(10);
    form.logs->stampedProtocol(ping, false);
    form.AddSysLog(QStringLiteral("Callback_on_publish mid=%1").arg(i + 1));
    if (i % 1000 == 999) QCoreApplication::processEvents();
    if (i % 13000 == 12999) {
      const long r = rssKb();
      peak = std::max(peak, r);
      std::printf("progress %ld rss_kb %ld\n", i + 1, r);
      std::fflush(stdout);
    }
  }
  QCoreApplication::processEvents();
  const long after = rssKb();
  peak = std::max(peak, after);
  std::printf("lines_each_kind %ld\n", heartbeats);
  std::printf("rss_end_kb %ld\n", after);
  std::printf("rss_peak_kb %ld\n", peak);
  std::printf("rss_growth_kb %ld\n", after - before);
  std::printf("seconds %.2f\n", t.elapsed() / 1000.0);
  std::printf("protocol_lines %d syslog_lines %d\n", form.M_protokol->document()->blockCount(),
              form.memo2->document()->blockCount());
  std::fflush(stdout);
  _exit(0);
}
