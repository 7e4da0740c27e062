#pragma once
#include "app/Services.h"

namespace vuvedid {

// The platform's save-file dialog.
class QtSaveDialog final : public ISaveDialog {
 public:
  std::optional<QString> choose(const QString& filter, const QString& defaultExt,
                                const QString& initialFileName) override;
};

}  // namespace vuvedid
