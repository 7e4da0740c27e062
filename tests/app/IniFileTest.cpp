// The INI editor on its own: what a hand-edited file reads as, that a write touches one
// line only, and the file-level rules (permissions, failures, odd things at the path).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <QDir>
#include <QTemporaryDir>
#include <optional>
#include <random>

#include "app/Errors.h"
#include "app/IniFile.h"
#include "support/AppFiles.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

struct ReadCase {
  const char* name;
  QByteArray file;
  QString section, key;
  std::optional<QString> expected;
};

TEST(IniFile, ReadsLikeAProfile) {
  const QByteArray longValue(3000, 'v');
  const ReadCase cases[] = {
      {"names ignore case", "[mqtt]\r\nIP=10.0.0.5\r\n", "MQTT", "ip", "10.0.0.5"},
      {"Cyrillic names ignore case", "[Папка]\nКлюч=да\n", "ПАПКА", "ключ", "да"},
      {"blanks around names and value", "[ A ]\n  k \t=  v v \t\n", "A", "k", "v v"},
      {"control characters at the ends", "[A]\nk=\x01\x7Fv\x02\x1F\n", "A", "k", "v"},
      {"empty value is present", "[A]\nk=\n", "A", "k", ""},
      {"first of equal keys wins", "[A]\nk=1\nK=2\n", "A", "k", "1"},
      {"later section of the same name", "[A]\nx=1\n[B]\n[a]\nk=2\n", "A", "k", "2"},
      {"absent key", "[A]\nx=1\n", "A", "k", std::nullopt},
      {"absent section", "[B]\nk=1\n", "A", "k", std::nullopt},
      {"key of another section", "[A]\n[B]\nk=1\n", "A", "k", std::nullopt},
      {"key before any section", "k=1\n[A]\n", "A", "k", std::nullopt},
      {"comments", "[A]\n;k=1\n  #k=2\nk=3\n", "A", "k", "3"},
      {"unclosed section line", "[A]\n[B\nk=1\n", "A", "k", "1"},
      {"equals sign inside the value", "[A]\nk=a=b\n", "A", "k", "a=b"},
      {"quotes are part of the value", "[A]\nk=\"x\"\n", "A", "k", "\"x\""},
      {"byte-order mark", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "1"},
      {"U+FEFF beginning a value is text", "[A]\nk= \xEF\xBB\xBFv\n", "A", "k",
       QStringLiteral("\uFEFFv")},
      {"NUL and broken UTF-8", raw("[A]\n\0\xff\xfe\nk=\xd0\xbf\xff\n"), "A", "k",
       QStringLiteral("п\uFFFD")},
      {"last line without ending", "[A]\nk=1", "A", "k", "1"},
      {"lone CR at the end", "[A]\nk=1\r", "A", "k", "1"},
      {"long value is cut", "[A]\nk=" + longValue + "\n", "A", "k",
       QString(IniFile::kReadLimit, QLatin1Char('v'))},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IniFile::fromBytes(c.file).value(c.section, c.key), c.expected);
  }
}

struct WriteCase {
  const char* name;
  QByteArray before;
  QString section, key, value;
  QByteArray after;
};

