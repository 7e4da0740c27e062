#pragma once
#include "commands/ProcessStarter.h"

namespace vuvedid {

class QProcessStarter final : public IProcessStarter {
 public:
  bool start(const QString& program, const QStringList& arguments,
             const QString& workingDirectory) noexcept override;
};

}  // namespace vuvedid
