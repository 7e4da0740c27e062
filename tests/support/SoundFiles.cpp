#include "support/SoundFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cmath>

#include "support/Broker.h"

namespace vuvedid::test {

namespace {

bool run(const QString& program, const QStringList& args) { return runTool(program, args); }

QString cacheDir() {
  const QString d = QDir::tempPath() + QStringLiteral("/vuvedid-test-sounds");
  QDir().mkpath(d);
  return d;
}

}  // namespace

QByteArray wavHeader(std::uint32_t dataBytes) {
  QByteArray head;
  const auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) head.append(char((v >> (8 * i)) & 0xff));
  };
  const auto u16 = [&](std::uint16_t v) {
    head.append(char(v & 0xff));
    head.append(char(v >> 8));
  };
  head.append("RIFF");
  u32(36 + dataBytes);
  head.append("WAVEfmt ");
  u32(16);
  u16(1);  // PCM
  u16(2);
  u32(44100);
  u32(44100 * 4);
  u16(4);
  u16(16);
  head.append("data");
  u32(dataBytes);
  return head;
}

bool makeTone(const QString& path, double seconds, int rate, double freq, double amplitude,
              bool vbrNoTag) {
  const QString ext = QFileInfo(path).suffix().toLower();
  const QStringList synth{QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate),
                          QStringLiteral("-c"), QStringLiteral("2")};
  const QStringList tail{QStringLiteral("synth"), QString::number(seconds, 'f', 3),
                         QStringLiteral("sine"),  QString::number(freq),
                         QStringLiteral("vol"),   QString::number(amplitude)};
  if (ext != QLatin1String("mp3"))
    return run(QStringLiteral("sox"), synth + QStringList{path} + tail);
  const QString wav = path + QStringLiteral(".tmp.wav");
  if (!run(QStringLiteral("sox"),
           synth + QStringList{QStringLiteral("-b"), QStringLiteral("16"), wav} + tail))
    return false;
  QStringList lame{QStringLiteral("--quiet")};
  if (vbrNoTag)
    lame << QStringLiteral("-V2") << QStringLiteral("-t");
  else
    lame << QStringLiteral("-b") << QStringLiteral("128");
  lame << wav << path;
  const bool ok = run(QStringLiteral("lame"), lame);
  QFile::remove(wav);
  return ok;
}

bool toneFile(const QString& path, double seconds, int rate, double freq, double amplitude,
              bool vbrNoTag) {
  const QString key = QStringLiteral("%1-%2-%3-%4-%5.%6")
                          .arg(seconds)
                          .arg(rate)
                          .arg(freq)
                          .arg(amplitude)
                          .arg(vbrNoTag ? 1 : 0)
                          .arg(QFileInfo(path).suffix().toLower());
  const QString cached = cacheDir() + QLatin1Char('/') + key;
  if (!QFile::exists(cached)) {
    // The temporary name keeps the extension: makeTone picks the format from it.
    const QString tmp =
        cacheDir() + QStringLiteral("/part%1-").arg(QCoreApplication::applicationPid()) + key;
    if (!makeTone(tmp, seconds, rate, freq, amplitude, vbrNoTag)) return false;
    QFile::rename(tmp, cached);  // another process may have won: either copy is good
    QFile::remove(tmp);
  }
  QFile::remove(path);
  return QFile::copy(cached, path);
}

double rmsOfRawFloat(const QString& path, double fromSec, double toSec) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const qint64 frameBytes = 2 * sizeof(float);
  const qint64 from = static_cast<qint64>(fromSec * 44100) * frameBytes;
  const qint64 to = static_cast<qint64>(toSec * 44100) * frameBytes;
  if (!f.seek(from)) return -1;
  const QByteArray data = f.read(std::max<qint64>(0, to - from));
  const auto* s = reinterpret_cast<const float*>(data.constData());
  const qint64 n = data.size() / static_cast<qint64>(sizeof(float));
  if (n == 0) return 0;
  double sum = 0;
  for (qint64 i = 0; i < n; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(n));
}

}  // namespace vuvedid::test
