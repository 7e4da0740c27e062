#pragma once
// Stand-ins for what needs a person (boxes, the save dialog) or a fixed moment (the
// clock), plus recorders for speech and launches where a test only asserts the call.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "app/Errors.h"
#include "app/Services.h"
#include "commands/ProcessStarter.h"
#include "commands/Speech.h"
#include "ui/MessageBoxes.h"

namespace vuvedid::test {

struct Box {
  BoxIcon icon;
  QString caption;
  QString text;
};

class RecordingMessageBoxes final : public IMessageBoxes {
 public:
  void show(BoxIcon icon, const QString& caption, const QString& text) override {
    boxes.push_back({icon, caption, text});
    if (onShow) onShow(boxes.back());
  }
  std::vector<Box> boxes;
  std::function<void(const Box&)> onShow;  // e.g. to spin an event loop while "open"
  QStringList texts() const {
    QStringList t;
    for (const auto& b : boxes) t << b.text;
    return t;
  }
};

class ScriptedSaveDialog final : public ISaveDialog {
 public:
  std::optional<QString> choose(const QString& filter, const QString& defaultExt,
                                const QString& initialFileName) override {
    lastFilter = filter;
    lastDefaultExt = defaultExt;
    offered << initialFileName;
    if (answers.empty()) return std::nullopt;
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<std::optional<QString>> answers;  // nullopt = cancel
  QStringList offered;
  QString lastFilter, lastDefaultExt;
};

class FixedClock final : public IClock {
 public:
  explicit FixedClock(QDateTime at = QDateTime(QDate(2023, 12, 9), QTime(14, 5, 7))) : at(at) {}
  QDateTime now() const override { return at; }
  QDateTime at;
};

class RecordingSpeech final : public ISpeech {
 public:
  void speak(const QString& text) override {
    if (failWith) throw *failWith;
    spoken << text;
  }
  QStringList spoken;
  std::optional<AppError> failWith;
};

class RecordingStarter final : public IProcessStarter {
 public:
  struct Call {
    QString program;
    QStringList arguments;
    QString workingDirectory;
  };
  bool start(const QString& program, const QStringList& arguments,
             const QString& workingDirectory) noexcept override {
    calls.push_back({program, arguments, workingDirectory});
    return true;
  }
  std::vector<Call> calls;
};

}  // namespace vuvedid::test
