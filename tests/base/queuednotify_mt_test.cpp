// Notifications posted from any thread and delivered on the main loop.
#include "base/queuednotify.h"

#include <atomic>
#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "common/waitfor.h"

namespace {

using Texts = std::vector<std::string>;
int gLockDepth = 0, gEnters = 0;

void Drain()
{
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

struct Target : LThreadQueuedNotify {
  explicit Target(std::atomic<int>& count, bool delete_self = false) : count(count), delete_self(delete_self) {}
  void EvNotify() override
  {
    inside_lock = inside_lock && gLockDepth == 1;
    count.fetch_add(1);
    if (delete_self)
      delete this;
  }
  std::atomic<int>& count;
  bool delete_self, inside_lock = true;
};

// Each delivery as "type size bytes" ("null" for no data).
struct Handler : LQueuedNotifyDataHandler {
  Texts received;
  void EvQueuedNotifyData(unsigned int type, const void* data, unsigned int size) override
  {
    received.push_back(std::to_string(type) + " " + std::to_string(size) + " " +
                       (data ? std::string(static_cast<const char*>(data), size) : "null"));
  }
};

class QueuedNotifyTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    Drain();
    LSetMainLoopLockHooks([] { gEnters += ++gLockDepth; }, [] { --gLockDepth; });
    gEnters = 0;
  }
  void TearDown() override
  {
    Drain();
    LSetMainLoopLockHooks(nullptr, nullptr);
  }
};

TEST_F(QueuedNotifyTest, PostsAreDeliveredOnceInsideTheLockNeverToADestroyedTargetAndDataOnlyToALiveHandler)
{
  std::atomic<int> count{0};
  auto gone = std::make_unique<Target>(count);
  gone->PostQueueNotify();
  gone.reset();
  auto* self_deleting = new Target(count, true);  // the second post must not reach it
  self_deleting->PostQueueNotify();
  self_deleting->PostQueueNotify();
  Target target(count);
  LQueuedNotifyDataSender sender;
  sender.NotifyData(1, "abc", 3);  // no handler: nothing queued
  Handler handler;
  auto destroyed = std::make_unique<Handler>();
  sender.SetNotifyHandler(*destroyed);
  std::vector<char> big(100000, 'a');
  sender.NotifyData(1, big.data(), static_cast<unsigned int>(big.size()));
  destroyed.reset();  // a delivery now would write into freed memory (ASan)
  sender.SetNotifyHandler(handler);
  char text[] = "level 3";
  sender.NotifyData(7, text, 8);
  text[0] = 'X';  // the sender's buffer may change at once
  sender.NotifyData(8, nullptr, 12);
  sender.NotifyData(9, -1);
  for (int i = 0; i < 3; ++i)
    target.PostQueueNotify();
  EXPECT_EQ(count.load(), 0) << "delivered before the main loop ran";
  Drain();
  EXPECT_EQ(count.load(), 4) << "posts were merged, lost or reached a destroyed target";
  EXPECT_TRUE(gEnters == 4 && gLockDepth == 0 && target.inside_lock) << "data is delivered without the lock";
  EXPECT_EQ(handler.received, (Texts{std::string("7 8 level 3\0", 12), "8 12 null", "9 4294967295 null"}));
  sender.InvalidateNotifyHandler();
  sender.NotifyData(3, "abc", 3);
  EXPECT_FALSE(g_main_context_pending(nullptr));
}

TEST_F(QueuedNotifyTest, PostsAndPayloadsFromManyThreadsAllArriveIntact)
{
  std::atomic<int> count{0};
  Target target(count);
  Handler handler;
  LQueuedNotifyDataSender sender;
  sender.SetNotifyHandler(handler);
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
  Eventually([&] { return Drain(), count.load() == 1200 && handler.received.size() == 1200; }, 10000);
  for (auto& poster : posters)
    poster.join();
  Drain();
  EXPECT_EQ(count.load(), 1200);
  ASSERT_EQ(handler.received.size(), 1200u);
  for (const std::string& r : handler.received) {
    unsigned int words[4];
    ASSERT_EQ(r.size(), r.find(" 16 ") + 4 + sizeof words) << r;
    memcpy(words, r.data() + r.size() - sizeof words, sizeof words);
    EXPECT_TRUE(std::to_string(words[0]) == r.substr(0, r.find(' ')) && words[2] == (words[0] ^ words[1]) &&
                words[3] == 0xabcd1234u);
  }
}

}  // namespace
