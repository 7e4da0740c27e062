#pragma once
// What the background channel shows: the window writes each of these into its controls,
// a room without a window shows nothing. Every call carries the whole new value.
#include <QString>
#include <QStringList>

namespace vuvedid {

class PlayerView {
 public:
  virtual ~PlayerView() = default;
  // The caption while a track plays: its file name.
  virtual void showTitle(const QString& text) = 0;
  // A playlist build: the folder listed, its file names, and the playlist in playing order.
  virtual void showListing(const QString& folder, const QStringList& names) = 0;
  virtual void showPlaylist(const QStringList& paths) = 0;
  // The shuffle's scratch list: a copy of the new order.
  virtual void showShuffled(const QStringList& paths) = 0;
  // The track the next play starts (full path).
  virtual void showTrack(const QString& path) = 0;
  // The playlist position shown to the user ("_" after a stop).
  virtual void showTrackNumber(const QString& text) = 0;
  // Seconds left of the current track.
  virtual void showTimeLeft(int seconds) = 0;
  virtual void showProgress(int value, int maximum) = 0;
  // The pause mark.
  virtual void showPaused(bool paused) = 0;
  // A volume command: the bar's position and the text as given.
  virtual void showVolume(int bar, const QString& text) = 0;
  // The room of the last play command.
  virtual void showRoom(const QString& room) = 0;
};

}  // namespace vuvedid
