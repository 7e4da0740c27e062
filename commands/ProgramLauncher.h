#pragma once
// Starts another program from the "cmdstr:" command: fire and forget.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vuvedid {

class IProcessStarter;

class ProgramLauncher {
 public:
  explicit ProgramLauncher(IProcessStarter& starter);
  // program and parameters: the locale's 8-bit texts, at most 255 bytes each. The result
  // (1 when started, 0 otherwise) is not used by the caller.
  qint64 RunProgram(const QByteArray& program, const QByteArray& parameters);

  // [launch] allow: when set, only a program whose path (as named, or as found on PATH)
  // matches one of these shell patterns is started; any other is refused with one line to
  // `refused`. Unset: every program starts.
  std::optional<QStringList> allow;
  std::function<void(const QString&)> refused;
  bool allowed(const QString& executable) const;

 private:
  IProcessStarter& starter_;
};

}  // namespace vuvedid
