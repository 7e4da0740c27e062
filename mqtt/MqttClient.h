#pragma once
// The broker session: connect, disconnect, the hand-over of network events into the GUI
// thread, subscribe, publish and the heartbeat.
#include <cstdint>

#include <QString>

namespace vuvedid {

class TForm_player;

class MqttClient {
 public:
  explicit MqttClient(TForm_player& form);
  ~MqttClient();

  // 1 after Disconnect was pressed; 0 at start-up and after every connect that went through.
  std::uint8_t user_disconnect = 0;

  void btnConnectClick();
  void btnDisconnectClick();
  void btn_SUBClick();
  void btnPublishClick();
  void Timer_actTimer();

 private:
  TForm_player& form_;
};

}  // namespace vuvedid
