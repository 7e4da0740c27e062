#pragma once
// What the broker session shows and what it takes from the debug tab: the session options
// set there (not stored in MQTT.ini), the command the debug publish sends, the Connect
// button's state, the field an empty value is reported for, and the wait cursor of a
// connect or disconnect under way.
#include <QString>

namespace vuvedid {

struct SessionOptions {
  bool CleanBox2 = false;  // clean session
  bool RetainBox = false;  // retain the debug publish
  QString cxte_WillTopic = QStringLiteral("Will");
  QString cxte_WillPayload = QStringLiteral("Will");
  int cxsped_KeepAlive = 60;
  int cxrg_SubQoS = 0;
  int cxrg_PubQoS = 0;
};

// The fields whose empty value stops a connect, subscribe or publish.
enum class SessionField { eLogin, cxte_WillTopic, eIP, eTopic, eTopicSend };

class SessionView {
 public:
  virtual ~SessionView() = default;
  virtual SessionOptions sessionOptions() const = 0;
  // The text of the debug tab's selected command (empty when none is selected).
  virtual QString debugCommand() const = 0;
  virtual void showConnectEnabled(bool enabled) = 0;
  // Puts the input focus on the field an empty value was reported for.
  virtual void focusField(SessionField field) = 0;
  virtual void showBusy(bool busy) = 0;
};

}  // namespace vuvedid
