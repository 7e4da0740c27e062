// Subscribing, the debug publish and the heartbeat, seen by a real mosquitto_sub.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTableWidget>

#include "MqttSession.h"

using namespace vuvedid;
using namespace vuvedid::test;

TEST(Publish, DebugCommandGoesOutWithTheChosenRetainAndQos) {
  struct Case {
    int row;
    bool retain;
    int qos;
    QString expected;  // as mosquitto_sub prints it
  };
  const Case cases[] = {
      {0, false, 0, QStringLiteral("send|0|0|10|play:room1")},
      {3, true, 1, QStringLiteral("send|1|1|16|fx:30!insert.mp3")},
      {9, false, 2, QStringLiteral("send|2|0|11|speak:Hello")},
  };
  MqttSession s;
  ASSERT_TRUE(s.connect());
  Subscriber sub(s.broker, QStringLiteral("send"));
  int n = 0;
  for (const Case& c : cases) {
    s.form.Commands->setCurrentCell(c.row, 0);
    s.form.RetainBox->setChecked(c.retain);
    s.form.cxrg_PubQoS->setItemIndex(c.qos);
    const qsizetype acked = s.count(QStringLiteral("Callback_on_publish"));
    s.press(&TForm_player::btnPublishClick);
    const QStringList got = sub.waitForMessages(++n);
    ASSERT_EQ(got.size(), n);
    EXPECT_EQ(got.last(), c.expected);
    const QString command = s.form.Commands->item(c.row, 0)->text();
    EXPECT_EQ(s.protocol().last(), dayFirst(command));
    // The acknowledgement names the id the library gave the request.
    ASSERT_TRUE(
        waitFor([&] { return s.count(QStringLiteral("Callback_on_publish")) > acked; }, 3000));
    EXPECT_TRUE(
        s.sysLog().contains(QStringLiteral("Callback_on_publish mid=%1").arg(s.mqtt.f_pub_id)));
  }
  EXPECT_TRUE(s.f.boxes.boxes.empty());
}

TEST(Publish, EditedCellsAreSentAsTheyStandEmptyOrNot) {
  MqttSession s;
  ASSERT_TRUE(s.connect());
  Subscriber sub(s.broker, QStringLiteral("send"));
  s.form.Commands->setCurrentCell(1, 0);
  s.form.Commands->item(1, 0)->setText(QString());
  const QStringList before = s.protocol();
  s.press(&TForm_player::btnPublishClick);
  s.form.Commands->item(1, 0)->setText(QStringLiteral("speak:Привет €"));
  s.press(&TForm_player::btnPublishClick);
  const QStringList got = sub.waitForMessages(2);
  EXPECT_EQ(got, (QStringList{QStringLiteral("send|0|0|0|"),
                              QStringLiteral("send|0|0|22|speak:Привет €")}));
  EXPECT_EQ(s.protocol(), before + QStringList{dayFirst(QStringLiteral("speak:Привет €"))});
}

TEST(Publish, PublishToTheCommandTopicComesBackAndRuns) {
  MqttSession s;
  s.form.eTopicSend->setText(s.form.eTopic->text());
  ASSERT_TRUE(s.connectAndSubscribe());
  s.form.Commands->setCurrentCell(9, 0);
  s.press(&TForm_player::btnPublishClick);
  ASSERT_TRUE(waitFor([&] { return !s.f.speech.spoken.isEmpty(); }, 3000));
  EXPECT_EQ(s.f.speech.spoken, QStringList{QStringLiteral("Hello")});
  EXPECT_EQ(s.protocol(), (QStringList{dayFirst(QStringLiteral("speak:Hello")),
                                       monthFirst(QStringLiteral("speak:Hello"))}));
}

