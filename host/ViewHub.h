#pragma once
// The views the room's logic talks to, held by the host so the logic exists before any
// window: each call goes to the view attached (the window), or nowhere when none is (a room
// without a window shows nothing).
#include "audio/EffectsView.h"
#include "audio/PlayerView.h"
#include "commands/SpeechView.h"
#include "mqtt/SessionView.h"

namespace vuvedid {

class ViewHub final : public PlayerView, public EffectsView, public SpeechView, public SessionView {
 public:
  template <class Window>
  void attach(Window& w) {
    player_ = &w;
    effects_ = &w;
    speech_ = &w;
    session_ = &w;
  }
  void detach() {
    player_ = nullptr;
    effects_ = nullptr;
    speech_ = nullptr;
    session_ = nullptr;
  }

  void showTitle(const QString& text) override {
    if (player_) player_->showTitle(text);
  }
  void showListing(const QString& folder, const QStringList& names) override {
    if (player_) player_->showListing(folder, names);
  }
  void showPlaylist(const QStringList& paths) override {
    if (player_) player_->showPlaylist(paths);
  }
  void showShuffled(const QStringList& paths) override {
    if (player_) player_->showShuffled(paths);
  }
  void showTrack(const QString& path) override {
    if (player_) player_->showTrack(path);
  }
  void showTrackNumber(const QString& text) override {
    if (player_) player_->showTrackNumber(text);
  }
  void showTimeLeft(int seconds) override {
    if (player_) player_->showTimeLeft(seconds);
  }
  void showProgress(int value, int maximum) override {
    if (player_) player_->showProgress(value, maximum);
  }
  void showPaused(bool paused) override {
    if (player_) player_->showPaused(paused);
  }
  void showVolume(int bar, const QString& text) override {
    if (player_) player_->showVolume(bar, text);
  }
  void showRoom(const QString& room) override {
    if (player_) player_->showRoom(room);
  }

  void showEffectFile(int slot, const QString& path) override {
    if (effects_) effects_->showEffectFile(slot, path);
  }

  void showSpeechText(const QString& text) override {
    if (speech_) speech_->showSpeechText(text);
  }

  // Without a window the debug tab's designed options hold, and there is no debug command.
  SessionOptions sessionOptions() const override {
    return session_ ? session_->sessionOptions() : SessionOptions{};
  }
  QString debugCommand() const override { return session_ ? session_->debugCommand() : QString(); }
  void showConnectEnabled(bool enabled) override {
    if (session_) session_->showConnectEnabled(enabled);
  }
  void focusField(SessionField field) override {
    if (session_) session_->focusField(field);
  }
  void showBusy(bool busy) override {
    if (session_) session_->showBusy(busy);
  }

 private:
  PlayerView* player_ = nullptr;
  EffectsView* effects_ = nullptr;
  SpeechView* speech_ = nullptr;
  SessionView* session_ = nullptr;
};

}  // namespace vuvedid
