// Notifications posted from any thread and delivered on the main loop.
#include "base/queuednotify.h"

#include <atomic>
#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

// Runs every pending callback of the default main context on this thread.
void Drain() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

int gLockDepth = 0;
int gEnters = 0;

class Target : public LThreadQueuedNotify {
public:
  explicit Target(std::atomic<int>& count) : count_(count) {}
  bool delete_self = false;
  bool inside_lock = true;

protected:
  void EvNotify() override {
    inside_lock = inside_lock && gLockDepth == 1;
    count_.fetch_add(1);
    if (delete_self)
      delete this;
  }

private:
  std::atomic<int>& count_;
};

// Records each delivery as "type size bytes" ("null" for no data).
struct Handler : LQueuedNotifyDataHandler {
  Texts received;
  void EvQueuedNotifyData(unsigned int type, const void* data, unsigned int size) override {
    received.push_back(std::to_string(type) + " " + std::to_string(size) + " " +
                       (data ? std::string(static_cast<const char*>(data), size) : "null"));
  }
};

class QueuedNotifyTest : public ::testing::Test {
protected:
  void SetUp() override {
    Drain();
    LSetMainLoopLockHooks(
        [] {
          ++gLockDepth;
          ++gEnters;
        },
        [] { --gLockDepth; });
    gEnters = 0;
  }
  void TearDown() override {
    Drain();
    LSetMainLoopLockHooks(nullptr, nullptr);
  }
};

TEST_F(QueuedNotifyTest, EachPostIsDeliveredOnceInsideTheLockAndNeverToADestroyedTarget) {
  std::atomic<int> count{0};
  Target target(count);
  for (int i = 0; i < 3; ++i)
    target.PostQueueNotify();
  EXPECT_EQ(count.load(), 0) << "delivered before the main loop ran";
  Drain();
  EXPECT_EQ(count.load(), 3) << "posts were merged or lost";
  EXPECT_EQ(gEnters, 3);
  EXPECT_EQ(gLockDepth, 0);
  EXPECT_TRUE(target.inside_lock);

  auto gone = std::make_unique<Target>(count);
  gone->PostQueueNotify();
  gone->PostQueueNotify();
  gone.reset();
  // The callbacks still run and free their messages (a leak shows under LSan).
  Drain();
  EXPECT_FALSE(g_main_context_pending(nullptr));
  EXPECT_EQ(count.load(), 3);
  // A target deleting itself in its handler: the second post must not reach it.
  auto* self_deleting = new Target(count);
  self_deleting->delete_self = true;
  self_deleting->PostQueueNotify();
  self_deleting->PostQueueNotify();
  Drain();
  EXPECT_EQ(count.load(), 4);
}

TEST_F(QueuedNotifyTest, DataIsCopiedAndDeliveredWithoutTheLockOnlyToALiveHandler) {
  LQueuedNotifyDataSender sender;
  sender.NotifyData(1, "abc", 3); // no handler: nothing queued
  sender.NotifyData(2, 5);
  EXPECT_FALSE(g_main_context_pending(nullptr));
  Handler handler;
  sender.SetNotifyHandler(handler);
  char text[] = "level 3";
  sender.NotifyData(7, text, 8);
  text[0] = 'X'; // the sender's buffer may change at once
  sender.NotifyData(8, nullptr, 12);
  sender.NotifyData(9, -1);
  sender.NotifyData(10, text, 0);
  Drain();
  EXPECT_EQ(gEnters, 0);
  EXPECT_EQ(handler.received, (Texts{std::string("7 8 level 3\0", 12), "8 12 null", "9 4294967295 null", "10 0 "}));
  sender.InvalidateNotifyHandler();
  sender.NotifyData(3, "abc", 3);
  EXPECT_FALSE(g_main_context_pending(nullptr));

  auto destroyed = std::make_unique<Handler>();
  sender.SetNotifyHandler(*destroyed);
  std::vector<char> big(100000, 'a');
  sender.NotifyData(1, big.data(), static_cast<unsigned int>(big.size()));
  sender.NotifyData(2, 3);
  destroyed.reset(); // a delivery now would write into freed memory (ASan)
  Drain();
  EXPECT_FALSE(g_main_context_pending(nullptr));
  EXPECT_EQ(handler.received.size(), 4u);
}

// Posts and payloads from several threads at once: every one arrives, whole.
TEST_F(QueuedNotifyTest, PostsAndPayloadsFromManyThreadsAllArriveIntact) {
  std::atomic<int> count{0};
  Target target(count);
  Handler handler;
  LQueuedNotifyDataSender sender;
  sender.SetNotifyHandler(handler);
  // Plain threads stand in for the program's workers here.
  std::vector<std::thread> posters;
  for (unsigned int id = 1; id <= 4; ++id) {
    posters.emplace_back([&, id] {
      for (unsigned int i = 0; i < 300; ++i) {
        target.PostQueueNotify();
        unsigned int payload[4] = {id, i, id ^ i, 0xabcd1234u};
        sender.NotifyData(id, payload, sizeof payload);
      }
    });
  }
  for (int spins = 0; spins < 10000 && (count.load() < 1200 || handler.received.size() < 1200); ++spins) {
    Drain();
    g_usleep(1000);
  }
  for (auto& poster : posters)
    poster.join();
  Drain();
  EXPECT_EQ(count.load(), 1200);
  ASSERT_EQ(handler.received.size(), 1200u);
  for (const std::string& r : handler.received) {
    const size_t at = r.find(" 16 ") + 4;
    ASSERT_EQ(r.size(), at + 16) << r;
    unsigned int words[4];
    memcpy(words, r.data() + at, sizeof words);
    EXPECT_EQ(std::to_string(words[0]), r.substr(0, r.find(' ')));
    EXPECT_EQ(words[2], words[0] ^ words[1]);
    EXPECT_EQ(words[3], 0xabcd1234u);
  }
}

} // namespace
