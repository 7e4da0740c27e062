#include "mqtt/MqttClient.h"

#include <mosquitto.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>
#include <mutex>
#include <vector>

#include "app/Errors.h"
#include "app/Logs.h"
#include "app/Trace.h"
#include "ui/MessageBoxes.h"
#include "ui/TForm_player.h"

namespace vuvedid {

namespace {

const QString kCaption = QStringLiteral("Error");

// Sessions still open when their window went: they stay connected until the process ends
// (so the broker sees the connection drop and publishes the will). Kept reachable here.
std::mutex g_abandonedLock;
std::vector<::mosquitto*>& abandoned() {
  // Never destroyed: the sessions are to outlive every destructor run at exit.
  static auto* sessions = new std::vector<::mosquitto*>;
  return *sessions;
}

}  // namespace

MqttClient::MqttClient(TForm_player& form) : form_(form) {
  receiver_ = std::make_unique<EventReceiver>(
      [this](std::unique_ptr<T_win_message> message) {
        // Each event is an entry point of its own: a failing command ends only its own
        // handling.
        form_.guarded([&] { OnMqttEvent(std::move(message)); });
      },
      [this](bool starting) {
        // The log lines of a slice's events reach the boxes together.
        form_.guarded([&] {
          if (starting)
            form_.logs->beginBatch();
          else
            form_.logs->endBatch();
        });
      });
  bridge::attach({receiver_.get(), &f_connected, &f_connect_result, &f_disconnect_result});
}

MqttClient::~MqttClient() {
  bridge::detach();
  resetCursor();
  if (f_mosq) {
    std::lock_guard lock(g_abandonedLock);
    abandoned().push_back(f_mosq);
  }
}

// ---- Connect and disconnect -------------------------------------------------------------

void MqttClient::btnConnectClick() {
  act_ConnectExecute();
  form_.btnConnect->setEnabled(false);
  user_disconnect = 0;
}

void MqttClient::act_ConnectExecute() {
  ReadClientIdentity();
  // A working connection is kept: only one that Disconnect has already been asked to end
  // (the reconnect presses Disconnect and Connect back to back) is replaced.
  if (f_connected && !disconnect_requested_) throw SilentAbort();
  CreateMosqSession();
  if (f_connected) throw SilentAbort();
  ReadConnectParams();
  act_DisconnectExecute();
  mosquitto_will_clear(f_mosq);
  int rc = mosquitto_will_set(f_mosq, f_will_topic.c_str(), f_will_payload_len,
                              f_will_payload.c_str(), 0, true);
  if (rc != 0) callFailed(QStringLiteral("Ошибка установки завещания: "), MosqCall::WillSet, rc);
  rc = mosquitto_username_pw_set(f_mosq, f_user_name.c_str(), f_user_password.c_str());
  if (rc != 0)
    callFailed(QStringLiteral("Ошибка установки User name и Password: "), MosqCall::UsernamePwSet,
               rc);
  setBusy();
  rc = mosquitto_connect(f_mosq, f_hostname.c_str(), f_port, kKeepAlive);
  if (rc != 0) {
    try {
      callFailed(QStringLiteral("Ошибка соединения: "), MosqCall::Connect, rc);
    } catch (...) {
      resetCursor();
      throw;
    }
  }
  rc = mosquitto_loop_start(f_mosq);
  if (rc != 0) {
    try {
      callFailed(QStringLiteral("Ошибка соединения: "), MosqCall::LoopStart, rc);
    } catch (...) {
      resetCursor();
      throw;
    }
  }
}

void MqttClient::ReadClientIdentity() {
  if (form_.eLogin->text().isEmpty()) emptyField(form_.eLogin, QStringLiteral("User ID"));
  f_clean_session = form_.CleanBox2->isChecked() ? 1 : 0;
  StrToUtf8(form_.eLogin->text(), f_user_id);
}

void MqttClient::CreateMosqSession() {
  if (f_session_started) {
    stopSession();
    mosquitto_destroy(f_mosq);
    f_mosq = nullptr;
    session_tag_ = 0;
    bridge::setLiveSession(nullptr, 0);
    // The old session's thread has ended: nothing holds a connection any more.
    f_connected = false;
  }
  f_mosq = mosquitto_new(f_user_id.c_str(), f_clean_session != 0, &f_user_obj);
  if (!f_mosq) {
    form_.services.boxes->show(BoxIcon::Warning, kCaption,
                               QStringLiteral("Ошибка инициализации сессии MQTT клиента"));
    throw SilentAbort();
  }
  session_tag_ = ++last_tag_;
  disconnect_requested_ = false;
  bridge::setLiveSession(f_mosq, session_tag_);
  bridge::installCallbacks(f_mosq);
  f_session_started = true;
}

void MqttClient::stopSession() noexcept {
  if (!f_mosq) return;
  // After a disconnect request the network thread leaves its loop by itself, so the stop
  // without force returns (a forced stop would cancel the thread wherever it is). Without a
  // thread the stop just reports that there is none.
  mosquitto_disconnect(f_mosq);
  mosquitto_loop_stop(f_mosq, false);
}

void MqttClient::ReadConnectParams() {
  if (form_.cxte_WillTopic->text().isEmpty())
    emptyField(form_.cxte_WillTopic, QStringLiteral("Will Topic"));
  if (form_.eIP->text().isEmpty()) emptyField(form_.eIP, QStringLiteral("Host Name"));
  f_retain = form_.RetainBox->isChecked() ? 1 : 0;
  StrToUtf8(form_.cxte_WillTopic->text(), f_will_topic);
  if (form_.cxte_WillPayload->text().isEmpty()) {
    f_will_payload.clear();
    f_will_payload_len = 0;
  } else {
    f_will_payload_len = StrToUtf8(form_.cxte_WillPayload->text(), f_will_payload);
  }
  auto utf8OrEmpty = [](const QString& text, ByteString& dest) {
    if (text.isEmpty())
      dest.clear();
    else
      StrToUtf8(text, dest);
  };
  utf8OrEmpty(form_.eLogin->text(), f_user_name);
  utf8OrEmpty(form_.ePassword->text(), f_user_password);
  utf8OrEmpty(form_.eIP->text(), f_hostname);
  f_port = form_.eport->value();
  f_keepalive = form_.cxsped_KeepAlive->value();
}

void MqttClient::act_DisconnectExecute() {
  if (!f_mosq || !f_connected) return;
  disconnect_requested_ = true;
  setBusy();
  int rc = mosquitto_disconnect(f_mosq);
  if (rc != 0) form_.AddSysLog(QStringLiteral("mosquitto_disconnect = %1").arg(rc));
  loopWrite();
}

void MqttClient::btnDisconnectClick() {
  // The user's own Disconnect ends any retrying after a lost connection.
  if (!auto_disconnect_) lost_reconnect_ = false;
  user_disconnect = 1;
  form_.btnConnect->setEnabled(true);
  act_DisconnectExecute();
}

// ---- Subscribe, publish, heartbeat ------------------------------------------------------

void MqttClient::btn_SUBClick() {
  if (!f_connected) throw SilentAbort();
  ++f_sub_id;
  if (form_.eTopic->text().isEmpty()) emptyField(form_.eTopic, QStringLiteral("Subscribe Topic"));
  f_sub_qos = form_.cxrg_SubQoS->itemIndex();
  StrToUtf8(form_.eTopic->text(), f_sub_topic);
  const int rc = mosquitto_subscribe(f_mosq, &f_sub_id, f_sub_topic.c_str(), f_sub_qos);
  if (rc != 0) callFailed(QStringLiteral("Ошибка выполнения Subsribe: "), MosqCall::Subscribe, rc);
  if (form_.chbx_act->isChecked()) form_.Timer_act->setEnabled(true);
  loopWrite();
}

void MqttClient::btnPublishClick() { act_PublishExecute(); }
void MqttClient::act_PublishExecute() { publish(PublishKind::Debug); }
void MqttClient::act_PublishExecute2() { publish(PublishKind::Heartbeat); }

void MqttClient::publish(PublishKind kind) {
  const bool heartbeat = kind == PublishKind::Heartbeat;
  if (!f_connected) throw SilentAbort();
  ++f_pub_id;
  if (form_.eTopicSend->text().isEmpty()) {
    if (heartbeat) throw SilentAbort();
    emptyField(form_.eTopicSend, QStringLiteral("Pulished Topic"));
  }
  f_pub_retain = (!heartbeat && form_.RetainBox->isChecked()) ? 1 : 0;
  f_pub_qos = form_.cxrg_PubQoS->itemIndex();
  StrToUtf8(form_.eTopicSend->text(), f_pub_topic);
  QString text;
  if (heartbeat) {
    text = form_.e_con_act->text();
  } else if (const QTableWidgetItem* cell = form_.Commands->item(form_.Commands->currentRow(), 0)) {
    text = cell->text();
  }
  if (text.isEmpty()) {
    f_pub_payload.clear();
    f_pub_payload_len = 0;
  } else {
    // What goes out is the text after a round trip through the 8-bit encoding.
    const QByteArray eightBit = text.toLocal8Bit();
    const QString back = QString::fromLocal8Bit(eightBit);
    form_.logs->stampedProtocol(back, false);
    f_pub_payload_len = StrToUtf8(back, f_pub_payload);
  }
  const int rc = mosquitto_publish(f_mosq, &f_pub_id, f_pub_topic.c_str(), f_pub_payload_len,
                                   f_pub_payload.c_str(), f_pub_qos, f_pub_retain != 0);
  if (rc != 0) {
    if (heartbeat) publish_error = 1;
    callFailed(QStringLiteral("Ошибка выполнения Publish: "), MosqCall::Publish, rc);
  }
  loopWrite();
}

void MqttClient::Timer_actTimer() {
  const bool reconnectAllowed = form_.chbx_reconnect->isChecked() && user_disconnect == 0;
  // The connection was lost (or never accepted) while nobody pressed Disconnect: the
  // heartbeat could only end silently, so connect again instead. A broker that is still
  // down keeps this going at every tick until it is back.
  if (form_.chbx_reconnect->isChecked() && (user_disconnect == 0 || lost_reconnect_) &&
      f_session_started && !f_connected) {
    reconnectAfterLoss();
    return;
  }
  act_PublishExecute2();
  if (reconnectAllowed && publish_error == 1) reconnect();
}

void MqttClient::reconnect() {
  {
    const ScopedFlag scope(auto_disconnect_, true);
    form_.btnDisconnectClick();
  }
  form_.btnConnectClick();
  // The new session went through: a refused heartbeat of the old one is history, and the
  // command topic is to be subscribed again once the broker accepts the new session.
  publish_error = 0;
  resubscribe_tag_ = session_tag_;
}

void MqttClient::reconnectAfterLoss() {
  lost_reconnect_ = true;
  // One box tells the operator the broker is unreachable; the attempts that follow every
  // tick only go to the system log, so an outage of hours leaves one box, not hundreds.
  const ScopedFlag quiet(quiet_failures_, outage_reported_);
  try {
    reconnect();
  } catch (...) {
    outage_reported_ = true;
    throw;
  }
  lost_reconnect_ = false;
  outage_reported_ = false;
}

void MqttClient::loopWrite() {
  const int rc = mosquitto_loop_write(f_mosq, 1);
  if (rc != 0) form_.AddSysLog(QStringLiteral("mosquitto_loop_write = %1").arg(rc));
}

// ---- Network events ---------------------------------------------------------------------

void MqttClient::OnMqttEvent(std::unique_ptr<T_win_message> R) {
  // R, and the message copy it owns, are released however this ends.
  // Tag 0: a session this window never had (one left behind by an earlier window).
  if (R->session == 0) return;
  // A replaced session is gone (its thread was stopped before it was destroyed): what it
  // reported about itself no longer applies. A message it received is still a command.
  if (R->session != session_tag_ && R->id != ON_MESSAGE_ID) return;
  QString D = R->description;
  if (R->id != ON_LOG_ID) resetCursor();
  if (R->id == ON_DISCONNECT_ID) {
    if (R->rc != 0) mosquitto_disconnect(f_mosq);
    mosquitto_loop_stop(f_mosq, false);
  }
  if (R->id == ON_PUBLISH_ID || R->id == ON_SUBSCRIBE_ID) D += QStringLiteral(" mid=%1").arg(R->rc);
  if (R->id == ON_MESSAGE_ID) {
    if (trace::on()) trace::mark("gui", trace::nowNs());
    T_received_MQTT_msg M;
    if (R->mosquitto_message) ConvertMosqMessage(*R->mosquitto_message, M);
    form_.logs->stampedProtocol(M.payload, true);
    form_.CommandsRun(M.payload);
  }
  form_.AddSysLog(D);
  if (R->id == ON_CONNECT_ID && R->rc == 0 && resubscribe_tag_ != 0 &&
      resubscribe_tag_ == R->session) {
    resubscribe_tag_ = 0;
    form_.btn_SUBClick();
  }
}

void MqttClient::ConvertMosqMessage(const T_mosquitto_message& source,
                                    T_received_MQTT_msg& target) {
  target.topic = Utf8ZToStr(source.topic);
  target.payload = Utf8BufToStr(source.payload, source.payloadlen);
  target.mid = source.mid;
  target.QoS = source.qos;
  target.retain = source.retain;
}

// ---- Boxes and cursor -------------------------------------------------------------------

void MqttClient::emptyField(QWidget* field, const QString& name) {
  report(BoxIcon::Error, QStringLiteral("Недопустимо пустое значение ") + name);
  field->setFocus();
  throw SilentAbort();
}

void MqttClient::report(BoxIcon icon, const QString& text) {
  if (quiet_failures_)
    form_.AddSysLog(text);
  else
    form_.services.boxes->show(icon, kCaption, text);
}

void MqttClient::callFailed(const QString& prefix, MosqCall call, int rc) {
  report(BoxIcon::Warning, prefix + resultText(call, rc));
  throw SilentAbort();
}

// One override at most: a connect and a disconnect in a row still need one reset only.
void MqttClient::setBusy() {
  if (busy_) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  busy_ = true;
}

void MqttClient::resetCursor() noexcept {
  if (!busy_) return;
  QApplication::restoreOverrideCursor();
  busy_ = false;
}

}  // namespace vuvedid
