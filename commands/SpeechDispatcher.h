#pragma once
// Speech through speech-dispatcher (libspeechd). The connection is opened on a worker
// thread at construction; every call to the server runs there, and the GUI thread waits
// for the worker at most a short bound, so a server that hangs never freezes the window.
//
// speak() hands the text to the worker and returns; a new text cancels the one being
// spoken (SPD_TEXT priority) instead of waiting for it. When the service cannot be reached
// (open failed, no answer, connection lost) speak() throws AppError naming the service and
// the reason, and a later speak() opens the connection again, at most once per retry
// interval. Destruction waits for the worker only briefly; a hung call is left behind.
//
// libspeechd starts a server of its own (autospawn) only when SPEECHD_ADDRESS is unset:
// an explicit address names a server that somebody else runs.
#include <chrono>
#include <functional>
#include <memory>

#include "commands/Speech.h"

namespace vuvedid {

class SpeechDispatcher final : public ISpeech {
 public:
  struct Timing {
    // How long speak() waits for the answer to "is the connection open".
    std::chrono::milliseconds answerWait{200};
    // A single server call running longer than this counts as a hung service.
    std::chrono::milliseconds hungAfter{1500};
    // The least time between two attempts to open the connection.
    std::chrono::milliseconds retryInterval{3000};
    // How long the destructor waits for the worker before leaving it behind.
    std::chrono::milliseconds shutdownWait{300};
  };

  SpeechDispatcher();
  explicit SpeechDispatcher(Timing timing);
  ~SpeechDispatcher() override;
  SpeechDispatcher(const SpeechDispatcher&) = delete;
  SpeechDispatcher& operator=(const SpeechDispatcher&) = delete;

  void speak(const QString& text) override;

  // sink(true) when the server starts saying a text (or resumes it), sink(false) when it
  // ends, is cancelled or paused, or the connection goes. Called on libspeechd's thread;
  // one receiver per process, dropped when this object goes.
  void onSounding(std::function<void(bool)> sink) override;

  // True once the connection is open (for diagnostics; never waits).
  bool connected() const noexcept;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace vuvedid
