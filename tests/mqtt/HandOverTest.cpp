// The queue between the network thread and the GUI thread: every record arrives once, in
// order, and a long queue does not starve the GUI thread's timers.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "mqtt/EventBridge.h"
#include "support/FormFixture.h"

using namespace vuvedid;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<T_win_message> numbered(int n) {
  auto r = std::make_unique<T_win_message>();
  r->id = ON_MESSAGE_ID;
  r->rc = n;
  return r;
}

void busyFor(std::chrono::microseconds d) {
  const auto until = std::chrono::steady_clock::now() + d;
  while (std::chrono::steady_clock::now() < until) {
  }
}

}  // namespace

TEST(HandOver, LongQueueFromAnotherThreadArrivesInOrderWhileTimersKeepRunning) {
  // 2000 records costing 0.1 ms each are 200 ms of GUI-thread work: a timer due every
  // 10 ms must get its turn in between instead of waiting for the last record.
  constexpr int kCount = 2000;
  std::vector<int> seen;
  std::vector<std::size_t> seenAtTick;
  EventReceiver receiver([&](std::unique_ptr<T_win_message> r) {
    seen.push_back(r->rc);
    busyFor(100us);
  });
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] { seenAtTick.push_back(seen.size()); });
  tick.start(10);

  std::thread producer([&] {
    for (int n = 1; n <= kCount; ++n) receiver.enqueue(numbered(n));
  });
  producer.join();
  ASSERT_TRUE(test::waitFor([&] { return seen.size() == std::size_t(kCount); }, 20000));
  tick.stop();

  for (int n = 0; n < kCount; ++n) ASSERT_EQ(seen[n], n + 1) << "lost or reordered";
  const bool tickedMidway = std::any_of(seenAtTick.begin(), seenAtTick.end(), [&](std::size_t k) {
    return k > 0 && k < std::size_t(kCount);
  });
  EXPECT_TRUE(tickedMidway) << "the timer only ran before or after the whole queue";
}

TEST(HandOver, NestedEventLoopOfAHandlerKeepsWorkingTheQueue) {
  // A handler that opens a message box runs a nested event loop; records queued meanwhile
  // are handled inside it, in order, and the queue ends exactly once per record.
  std::vector<int> seen;
  bool nestedSawMore = false;
  EventReceiver* self = nullptr;
  EventReceiver receiver([&](std::unique_ptr<T_win_message> r) {
    seen.push_back(r->rc);
    if (r->rc != 1) return;
    for (int n = 2; n <= 5; ++n) self->enqueue(numbered(n));
    QEventLoop box;
    QTimer::singleShot(200, &box, &QEventLoop::quit);
    box.exec();
    nestedSawMore = seen.size() == 6;
  });
  self = &receiver;
  receiver.enqueue(numbered(1));
  receiver.enqueue(numbered(6));
  ASSERT_TRUE(test::waitFor([&] { return seen.size() >= 6; }, 5000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(nestedSawMore);
  EXPECT_EQ(seen, (std::vector<int>{1, 6, 2, 3, 4, 5}));
}
