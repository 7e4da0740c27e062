#include "commands/SpeechDispatcher.h"

#include <libspeechd.h>
#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "app/Errors.h"

namespace vuvedid {

namespace {

using Clock = std::chrono::steady_clock;

enum class Link { Opening, Open, Closed };

QString unavailable(const QString& reason) {
  return QStringLiteral("Speech service (speech-dispatcher) is not available: ") + reason;
}

QString millis(std::chrono::milliseconds ms) {
  return QString::number(ms.count()) + QStringLiteral(" ms");
}

// Who hears when speech starts and stops sounding. libspeechd's callbacks carry no pointer
// of ours, so the receiver is one per process; the callbacks run on libspeechd's own thread.
std::mutex gSoundingMutex;
std::function<void(bool)> gSounding;   // under gSoundingMutex
const void* gSoundingOwner = nullptr;  // under gSoundingMutex

void tellSounding(bool on) {
  std::lock_guard lock(gSoundingMutex);
  if (!gSounding) return;
  try {
    gSounding(on);
  } catch (...) {
  }
}

void onSpeechEvent(size_t /*msg*/, size_t /*client*/, SPDNotificationType type) {
  tellSounding(type == SPD_EVENT_BEGIN || type == SPD_EVENT_RESUME);
}

// Asks the server to report the start and every way the end of an utterance can come.
void watchSounding(SPDConnection* c) {
  c->callback_begin = &onSpeechEvent;
  c->callback_end = &onSpeechEvent;
  c->callback_cancel = &onSpeechEvent;
  c->callback_pause = &onSpeechEvent;
  c->callback_resume = &onSpeechEvent;
  spd_set_notification_on(c, SPD_BEGIN);
  spd_set_notification_on(c, SPD_END);
  spd_set_notification_on(c, SPD_CANCEL);
  spd_set_notification_on(c, SPD_PAUSE);
  spd_set_notification_on(c, SPD_RESUME);
}

}  // namespace

// Shared by the GUI thread and the worker; it outlives the SpeechDispatcher when the worker
// is left behind in a hung call.
struct SpeechDispatcher::State {
  Timing timing;
  std::mutex mutex;
  std::condition_variable wake;     // worker: there is work, or stop
  std::condition_variable changed;  // GUI: the link state changed
  std::condition_variable finished;

  // Guarded by mutex.
  Link link = Link::Opening;
  QString reason;  // why the link is closed
  Clock::time_point lastOpenAttempt = Clock::now();
  bool openRequested = true;
  std::deque<std::string> texts;  // UTF-8, in arrival order
  bool stop = false;
  bool done = false;
  bool noWorker = false;          // the thread could not be started: never retry
  Clock::time_point busySince{};  // start of the server call running now
  bool busy = false;

  // Worker only.
  SPDConnection* connection = nullptr;