TEST(Heartbeat, SubscribeArmsItAndEachTickPublishesTheActivityTextUnretained) {
  MqttSession s;
  s.form.chbx_act->setChecked(true);
  s.form.RetainBox->setChecked(true);  // the heartbeat is never retained
  s.form.cxrg_PubQoS->setItemIndex(1);
  ASSERT_TRUE(s.connect());
  Subscriber sub(s.broker, QStringLiteral("send"));
  ASSERT_FALSE(s.mqtt.Timer_act->enabled());
  ASSERT_TRUE(s.subscribe());
  EXPECT_TRUE(s.mqtt.Timer_act->enabled());
  EXPECT_EQ(s.mqtt.Timer_act->interval(), 20000);

  s.press(&TForm_player::Timer_actTimer);
  s.form.e_con_act->clear();
  const QStringList before = s.protocol();
  s.press(&TForm_player::Timer_actTimer);
  const QStringList got = sub.waitForMessages(2);
  EXPECT_EQ(got, (QStringList{QStringLiteral("send|1|0|18|ping?MAC=DO3VEZEZO"),
                              QStringLiteral("send|1|0|0|")}));
  EXPECT_EQ(before.last(), dayFirst(QStringLiteral("ping?MAC=DO3VEZEZO")));
  EXPECT_EQ(s.protocol(), before);  // an empty heartbeat writes no line
  EXPECT_EQ(s.mqtt.publish_error, 0);
}

TEST(Heartbeat, WithoutActivityTickedSubscribeLeavesTheTimerOff) {
  MqttSession s;
  ASSERT_TRUE(s.connectAndSubscribe());
  EXPECT_FALSE(s.mqtt.Timer_act->enabled());
  // Subscribing again with it ticked arms it after all.
  s.form.chbx_act->setChecked(true);
  ASSERT_TRUE(s.subscribe());
  EXPECT_TRUE(s.mqtt.Timer_act->enabled());
}

TEST(Publish, FieldAndLibraryFailuresShowTheirBoxes) {
  struct Case {
    std::function<void(MqttSession&)> setup;
    void (TForm_player::*press)();
    const char16_t* text;  // nullptr: ends without a word
    BoxIcon icon;
    QLineEdit* TForm_player::*focused;
  };
  const Case cases[] = {
      {[](MqttSession& s) { s.form.eTopic->clear(); }, &TForm_player::btn_SUBClick,
       u"Недопустимо пустое значение Subscribe Topic", BoxIcon::Error, &TForm_player::eTopic},
      {[](MqttSession& s) { s.form.eTopic->setText(QStringLiteral("a/#/b")); },
       &TForm_player::btn_SUBClick, u"Ошибка выполнения Subsribe: The input parameters is invalid",
       BoxIcon::Warning, nullptr},
      {[](MqttSession& s) { s.form.eTopicSend->clear(); }, &TForm_player::btnPublishClick,
       u"Недопустимо пустое значение Pulished Topic", BoxIcon::Error, &TForm_player::eTopicSend},
      {[](MqttSession& s) { s.form.eTopicSend->clear(); }, &TForm_player::Timer_actTimer, nullptr,
       BoxIcon::None, nullptr},
      {[](MqttSession& s) { s.form.eTopicSend->setText(QStringLiteral("send/+")); },
       &TForm_player::btnPublishClick,
       u"Ошибка выполнения Publish: The input parameters is invalid", BoxIcon::Warning, nullptr},
  };
  for (const Case& c : cases) {
    MqttSession s;
    s.form.PageControl1->setCurrentWidget(s.form.TabSheet2);
    ASSERT_TRUE(s.connect());
    c.setup(s);
    s.press(c.press);
    if (!c.text) {
      EXPECT_TRUE(s.f.boxes.boxes.empty());
      continue;
    }
    ASSERT_EQ(s.f.boxes.boxes.size(), 1u);
    EXPECT_EQ(s.f.boxes.boxes[0].text, QString::fromUtf16(c.text));
    EXPECT_EQ(s.f.boxes.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(s.f.boxes.boxes[0].icon, c.icon);
    if (c.focused) {
      EXPECT_EQ(s.form.focusWidget(), s.form.*c.focused);
    }
    EXPECT_FALSE(s.mqtt.Timer_act->enabled());
    EXPECT_EQ(s.mqtt.publish_error, 0);  // only a refused heartbeat sets it
  }
}

TEST(Publish, NothingIsSentOrShownWhileNotConnected) {
  MqttSession s;
  s.form.chbx_act->setChecked(true);
  for (auto press :
       {&TForm_player::btn_SUBClick, &TForm_player::btnPublishClick, &TForm_player::Timer_actTimer})
    s.press(press);
  EXPECT_TRUE(s.f.boxes.boxes.empty());
  EXPECT_TRUE(s.protocol().isEmpty());
  EXPECT_FALSE(s.mqtt.Timer_act->enabled());
}
