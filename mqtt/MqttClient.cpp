#include "mqtt/MqttClient.h"

#include "ui/TForm_player.h"

namespace vuvedid {

MqttClient::MqttClient(TForm_player& form) : form_(form) {}
MqttClient::~MqttClient() = default;
void MqttClient::btnConnectClick() {}
void MqttClient::btnDisconnectClick() {}
void MqttClient::btn_SUBClick() {}
void MqttClient::btnPublishClick() {}
void MqttClient::Timer_actTimer() {}

}  // namespace vuvedid