TEST(IniFile, WriteTouchesOneLine) {
  const WriteCase cases[] = {
      {"existing key keeps its spelling and spacing", "[mqtt]\nIP = 1  \n", "MQTT", "ip", "2",
       "[mqtt]\nIP = 2\n"},
      {"new key after the section's last key", "[A]\nx=1\n; about B\n\n[B]\ny=2\n", "A", "k", "v",
       "[A]\nx=1\nk=v\n; about B\n\n[B]\ny=2\n"},
      {"new key in a section without keys", "[A]\n\n[B]\n", "A", "k", "v", "[A]\nk=v\n\n[B]\n"},
      {"new section at the end, CRLF kept", "; top\r\n[A]\r\nx=1\r\n", "B", "k", "v",
       "; top\r\n[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
      {"new key after a last line without ending", "[A]\nx=1", "A", "k", "v", "[A]\nx=1\nk=v\n"},
      {"new section after a last line without ending", "[A]\nx=1", "B", "k", "v",
       "[A]\nx=1\n[B]\nk=v\n"},
      {"empty file", "", "A", "k", "v", "[A]\nk=v\n"},
      {"line breaks in a value", "", "A", "k", "a\r\nb\nc", "[A]\nk=a  b c\n"},
      {"first of equal keys", "[A]\nk=1\nk=2\n", "A", "k", "9", "[A]\nk=9\nk=2\n"},
      {"byte-order mark stays", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", "\xEF\xBB\xBF[A]\nk=2\n"},
      {"garbage lines stay", raw("\0\xff\n[A]\nbad line\nk=1\n"), "A", "k", "2",
       raw("\0\xff\n[A]\nbad line\nk=2\n")},
      {"Cyrillic value in UTF-8", "[A]\nk=1\n", "A", "k", QStringLiteral("зал"),
       "[A]\nk=\xd0\xb7\xd0\xb0\xd0\xbb\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    IniFile ini = IniFile::fromBytes(c.before);
    ini.setValue(c.section, c.key, c.value);
    EXPECT_EQ(ini.bytes(), c.after);
  }
}

// Whatever the file holds, a value the program writes reads back as written, other keys
// keep their values, and nothing crashes.
TEST(IniFile, AnyBytesParseAndTakeAWrite) {
  std::mt19937 rng(20231209);
  const char alphabet[] = "[]=;#\r\n\t AKak1\xd0\xbf\xff";
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof alphabet) - 1);  // NUL too
  std::uniform_int_distribution<int> length(0, 400);
  for (int round = 0; round < 300; ++round) {
    QByteArray bytes;
    for (int n = length(rng); n > 0; --n) bytes += alphabet[pick(rng)];
    SCOPED_TRACE(bytes.toPercentEncoding().toStdString());
    IniFile ini = IniFile::fromBytes(bytes);
    ASSERT_EQ(ini.bytes(), bytes);
    const auto other = ini.value("A", "a");
    ini.setValue("A", "k", QStringLiteral("written value"));
    EXPECT_EQ(ini.value("a", "K"), QStringLiteral("written value"));
    ini.setValue("B", "x", QStringLiteral("second"));
    EXPECT_EQ(ini.value("A", "k"), QStringLiteral("written value"));
    EXPECT_EQ(ini.value("b", "X"), QStringLiteral("second"));
    EXPECT_EQ(ini.value("A", "a"), other);
    // What was written is what a fresh read of the bytes sees.
    EXPECT_EQ(IniFile::fromBytes(ini.bytes()).value("A", "k"), QStringLiteral("written value"));
  }
  // One line of a megabyte.
  QByteArray huge = "[A]\nk=" + QByteArray(1 << 20, 'x') + "\n";
  IniFile ini = IniFile::fromBytes(huge);
  EXPECT_EQ(ini.value("A", "k")->size(), IniFile::kReadLimit);
  ini.setValue("A", "j", "1");
  EXPECT_EQ(ini.value("A", "j"), QStringLiteral("1"));
}

// The file holds the broker password: after a save only its owner may read it, also when it
// existed before with a mode that let others read it (a file written by hand).
TEST(IniFile, SavedFileIsOwnerOnlyWhateverModeItHadBefore) {
  QTemporaryDir dir;
  const QString fresh = dir.filePath("fresh.ini");
  IniFile::writeValue(fresh, "MQTT", "password", "secret");
  EXPECT_EQ(modeOf(fresh), 0600);
  EXPECT_EQ(readBytes(fresh), QByteArray("[MQTT]\npassword=secret\n"));

  struct Case {
    int before, after;
  };
  for (const Case c :
       {Case{0644, 0600}, Case{0666, 0600}, Case{0640, 0600}, Case{0600, 0600}, Case{0700, 0700}}) {
    SCOPED_TRACE(c.before);
    const QString shared = dir.filePath("shared.ini");
    writeBytes(shared, "[MQTT]\r\nip=1\r\n; note\r\n");
    ::chmod(QFile::encodeName(shared).constData(), c.before);
    IniFile::writeValue(shared, "MQTT", "ip", "2");
    EXPECT_EQ(modeOf(shared), c.after);
    // Nothing else of the save changes: lines, order and line ends stay.
    EXPECT_EQ(readBytes(shared), QByteArray("[MQTT]\r\nip=2\r\n; note\r\n"));
  }
}

// Things standing at the file's path that are no regular file: reading sees an empty
// file and does not block; writing fails with the path named and leaves them alone.
TEST(IniFile, NoRegularFileAtThePath) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("folder.ini");
  QDir().mkpath(folder + "/inside");
  const QString regular = dir.filePath("regular");
  writeBytes(regular, "[A]\nk=1\n");
  const QString underFile = regular + "/MQTT.ini";
  const QString fifo = dir.filePath("fifo.ini");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

  for (const QString& path : {folder, underFile, fifo}) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_EQ(IniFile::readFile(path).bytes(), QByteArray());
    try {
      IniFile::writeValue(path, "A", "k", "2");
      ADD_FAILURE() << "write went through";
    } catch (const FileError& e) {
      EXPECT_EQ(e.text(), "Unable to write to " + path);
    }
  }
  EXPECT_TRUE(QFileInfo(folder + "/inside").isDir());
  EXPECT_EQ(readBytes(regular), QByteArray("[A]\nk=1\n"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot),
            QStringList({"fifo.ini", "regular"}));
}

}  // namespace
