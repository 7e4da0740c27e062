// Sound folders as people and programs leave them: file names with blanks, quotes and line
// breaks, things that only look like sound files (a FIFO, a folder, a link to itself,
// garbage), and a file of a gigabyte. Each plays or ends in its protocol line, and the
// music goes on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <random>

#include "audio/BackgroundPlayer.h"
#include "audio/EffectChannels.h"
#include "commands/Room.h"
#include "support/AudioQtPrinters.h"
#include "support/FormFixture.h"
#include "support/SoundFiles.h"

namespace vuvedid::test {
namespace {

const QString kStamp = QStringLiteral("09.12.23 14:05:07");
const QString kMissing = QStringLiteral("Файл не существует ") + kStamp;
const QString kLoadFailed = QStringLiteral("Ошибка загрузки файла ") + kStamp;

enum class Kind { Tone, Garbage, Empty, Fifo, Folder, SelfLink, LinkLoop, Dangling };

// Makes one entry of that kind at path; false when it could not.
bool make(const QString& path, Kind kind) {
  const QByteArray name = QFile::encodeName(path);
  switch (kind) {
    case Kind::Tone: {
      // Made under a plain name: the tools pick the format from the name's ending.
      const QString plain = QFileInfo(path).absolutePath() + QStringLiteral("/.tone.mp3");
      return toneFile(plain, 1.0) && QFile::rename(plain, path);
    }
    case Kind::Garbage: {
      std::mt19937 gen(7);
      QByteArray bytes(32 * 1024, '\0');
      for (char& c : bytes) c = static_cast<char>(gen());
      QFile f(path);
      return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    case Kind::Empty: {
      QFile f(path);
      return f.open(QIODevice::WriteOnly);
    }
    case Kind::Fifo:
      return ::mkfifo(name.constData(), 0600) == 0;
    case Kind::Folder:
      return QDir().mkpath(path);
    case Kind::SelfLink:
      return ::symlink(name.constData(), name.constData()) == 0;
    case Kind::LinkLoop:
      return ::symlink((name + ".other").constData(), name.constData()) == 0 &&
             ::symlink(name.constData(), (name + ".other").constData()) == 0;
    case Kind::Dangling:
      return ::symlink((name + ".gone").constData(), name.constData()) == 0;
  }
  return false;
}

std::int64_t residentKb() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toLongLong();
  return -1;
}

// A 16-bit stereo 44.1 kHz WAV whose data chunk declares dataBytes of silence, over a
// sparse file: a gigabyte that costs no disk space and no time to write.
bool sparseWav(const QString& path, std::uint32_t dataBytes) {
  const QByteArray head = wavHeader(dataBytes);
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(head) == head.size() &&
         f.resize(head.size() + qint64(dataBytes));
}

class OddSoundFiles : public ::testing::Test {
 protected:
  OddSoundFiles() {
    form.folder_m->setText(dir.filePath(QStringLiteral("music")));
    form.folder_s->setText(dir.filePath(QStringLiteral("signals")));
    QDir().mkpath(form.folder_m->text() + QStringLiteral("/hall"));
    QDir().mkpath(form.folder_s->text());
  }
  QString hall(const QString& name) const {
    return form.folder_m->text() + QStringLiteral("/hall/") + name;
  }
  QString signal(const QString& name) const {
    return form.folder_s->text() + QLatin1Char('/') + name;
  }
  QStringList protocol() const {
    return form.M_protokol->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  void run(const QString& command) {
    form.guarded([&] { form.CommandsRun(command); });
  }

  FormFixture f;
  TForm_player& form = f.form();
  BackgroundPlayer& bg = form.room->background;
  IAudioLibrary& audio = *form.services.audio;
  QTemporaryDir dir;
};

struct Entry {
  const char* name;
  Kind kind;
  bool listed;
  const char* line;  // the protocol line its turn writes; null: it plays
};

TEST_F(OddSoundFiles, PlaylistPlaysOddNamesAndSkipsWhatIsNoSound) {
  const Entry entries[] = {
      {"a plain.mp3", Kind::Tone, true, nullptr},
      {"b  two  blanks .mp3", Kind::Tone, true, nullptr},
      {"c it's \"quoted\".mp3", Kind::Tone, true, nullptr},
      {"d line\nbreak.mp3", Kind::Tone, true, nullptr},
      {"e tab\there.mp3", Kind::Tone, true, nullptr},
      {"f garbage.mp3", Kind::Garbage, true, "load"},
      {"g empty.mp3", Kind::Empty, true, "load"},
      {"h fifo.mp3", Kind::Fifo, false, nullptr},
      {"i folder.mp3", Kind::Folder, false, nullptr},
      {"j self.mp3", Kind::SelfLink, false, nullptr},
      {"k loop.mp3", Kind::LinkLoop, false, nullptr},
      {"l dangling.mp3", Kind::Dangling, false, nullptr},
      {"m last.mp3", Kind::Tone, true, nullptr},
  };
  QStringList listed;
  for (const Entry& e : entries) {
    ASSERT_TRUE(make(hall(QString::fromUtf8(e.name)), e.kind)) << e.name;
    if (e.listed) listed << QString::fromUtf8(e.name);
  }
  run(QStringLiteral("play:hall"));
  ASSERT_EQ(form.FileListBox1->entries(), listed);

  // Twice round: a failing entry is passed over each time, the good ones always play.
  for (int round = 0; round < 2; ++round) {
    int number = 0;
    for (const Entry& e : entries) {
      if (!e.listed) continue;
      SCOPED_TRACE(e.name);
      form.M_protokol->clear();
      form.room->background.Timer_playfoneTimer();
      EXPECT_EQ(form.l_numtrack->text(), QString::number(++number));
      EXPECT_EQ(form.efilename->text(), hall(QString::fromUtf8(e.name)));
      if (e.line) {
        EXPECT_EQ(protocol(), QStringList{kLoadFailed});
        EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_STOPPED);
      } else {
        EXPECT_TRUE(protocol().isEmpty()) << protocol().join('|').toStdString();
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(e.name));
        EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
        EXPECT_EQ(audio.ChannelGetFileName(bg.fone_chan), hall(QString::fromUtf8(e.name)));
        run(QStringLiteral("next"));
      }
      EXPECT_TRUE(form.room->background.Timer_playfone.enabled());
    }
  }
  EXPECT_TRUE(f.boxes.boxes.empty());
}

// An entry that turns into something else between the listing and its turn: it is
// reported as missing (a FIFO must not block the open), and the next entry plays.
TEST_F(OddSoundFiles, EntryReplacedAfterTheListingIsReportedAndTheNextOnePlays) {
  const Kind replacements[] = {Kind::Fifo, Kind::Folder, Kind::SelfLink, Kind::Garbage};
  for (const Kind kind : replacements) {
    SCOPED_TRACE(static_cast<int>(kind));
    QDir(form.folder_m->text() + QStringLiteral("/hall")).removeRecursively();
    QDir().mkpath(form.folder_m->text() + QStringLiteral("/hall"));
    ASSERT_TRUE(make(hall(QStringLiteral("a.mp3")), Kind::Tone));
    ASSERT_TRUE(make(hall(QStringLiteral("b.mp3")), Kind::Tone));
    run(QStringLiteral("play:hall"));
    ASSERT_TRUE(QFile::remove(hall(QStringLiteral("a.mp3"))));
    ASSERT_TRUE(make(hall(QStringLiteral("a.mp3")), kind));
    f.boxes.boxes.clear();
    form.M_protokol->clear();

    form.room->background.Timer_playfoneTimer();
    if (kind == Kind::Garbage) {
      EXPECT_EQ(protocol(), QStringList{kLoadFailed});
      EXPECT_TRUE(f.boxes.boxes.empty());
    } else {
      EXPECT_EQ(protocol(), QStringList{kMissing});
      EXPECT_EQ(f.boxes.texts(), QStringList{QStringLiteral("Файл не существует")});
    }
    form.room->background.Timer_playfoneTimer();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("b.mp3"));
    EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
    run(QStringLiteral("reset"));
  }
}

