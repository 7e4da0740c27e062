#pragma once
// Speech through speech-dispatcher (libspeechd). The connection is opened on a worker
// thread at construction; every call to the server runs there under a time limit, so the
// GUI thread never waits on a server that hangs.
#include <memory>

#include "commands/Speech.h"

namespace vuvedid {

class SpeechDispatcher final : public ISpeech {
 public:
  SpeechDispatcher();
  ~SpeechDispatcher() override;
  void speak(const QString& text) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vuvedid