  bool tryOpen(std::unique_lock<std::mutex>& lock);
  void run();
};

// Runs on the worker with the lock held on entry and exit; the server call itself runs
// unlocked.
bool SpeechDispatcher::State::tryOpen(std::unique_lock<std::mutex>& lock) {
  link = Link::Opening;
  lastOpenAttempt = Clock::now();
  busy = true;
  busySince = lastOpenAttempt;
  lock.unlock();
  // An explicit address names a server that somebody else runs; only the default one may
  // be started on demand.
  const int autospawn = std::getenv("SPEECHD_ADDRESS") ? 0 : 1;
  char* error = nullptr;
  SPDConnection* c =
      spd_open2("vuvedid", "main", nullptr, SPD_MODE_THREADED, nullptr, autospawn, &error);
  if (c) watchSounding(c);
  const QString why = error ? QString::fromLocal8Bit(error).trimmed() : QString();
  std::free(error);
  lock.lock();
  busy = false;
  connection = c;
  if (c) {
    link = Link::Open;
    reason.clear();
  } else {
    link = Link::Closed;
    reason = why.isEmpty() ? QStringLiteral("the connection could not be opened") : why;
  }
  changed.notify_all();
  return c != nullptr;
}

void SpeechDispatcher::State::run() {
  // A write to a server that has gone must come back as an error, not kill the process.
  // libspeechd's own reader thread, started from here, inherits the mask.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  std::unique_lock lock(mutex);
  for (;;) {
    wake.wait(lock, [this] { return stop || openRequested || (!texts.empty() && connection); });
    if (stop) break;
    if (openRequested) {
      openRequested = false;
      if (!connection) tryOpen(lock);
      continue;
    }
    std::string text = std::move(texts.front());
    texts.pop_front();
    busy = true;
    busySince = Clock::now();
    SPDConnection* c = connection;
    lock.unlock();
    int said = spd_say(c, SPD_TEXT, text.c_str());
    lock.lock();
    busy = false;
    if (said < 0 && !stop) {
      // The server went away (restarted, or exited when idle): open once more at once and
      // say the text again, so a restart loses nothing.
      lock.unlock();
      spd_close(c);
      tellSounding(false);  // its end will never be reported
      lock.lock();
      connection = nullptr;
      if (tryOpen(lock)) {
        c = connection;
        lock.unlock();
        said = spd_say(c, SPD_TEXT, text.c_str());
        lock.lock();
        if (said < 0) {
          lock.unlock();
          spd_close(c);
          lock.lock();
          connection = nullptr;
          link = Link::Closed;
          reason = QStringLiteral("the connection was lost");
          changed.notify_all();
        }
      }
    }
    if (!connection) texts.clear();  // nobody to say them to; speak() reports it from now on
  }
  SPDConnection* c = connection;
  connection = nullptr;
  lock.unlock();
  if (c) spd_close(c);
  tellSounding(false);
  lock.lock();
  done = true;
  finished.notify_all();
}

SpeechDispatcher::SpeechDispatcher() : SpeechDispatcher(Timing{}) {}

SpeechDispatcher::SpeechDispatcher(Timing timing) : state_(std::make_shared<State>()) {
  state_->timing = timing;
  // The thread holds its own reference: it may outlive this object when a call hangs.
  try {
    std::thread([s = state_] { s->run(); }).detach();
  } catch (const std::system_error& e) {
    // No thread, no speech; the program itself goes on.
    state_->link = Link::Closed;
    state_->reason = QStringLiteral("no worker thread: ") + QString::fromLocal8Bit(e.what());
    state_->noWorker = true;
    state_->done = true;
  }
}

SpeechDispatcher::~SpeechDispatcher() {
  {
    std::lock_guard lock(gSoundingMutex);
    if (gSoundingOwner == this) {
      gSounding = nullptr;
      gSoundingOwner = nullptr;
    }
  }
  std::unique_lock lock(state_->mutex);
  state_->stop = true;
  state_->wake.notify_all();
  state_->finished.wait_for(lock, state_->timing.shutdownWait, [this] { return state_->done; });
}

void SpeechDispatcher::onSounding(std::function<void(bool)> sink) {
  std::lock_guard lock(gSoundingMutex);
  gSounding = std::move(sink);
  gSoundingOwner = gSounding ? this : nullptr;
}

bool SpeechDispatcher::connected() const noexcept {
  std::lock_guard lock(state_->mutex);
  return state_->link == Link::Open;
}

void SpeechDispatcher::speak(const QString& text) {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  const auto now = Clock::now();
  if (s.busy && now - s.busySince > s.timing.hungAfter) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - s.busySince);
    throw AppError(unavailable(QStringLiteral("no answer for ") + millis(ms)));
  }
  if (s.link == Link::Closed && !s.noWorker && now - s.lastOpenAttempt >= s.timing.retryInterval) {
    s.link = Link::Opening;
    s.openRequested = true;
    s.wake.notify_all();
  }
  s.changed.wait_for(lock, s.timing.answerWait, [&s] { return s.link != Link::Opening; });
  switch (s.link) {
    case Link::Opening:
      throw AppError(
          unavailable(QStringLiteral("no answer within ") + millis(s.timing.answerWait)));
    case Link::Closed:
      throw AppError(unavailable(s.reason));
    case Link::Open:
      break;
  }
  s.texts.push_back(text.toStdString());
  s.wake.notify_all();
}

}  // namespace vuvedid

#if defined(__SANITIZE_THREAD__)
// libspeechd's threaded mode has races of its own, between its reader thread and the
// calling thread (spd_close destroying what the cancelled reader waited on; the reader
// closing the socket of a lost connection while a text is being written). Every call we
// make is serialized on our worker, so nothing of ours takes part; keep ThreadSanitizer
// reports for our own code. Weak, so a program-wide list elsewhere takes precedence.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
  return "race:libspeechd.so\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// spd_open2 keeps a small string when a connection attempt fails (about 20 bytes, and
// attempts are at least a retry interval apart); it is libspeechd's to free, not ours.
// glib is built without frame pointers, so the report's stack ends in g_malloc: nothing
// of ours allocates through glib.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:g_malloc\n";
}
#endif