struct Effect {
  const char* file;  // as created in the signal folder (null: nothing is created)
  Kind kind;
  const char* command;
  const char* line;  // null: it plays from the named file
};

TEST_F(OddSoundFiles, EffectNamesAndThingsThatAreNoSound) {
  const Effect effects[] = {
      {"two  blanks.mp3", Kind::Tone, "fx:50!two  blanks.mp3", nullptr},
      {"it's \"quoted\".mp3", Kind::Tone, "fx:50!it's \"quoted\".mp3", nullptr},
      {"line\nbreak.mp3", Kind::Tone, "fx:50!line\nbreak.mp3", nullptr},
      {"back\\slash.mp3", Kind::Tone, "fx:50!back\\slash.mp3", nullptr},
      // The argument's ends are trimmed: a name ending in a blank is not found, one
      // beginning with a blank is (the volume stands before it).
      {" lead.mp3", Kind::Tone, "fx:50! lead.mp3", nullptr},
      {"trail.mp3 ", Kind::Tone, "fx:50!trail.mp3 ", "missing"},
      {"fifo.wav", Kind::Fifo, "fx:50!fifo.wav", "missing"},
      {"self.wav", Kind::SelfLink, "fx:50!self.wav", "missing"},
      {"loop.wav", Kind::LinkLoop, "fx:50!loop.wav", "missing"},
      {"dangling.wav", Kind::Dangling, "fx:50!dangling.wav", "missing"},
      {"empty.wav", Kind::Empty, "fx:50!empty.wav", "load"},
      {nullptr, Kind::Tone, "fx:50!../signals/two  blanks.mp3", nullptr},
      {nullptr, Kind::Tone, "fx:50!/", "missing"},
      {nullptr, Kind::Tone, "fx:50!nothing\xF0\x9F\x94\x94.mp3", "missing"},
  };
  for (const Effect& e : effects) {
    if (e.file) {
      ASSERT_TRUE(make(signal(QString::fromUtf8(e.file)), e.kind)) << e.file;
    }
  }
  for (const Effect& e : effects) {
    SCOPED_TRACE(e.command);
    run(QStringLiteral("reset"));
    form.M_protokol->clear();
    run(QString::fromUtf8(e.command));
    if (e.line) {
      EXPECT_EQ(protocol(),
                QStringList{QString::fromUtf8(e.line) == "load" ? kLoadFailed : kMissing});
      EXPECT_EQ(form.room->effects.fx_state1, 0);
    } else {
      EXPECT_TRUE(protocol().isEmpty()) << protocol().join('|').toStdString();
      EXPECT_EQ(audio.ChannelIsActive(form.room->effects.fx_chan1), ACTIVE_PLAYING);
      const QString name = QString::fromUtf8(e.command).mid(6);
      EXPECT_EQ(audio.ChannelGetFileName(form.room->effects.fx_chan1), signal(name));
    }
    form.room->effects.fx_state1 = 0;
  }
  EXPECT_TRUE(f.boxes.boxes.empty());
}

