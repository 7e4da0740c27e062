#pragma once
#include <QString>
#include <QStringList>

namespace vuvedid {

// Starts a program detached (own session, standard streams on /dev/null, never waited
// for). False when it could not be started; callers may ignore that.
class IProcessStarter {
 public:
  virtual ~IProcessStarter() = default;
  virtual bool start(const QString& program, const QStringList& arguments,
                     const QString& workingDirectory) noexcept = 0;
};

}  // namespace vuvedid
