#pragma once
// The verbs of the command language, as the interpreter calls them once it has cut their
// arguments out of a text. Room carries them out.
#include <QByteArray>
#include <QString>

namespace vuvedid {

class RoomCommands {
 public:
  virtual ~RoomCommands() = default;
  virtual void reset() = 0;
  virtual void play(const QString& roomName) = 0;
  virtual void volume(const QString& level) = 0;
  virtual void fx(const QString& argument) = 0;
  virtual void pause() = 0;
  virtual void resume() = 0;
  // The locale's 8-bit texts, at most 255 bytes each.
  virtual void launch(const QByteArray& program, const QByteArray& parameters) = 0;
  virtual void next() = 0;
  virtual void shuffle() = 0;
  virtual void speak(const QString& text) = 0;
};

}  // namespace vuvedid
