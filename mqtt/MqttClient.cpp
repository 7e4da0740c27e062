#include "mqtt/MqttClient.h"

#include <mosquitto.h>

#include <QTimer>
#include <algorithm>

#include "app/AppInfo.h"
#include "app/Errors.h"
#include "app/EventGuard.h"
#include "app/Logs.h"
#include "app/Settings.h"
#include "app/Trace.h"

namespace vuvedid {

namespace {

const QString kCaption = QStringLiteral("Error");
// The one outage: a broker that stays away, or refuses the login, shows one box.
const QString kOutage = QStringLiteral("broker-outage");

std::unique_ptr<Timer> namedTimer(const char* name, int intervalMs) {
  auto t = std::make_unique<Timer>(intervalMs);
  t->setObjectName(QString::fromLatin1(name));
  return t;
}

}  // namespace

MqttClient::MqttClient(const Settings& settings, Logs& logs, ProblemReporter& problems,
                       SessionView& view)
    : Timer_act(namedTimer("Timer_act", 20000)),
      Timer_start1(namedTimer("Timer_start1", 1000)),
      Timer_start2(namedTimer("Timer_start2", 1000)),
      settings_(settings),
      logs_(logs),
      problems_(problems),
      view_(view) {
  receiver_ = std::make_unique<EventReceiver>(
      [this](std::unique_ptr<T_win_message> message) {
        // Each event is an entry point of its own: a failing command ends only its own
        // handling.
        guarded([&] { OnMqttEvent(std::move(message)); });
      },
      [this](bool starting) {
        // The log lines of a slice's events reach the boxes together.
        guarded([&] {
          if (starting)
            logs_.beginBatch();
          else
            logs_.endBatch();
        });
      });
  retry_timer_ = std::make_unique<QTimer>();
  retry_timer_->setSingleShot(true);
  QObject::connect(retry_timer_.get(), &QTimer::timeout,
                   [this] { guarded([this] { retryConnect(); }); });
  QObject::connect(Timer_act.get(), &QTimer::timeout,
                   [this] { guarded([this] { Timer_actTimer(); }); });
  QObject::connect(Timer_start1.get(), &QTimer::timeout,
                   [this] { guarded([this] { Timer_start1Timer(); }); });
  QObject::connect(Timer_start2.get(), &QTimer::timeout,
                   [this] { guarded([this] { Timer_start2Timer(); }); });
}

void MqttClient::guarded(const std::function<void()>& handler) {
  runGuarded([this](BoxIcon icon, const QString& caption,
                    const QString& text) { problems_.report(icon, caption, text); },
             handler);
}

MqttClient::~MqttClient() {
  retry_timer_.reset();
  releaseSession(true);
  resetCursor();
}

// ---- Connect and disconnect -------------------------------------------------------------

void MqttClient::btnConnectClick() {
  user_disconnect_before_ = user_disconnect;
  act_ConnectExecute();
  view_.showConnectEnabled(false);
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
  applyTls();
  setBusy();
  // Name resolution, the TCP connect and the TLS handshake all happen on the session's own
  // thread; whether they went through is learnt from its events.
  session_->start(ConnectTarget{QByteArray(f_hostname.c_str()), f_port, kKeepAlive});
}

void MqttClient::applyTls() {
  const TlsSettings& tls = settings_.tls;
  if (!tls.enabled) return;
  auto path = [](const QString& p) { return p.toLocal8Bit(); };
  const QByteArray ca = path(tls.cafile), cert = path(tls.certfile), key = path(tls.keyfile);
  // Without a CA bundle of its own the room trusts the system's.
  const int rc = mosquitto_tls_set(f_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                                   ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                                   cert.isEmpty() ? nullptr : cert.constData(),
                                   key.isEmpty() ? nullptr : key.constData(), nullptr);
  if (rc != 0) {
    logs_.AddSysLog(QStringLiteral("mosquitto_tls_set = %1 (%2)")
                        .arg(rc)
                        .arg(QString::fromLocal8Bit(mosquitto_strerror(rc))));
    callFailed(QStringLiteral("Ошибка соединения: "), MosqCall::Connect, rc);
  }
}

void MqttClient::ReadClientIdentity() {
  if (settings_.login.isEmpty()) emptyField(SessionField::eLogin, QStringLiteral("User ID"));
  f_clean_session = view_.sessionOptions().CleanBox2 ? 1 : 0;
  StrToUtf8(settings_.login, f_user_id);
}

void MqttClient::CreateMosqSession() {
  std::unique_ptr<NetworkSession> previous;
  if (f_session_started) {
    if (session_) session_->release(false);
    previous = std::move(session_);
    releaseSession(false);
    // The old session's link is cut: nothing it does reaches these flags any more.
    f_connected = false;
  }
  session_tag_ = ++last_tag_;
  session_ = std::make_unique<NetworkSession>(
      session_tag_,
      bridge::Endpoint{receiver_.get(), &f_connected, &f_connect_result, &f_disconnect_result});
  if (previous) session_->follow(*previous);
  // The callbacks find their session through the user data (its link), not through f_user_obj.
  f_mosq = session_->create(f_user_id.c_str(), f_clean_session != 0);
  if (!f_mosq) {
    session_.reset();
    session_tag_ = 0;
    problems_.report(BoxIcon::Warning, kCaption,
                     QStringLiteral("Ошибка инициализации сессии MQTT клиента"));
    throw SilentAbort();
  }
  disconnect_requested_ = false;
  bridge::installCallbacks(f_mosq);
  f_session_started = true;
}

void MqttClient::releaseSession(bool keepConnection) noexcept {
  if (session_) session_->release(keepConnection);
  session_.reset();
  f_mosq = nullptr;
  session_tag_ = 0;
}

void MqttClient::ReadConnectParams() {
  const SessionOptions o = view_.sessionOptions();
  if (o.cxte_WillTopic.isEmpty())
    emptyField(SessionField::cxte_WillTopic, QStringLiteral("Will Topic"));
  if (settings_.ip.isEmpty()) emptyField(SessionField::eIP, QStringLiteral("Host Name"));
  f_retain = o.RetainBox ? 1 : 0;
  StrToUtf8(o.cxte_WillTopic, f_will_topic);
  if (o.cxte_WillPayload.isEmpty()) {
    f_will_payload.clear();
    f_will_payload_len = 0;
  } else {
    f_will_payload_len = StrToUtf8(o.cxte_WillPayload, f_will_payload);
  }
  auto utf8OrEmpty = [](const QString& text, ByteString& dest) {
    if (text.isEmpty())
      dest.clear();
    else
      StrToUtf8(text, dest);
  };
  utf8OrEmpty(settings_.login, f_user_name);
  utf8OrEmpty(settings_.password, f_user_password);
  utf8OrEmpty(settings_.ip, f_hostname);
  f_port = settings_.portNumber();
  f_keepalive = o.cxsped_KeepAlive;
}

void MqttClient::act_DisconnectExecute() {
  if (!f_mosq || !f_connected) return;
  disconnect_requested_ = true;
  setBusy();
  // Queues the DISCONNECT; the session's thread sends it and then ends.
  const int rc = session_ ? session_->stop() : mosquitto_disconnect(f_mosq);
  if (rc != 0) logs_.AddSysLog(QStringLiteral("mosquitto_disconnect = %1").arg(rc));
}

void MqttClient::btnDisconnectClick() {
  // The user's own Disconnect ends any retrying.
  if (!auto_disconnect_) {
    retry_timer_->stop();
    unattended_ = false;
    if (session_ && !f_connected) session_->stop();
  }
  user_disconnect = 1;
  view_.showConnectEnabled(true);
  act_DisconnectExecute();
}

// ---- Subscribe, publish, heartbeat ------------------------------------------------------

void MqttClient::btn_SUBClick() {
  if (!f_connected) throw SilentAbort();
  ++f_sub_id;
  if (settings_.topic.isEmpty())
    emptyField(SessionField::eTopic, QStringLiteral("Subscribe Topic"));
  f_sub_qos = view_.sessionOptions().cxrg_SubQoS;
  StrToUtf8(settings_.topic, f_sub_topic);
  const int rc = mosquitto_subscribe(f_mosq, &f_sub_id, f_sub_topic.c_str(), f_sub_qos);
  if (rc != 0) callFailed(QStringLiteral("Ошибка выполнения Subsribe: "), MosqCall::Subscribe, rc);
  subscribe_on_accept_ = false;
  if (settings_.chbx_act) Timer_act->setEnabled(true);
}

// The unattended start: connect, and a second after a connect that went through, subscribe.
// A room started this way keeps trying until its broker accepts it (a broker that boots
// later than the room, an outage later on), and subscribes as soon as it is accepted.
void MqttClient::Timer_start1Timer() {
  Timer_start1->setEnabled(false);
  setUnattended();
  btnConnectClick();
  Timer_start2->setEnabled(true);
}

void MqttClient::Timer_start2Timer() {
  Timer_start2->setEnabled(false);
  if (!f_connected) subscribeWhenAccepted();
  btn_SUBClick();
}

void MqttClient::btnPublishClick() { act_PublishExecute(); }
void MqttClient::act_PublishExecute() { publish(PublishKind::Debug); }
void MqttClient::act_PublishExecute2() { publish(PublishKind::Heartbeat); }

void MqttClient::publish(PublishKind kind) {
  const bool heartbeat = kind == PublishKind::Heartbeat;
  if (!f_connected) throw SilentAbort();
  ++f_pub_id;
  if (settings_.eTopicSend.isEmpty()) {
    if (heartbeat) throw SilentAbort();
    emptyField(SessionField::eTopicSend, QStringLiteral("Pulished Topic"));
  }
  const SessionOptions o = view_.sessionOptions();
  f_pub_retain = (!heartbeat && o.RetainBox) ? 1 : 0;
  f_pub_qos = o.cxrg_PubQoS;
  StrToUtf8(settings_.eTopicSend, f_pub_topic);
  const QString text = heartbeat ? settings_.e_con_act : view_.debugCommand();
  if (text.isEmpty()) {
    f_pub_payload.clear();
    f_pub_payload_len = 0;
  } else {
    // What goes out is the text after a round trip through the 8-bit encoding.
    const QByteArray eightBit = text.toLocal8Bit();
    const QString back = QString::fromLocal8Bit(eightBit);
    logs_.stampedProtocol(back, false);
    f_pub_payload_len = StrToUtf8(back, f_pub_payload);
  }
  const int rc = mosquitto_publish(f_mosq, &f_pub_id, f_pub_topic.c_str(), f_pub_payload_len,
                                   f_pub_payload.c_str(), f_pub_qos, f_pub_retain != 0);
  // The session's thread closes a dead link a moment before its loss reaches this thread:
  // a publish in between finds the connection gone, which is what f_connected would have
  // said a moment later. The loss itself is reported and retried on its own.
  if (rc == MOSQ_ERR_NO_CONN) throw SilentAbort();
  if (rc != 0) {
    if (heartbeat) publish_error = 1;
    callFailed(QStringLiteral("Ошибка выполнения Publish: "), MosqCall::Publish, rc);
  }
}

void MqttClient::Timer_actTimer() {
  const bool reconnectAllowed = settings_.reconnect && user_disconnect == 0;
  act_PublishExecute2();
  if (reconnectAllowed && publish_error == 1) reconnect();
}

void MqttClient::reconnect() {
  {
    const ScopedFlag scope(auto_disconnect_, true);
    btnDisconnectClick();
  }
  btnConnectClick();
  // The new session is under way: a refused heartbeat of the old one is history, and the
  // command topic is to be subscribed again once the broker accepts the new session.
  publish_error = 0;
  resubscribe_tag_ = session_tag_;
}

bool MqttClient::retryWanted() const {
  if (user_disconnect != 0) return false;
  return unattended_ || (settings_.reconnect && ever_connected_);
}

bool MqttClient::retryPending() const noexcept { return retry_timer_->isActive(); }

void MqttClient::scheduleRetry() {
  retry_timer_->start(retry_delay_ms_);
  // 1 s, 1.5 s, 2.3 s … up to 10 s: a broker back after a restart is found at once, one away
  // for hours is not knocked at more than every 10 s.
  retry_delay_ms_ = std::min(kMaxRetryMs, retry_delay_ms_ * 3 / 2);
}

void MqttClient::retryConnect() {
  if (!retryWanted() || f_connected) return;
  // One box tells the operator the broker is unreachable; the attempts that follow only go
  // to the system log, so an outage of hours leaves one box, not hundreds.
  const Scoped<QString> quiet(report_key_, kOutage);
  reconnect();
}

void MqttClient::sessionAccepted() {
  ever_connected_ = true;
  problems_.rearm(kOutage);
  retry_delay_ms_ = kFirstRetryMs;
}

void MqttClient::sessionEnded(int rc) {
  // The disconnect that was asked for, or the user's Disconnect during a connect.
  if (disconnect_requested_ || (session_ && session_->stopRequested())) return;
  const bool accepted = session_ && session_->link().accepted.load();
  const bool refused = session_ && session_->link().refused.load() != 0;
  // The next attempt is planned before any box opens: a box left open for hours must not
  // hold the room back.
  if (retryWanted()) {
    scheduleRetry();
  } else if (!accepted && !refused) {
    // Nothing came of this Connect: the button and the flag are as before it (a refused
    // login, as before, leaves them as a connect that went through).
    view_.showConnectEnabled(true);
    user_disconnect = user_disconnect_before_;
  }
  if (!accepted && !refused) {
    if (rc != 0)
      logs_.AddSysLog(QStringLiteral("mosquitto_connect = %1 (%2)")
                          .arg(rc)
                          .arg(QString::fromLocal8Bit(mosquitto_strerror(rc))));
    const Scoped<QString> quiet(report_key_, kOutage);
    report(BoxIcon::Warning, QStringLiteral("Ошибка соединения: ") +
                                 resultText(MosqCall::Connect, rc == 0 ? MOSQ_ERR_ERRNO : rc));
  }
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
  if (R->id == ON_SESSION_END_ID) {
    // Not a line of its own: what it means goes to the boxes and the system log.
    if (R->session == session_tag_) sessionEnded(R->rc);
    return;
  }
  if (R->id == ON_CONNECT_ID && R->session == session_tag_) {
    if (R->rc == 0) {
      sessionAccepted();
    } else {
      // A refused login is shown once per outage, with the broker's reason.
      const Scoped<QString> quiet(report_key_, kOutage);
      report(BoxIcon::Warning, QStringLiteral("Ошибка соединения: ") +
                                   QString::fromLocal8Bit(mosquitto_connack_string(R->rc)));
    }
  }
  if (R->id == ON_PUBLISH_ID || R->id == ON_SUBSCRIBE_ID) D += QStringLiteral(" mid=%1").arg(R->rc);
  if (R->id == ON_MESSAGE_ID) {
    if (trace::on()) trace::mark("gui", trace::nowNs());
    T_received_MQTT_msg M;
    if (R->mosquitto_message) ConvertMosqMessage(*R->mosquitto_message, M);
    logs_.stampedProtocol(M.payload, true);
    if (onCommand) onCommand(M.payload);
  }
  logs_.AddSysLog(D);
  if (R->id == ON_CONNECT_ID && R->rc == 0 && R->session == session_tag_ &&
      (subscribe_on_accept_ || (resubscribe_tag_ != 0 && resubscribe_tag_ == R->session))) {
    resubscribe_tag_ = 0;
    btn_SUBClick();
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

void MqttClient::emptyField(SessionField field, const QString& name) {
  report(BoxIcon::Error, QStringLiteral("Недопустимо пустое значение ") + name);
  view_.focusField(field);
  throw SilentAbort();
}

void MqttClient::report(BoxIcon icon, const QString& text) {
  if (!problems_.report(icon, kCaption, text, report_key_)) logs_.AddSysLog(text);
}

void MqttClient::callFailed(const QString& prefix, MosqCall call, int rc) {
  report(BoxIcon::Warning, prefix + resultText(call, rc));
  throw SilentAbort();
}

// One override at most: a connect and a disconnect in a row still need one reset only.
void MqttClient::setBusy() {
  if (busy_) return;
  view_.showBusy(true);
  busy_ = true;
}

void MqttClient::resetCursor() noexcept {
  if (!busy_) return;
  busy_ = false;
  view_.showBusy(false);
}

}  // namespace vuvedid