// A gigabyte of sound as a room's track and as an effect: it starts, plays on, and is read
// as it plays instead of into memory.
TEST_F(OddSoundFiles, GigabyteFileStreamsWithoutHoldingItInMemory) {
  constexpr std::uint32_t kBytes = 1u << 30;  // 6087 s of 16-bit stereo at 44.1 kHz
  const QString huge = dir.filePath(QStringLiteral("huge.wav"));
  ASSERT_TRUE(sparseWav(huge, kBytes));
  ASSERT_TRUE(QFile::link(huge, hall(QStringLiteral("huge.mp3"))));  // the content decides
  ASSERT_TRUE(QFile::link(huge, signal(QStringLiteral("huge.wav"))));
  ASSERT_TRUE(make(hall(QStringLiteral("small.mp3")), Kind::Tone));

  const std::int64_t before = residentKb();
  run(QStringLiteral("play:hall"));
  form.room->background.Timer_playfoneTimer();
  ASSERT_EQ(form.windowTitle(), QStringLiteral("huge.mp3"));
  EXPECT_EQ(form.l_time->text(), QString::number(kBytes / (44100 * 4)));
  run(QStringLiteral("fx:50!huge.wav"));
  spin(1500);  // the decoding thread keeps both rings filled
  EXPECT_EQ(audio.ChannelIsActive(bg.fone_chan), ACTIVE_PLAYING);
  EXPECT_EQ(audio.ChannelIsActive(form.room->effects.fx_chan1), ACTIVE_PLAYING);
  const std::int64_t grown = residentKb() - before;
  EXPECT_LT(grown, 50 * 1024) << "resident size grew by " << grown << " kB";
  RecordProperty("resident_growth_kb", static_cast<int>(grown));

  // The following commands are executed as ever.
  run(QStringLiteral("next"));
  form.room->background.Timer_playfoneTimer();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("small.mp3"));
  EXPECT_TRUE(protocol().isEmpty()) << protocol().join('|').toStdString();
  run(QStringLiteral("reset"));
  form.FormClose();
  EXPECT_TRUE(QFile::remove(huge));
}

}  // namespace
}  // namespace vuvedid::test
