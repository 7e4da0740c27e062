// The status reporter on a real event loop: what a controller subscribed to the status
// topic would receive, and when.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>

#include "app/Trace.h"
#include "mqtt/StatusReporter.h"

namespace vuvedid {
namespace {

using namespace std::chrono_literals;

struct Sent {
  QString topic;
  QByteArray payload;
  bool retain;
  std::int64_t atNs;
};

class StatusReporterTest : public ::testing::Test {
 protected:
  StatusReporter reporter{QStringLiteral("room/status"),
                          [this](const QString& t, const QByteArray& p, bool r) {
                            if (!online) return false;
                            sent.append({t, p, r, trace::nowNs()});
                            return true;
                          }};
  QList<Sent> sent;
  bool online = true;

  void runFor(std::chrono::milliseconds ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms.count()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  QList<Sent> on(const QString& suffix) const {
    QList<Sent> out;
    for (const Sent& s : sent)
      if (s.topic == QStringLiteral("room/status") + suffix) out.append(s);
    return out;
  }
};

RoomState withVolume(int v) {
  RoomState s;
  s.volume = v;
  return s;
}

TEST_F(StatusReporterTest, AStormOfChangesIsCoalescedAndTheLastStateAlwaysGoesOut) {
  reporter.setState(withVolume(1));
  for (int v = 2; v <= 50; ++v) reporter.setState(withVolume(v));
  runFor(500ms);
  const QList<Sent> states = on(QStringLiteral("/state"));
  ASSERT_GE(states.size(), 2);
  EXPECT_LE(states.size(), 2) << "the whole storm fell inside one interval";
  EXPECT_EQ(states.front().payload, stateJson(withVolume(1))) << "the first goes out at once";
  EXPECT_EQ(states.back().payload, stateJson(withVolume(50)));
  for (const Sent& s : states) EXPECT_TRUE(s.retain);
  for (qsizetype i = 1; i < states.size(); ++i)
    EXPECT_GE(states[i].atNs - states[i - 1].atNs, 95'000'000);

  // The same state again is nothing new.
  runFor(150ms);
  reporter.setState(withVolume(50));
  runFor(150ms);
  EXPECT_EQ(on(QStringLiteral("/state")).size(), states.size());
}

TEST_F(StatusReporterTest, AnEventDueLaterHoldsBackTheEventsAfterItButNeverComesEarly) {
  const std::int64_t due = trace::nowNs() + 200'000'000;
  reporter.sendEvent(QStringLiteral("fx_started"), {{"slot", 1}});
  reporter.sendEventAt(due, QStringLiteral("fx_finished"), {{"slot", 1}});
  reporter.sendEvent(QStringLiteral("command"), {{"text", "next"}});
  runFor(1000ms);
  const QList<Sent> events = on(QStringLiteral("/event"));
  ASSERT_EQ(events.size(), 3);
  EXPECT_TRUE(events[0].payload.contains("fx_started"));
  EXPECT_TRUE(events[1].payload.contains("fx_finished"));
  EXPECT_TRUE(events[2].payload.contains("command"));
  EXPECT_GE(events[1].atNs, due);
  EXPECT_LT(events[1].atNs - due, 500'000'000) << "generous: the timer's own lateness";
  for (const Sent& s : events) EXPECT_FALSE(s.retain);
  // Already due: out at once.
  reporter.sendEventAt(trace::nowNs() - 1, QStringLiteral("fx_finished"), {{"slot", 2}});
  EXPECT_EQ(on(QStringLiteral("/event")).size(), 4);
}

TEST_F(StatusReporterTest, EachConnectSaysOnlineClearsTheOldWillAndSendsStateAndDiscoveryAgain) {
  reporter.setDiscovery({{QStringLiteral("homeassistant/button/r/pause/config"), "{}"}});
  online = false;
  reporter.setState(withVolume(7));  // lost: nobody to send it to
  online = true;
  reporter.connected(QStringLiteral("room/will"));
  ASSERT_EQ(sent.size(), 4);
  EXPECT_EQ(sent[0].topic, QStringLiteral("room/status/availability"));
  EXPECT_EQ(sent[0].payload, QByteArray("online"));
  EXPECT_EQ(sent[1].topic, QStringLiteral("room/will"));
  EXPECT_TRUE(sent[1].payload.isEmpty());
  EXPECT_EQ(sent[2].payload, stateJson(withVolume(7)));
  EXPECT_EQ(sent[3].topic, QStringLiteral("homeassistant/button/r/pause/config"));
  for (const Sent& s : sent) EXPECT_TRUE(s.retain) << s.topic.toStdString();

  // A second connect sends the unchanged state again (the broker may have lost it), but
  // no will topic is touched when there is none.
  sent.clear();
  reporter.connected(QString());
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[1].payload, stateJson(withVolume(7)));

  sent.clear();
  reporter.closing();
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].payload, QByteArray("offline"));
  EXPECT_TRUE(sent[0].retain);
}

}  // namespace
}  // namespace vuvedid
