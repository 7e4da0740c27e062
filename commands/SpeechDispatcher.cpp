#include "commands/SpeechDispatcher.h"

#include "app/Errors.h"

namespace vuvedid {

struct SpeechDispatcher::Impl {};
SpeechDispatcher::SpeechDispatcher() : impl_(std::make_unique<Impl>()) {}
SpeechDispatcher::~SpeechDispatcher() = default;
void SpeechDispatcher::speak(const QString&) {
  throw AppError(QStringLiteral("speech-dispatcher: not available"));
}

}  // namespace vuvedid
