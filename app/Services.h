#pragma once
// The platform layers the window is built on, handed in whole so tests can swap the two
// that need a person (message boxes, the save dialog) and keep every real one.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vuvedid {

class IAudioLibrary;
class IMessageBoxes;
class ISpeech;
class IProcessStarter;

class IClock {
 public:
  virtual ~IClock() = default;
  virtual QDateTime now() const = 0;
};

class SystemClock final : public IClock {
 public:
  QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// The save-file dialog: returns the chosen path, or nothing when the user cancels.
class ISaveDialog {
 public:
  virtual ~ISaveDialog() = default;
  virtual std::optional<QString> choose(const QString& filter, const QString& defaultExt,
                                        const QString& initialFileName) = 0;
};

// The state of the window's one save-file dialog: its filter, default extension and the
// file name chosen at its last use (shared by both log-save buttons).
struct SaveDialogState {
  QString filter;
  QString defaultExt;
  QString fileName;
};

struct Services {
  IAudioLibrary* audio = nullptr;
  IMessageBoxes* boxes = nullptr;
  ISaveDialog* saveDialog = nullptr;
  ISpeech* speech = nullptr;
  IProcessStarter* starter = nullptr;
  const IClock* clock = nullptr;
  QStringList arguments;               // command-line arguments without the program name
  QString exeDir;                      // folder of the executable, with a trailing "/"
  std::function<void(int)> terminate;  // ends the process at once with that status
};

}  // namespace vuvedid
