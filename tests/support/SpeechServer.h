#pragma once
// A private speech-dispatcher for tests: its own config folder, a "logger" voice that
// appends every text it is asked to speak to a file instead of making sound, a null audio
// driver and a unix socket in a temporary folder. The client side is pointed at it with
// SPEECHD_ADDRESS, so nothing ever reaches (or starts) a system speech server.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vuvedid::test {

class SpeechServer {
 public:
  // Each text is logged as a line "start:<text>"; with speakSeconds > 0 the voice then
  // "speaks" that long and logs "end" when it finishes (a cancelled text logs no "end").
  explicit SpeechServer(double speakSeconds = 0);
  ~SpeechServer();  // kills the server (by its pid) if it still runs

  bool start();  // true once the socket accepts; after kill() it starts again on the same socket
  void kill();   // SIGKILL, as for a server that has wedged
  QString address() const { return QStringLiteral("unix_socket:") + socket_; }
  QString socketPath() const { return socket_; }
  long long pid() const { return pid_; }
  // Sets SPEECHD_ADDRESS for clients created from now on.
  void exportAddress() const;
  // The lines the logger voice has written so far.
  QStringList spoken() const;

 private:
  QTemporaryDir dir_;
  QString socket_, log_;
  double speakSeconds_;
  long long pid_ = 0;
};

// Points SPEECHD_ADDRESS at a socket that does not exist.
void exportMissingSpeechAddress(const QString& folder);

}  // namespace vuvedid::test
