// The launch line: built from a program and a parameter text, cut to 255 bytes, read
// back into a program and arguments without a shell. The input is split into a program
// and parameters at the first zero byte.
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <cstdint>

#include "FuzzCheck.h"
#include "commands/CommandLine.h"
#include "commands/CommandText.h"
#include "commands/ProcessStarter.h"
#include "commands/ProgramLauncher.h"

namespace {

bool validUtf8(const QByteArray& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  (void)decoder.decode(bytes);
  return !decoder.hasError();
}

// Quotes one argument so that the splitting rule gives it back unchanged.
QString quoted(const QString& arg) {
  QString out = QStringLiteral("\"");
  for (QChar c : arg) {
    if (c == u'"' || c == u'\\') out += u'\\';
    out += c;
  }
  return out + u'"';
}

class CountingStarter final : public vuvedid::IProcessStarter {
 public:
  bool start(const QString& program, const QStringList& arguments,
             const QString& workingDirectory) noexcept override {
    last = {program, arguments, workingDirectory};
    ++calls;
    return true;
  }
  struct {
    QString program;
    QStringList arguments;
    QString workingDirectory;
  } last;
  int calls = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const qsizetype zero = input.indexOf('\0');
  const QByteArray rawProgram = zero < 0 ? input : input.left(zero);
  const QByteArray rawParameters = zero < 0 ? QByteArray() : input.mid(zero + 1);

  // Raw bytes straight into the builder and the reader: nothing may break.
  const QByteArray rawLine = vuvedid::buildCommandLine(rawProgram, rawParameters);
  FUZZ_CHECK(rawLine.size() <= vuvedid::kCommandLineMax);
  FUZZ_CHECK(rawLine.startsWith('"'));
  (void)vuvedid::parseCommandLine(input);

  // What the interpreter hands over: texts made 8-bit and cut to 255 bytes.
  const QByteArray program = vuvedid::toLocal8Bit255(QString::fromUtf8(rawProgram));
  const QByteArray parameters = vuvedid::toLocal8Bit255(QString::fromUtf8(rawParameters));
  FUZZ_CHECK(program.size() <= 255 && parameters.size() <= 255);
  FUZZ_CHECK(validUtf8(program) && validUtf8(parameters));
  const QByteArray line = vuvedid::buildCommandLine(program, parameters);
  const QByteArray whole = '"' + program + "\" " + parameters;
  FUZZ_CHECK(whole.startsWith(line));
  FUZZ_CHECK(validUtf8(line));
  FUZZ_CHECK(line.size() == whole.size() || line.size() > vuvedid::kCommandLineMax - 4);

  const vuvedid::ParsedCommandLine parsed = vuvedid::parseCommandLine(line);
  const QString programText = QString::fromUtf8(program);
  if (!programText.contains(u'"')) {
    // The program comes back whole, or as the start of itself when the cut took its end.
    FUZZ_CHECK(programText.startsWith(parsed.program));
    if (line.size() == whole.size()) {
      FUZZ_CHECK(parsed.program == programText);
      FUZZ_CHECK(parsed.arguments == vuvedid::splitArguments(QString::fromUtf8(parameters)));
    }
  }

  // Arguments quoted by the rule split back unchanged.
  const QStringList args = QString::fromUtf8(rawParameters).split(u'\x01');
  QStringList parts;
  for (const QString& a : args) parts << quoted(a);
  FUZZ_CHECK(vuvedid::splitArguments(parts.join(u' ')) == args);
  FUZZ_CHECK(vuvedid::splitArguments(parts.join(QStringLiteral(" \t\r\n "))) == args);

  // Splitting never yields more arguments than there are characters plus one.
  const QStringList split = vuvedid::splitArguments(QString::fromUtf8(input));
  FUZZ_CHECK(split.size() <= QString::fromUtf8(input).size() + 1);

  // The launcher itself, with a starter that only records.
  CountingStarter starter;
  vuvedid::ProgramLauncher launcher(starter);
  FUZZ_CHECK(launcher.RunProgram(program, parameters) == 1);
  FUZZ_CHECK(starter.calls == 1);
  FUZZ_CHECK(starter.last.arguments == parsed.arguments);
  FUZZ_CHECK(!starter.last.workingDirectory.isEmpty());
  const QString folder = vuvedid::folderPart(programText);
  FUZZ_CHECK(programText.startsWith(folder));
  FUZZ_CHECK(folder.isEmpty() || folder.endsWith(u'/'));
  return 0;
}
