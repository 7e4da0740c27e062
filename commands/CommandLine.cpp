#include "commands/CommandLine.h"

#include "commands/CommandText.h"

namespace vuvedid {

namespace {
bool isSeparator(QChar c) noexcept {
  return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
         c == QLatin1Char('\r');
}
}  // namespace

QByteArray buildCommandLine(const QByteArray& program, const QByteArray& parameters) {
  QByteArray line;
  line.reserve(program.size() + parameters.size() + 3);
  line += '"';
  line += program;
  line += "\" ";
  line += parameters;
  return cutUtf8(line, kCommandLineMax);
}

QStringList splitArguments(const QString& text) {
  QStringList args;
  QString current;
  bool inArgument = false;  // also true for an argument made only of ""
  enum class Quote { None, Double, Single } quote = Quote::None;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    switch (quote) {
      case Quote::None:
        if (isSeparator(c)) {
          if (inArgument) args << current;
          current.clear();
          inArgument = false;
        } else if (c == QLatin1Char('"')) {
          quote = Quote::Double;
          inArgument = true;
        } else if (c == QLatin1Char('\'')) {
          quote = Quote::Single;
          inArgument = true;
        } else {
          current += c;
          inArgument = true;
        }
        break;
      case Quote::Double:
        if (c == QLatin1Char('"')) {
          quote = Quote::None;
        } else if (c == QLatin1Char('\\') && i + 1 < text.size() &&
                   (text.at(i + 1) == QLatin1Char('"') || text.at(i + 1) == QLatin1Char('\\'))) {
          current += text.at(++i);
        } else {
          current += c;
        }
        break;
      case Quote::Single:
        if (c == QLatin1Char('\''))
          quote = Quote::None;
        else
          current += c;
        break;
    }
  }
  if (inArgument) args << current;
  return args;
}

ParsedCommandLine parseCommandLine(const QByteArray& commandLine) {
  const QString line = QString::fromLocal8Bit(commandLine);
  ParsedCommandLine out;
  if (!line.startsWith(QLatin1Char('"'))) {
    // Not built by buildCommandLine; read it as plain arguments, the first one the program.
    out.arguments = splitArguments(line);
    if (!out.arguments.isEmpty()) out.program = out.arguments.takeFirst();
    return out;
  }
  const qsizetype close = line.indexOf(QLatin1Char('"'), 1);
  if (close < 0) {
    out.program = line.mid(1);
    return out;
  }
  out.program = line.mid(1, close - 1);
  out.arguments = splitArguments(line.mid(close + 1));
  return out;
}

QString folderPart(const QString& program) {
  return program.left(program.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace vuvedid
