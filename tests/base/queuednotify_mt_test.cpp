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

void Drain()
{
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

int gLockDepth = 0;
int gEnters = 0;

struct Target : LThreadQueuedNotify {
  explicit Target(std::atomic<int>& count) : count(count) {}
  void EvNotify() override
  {
    inside_lock = inside_lock && gLockDepth == 1;
    count.fetch_add(1);
    if (delete_self)
      delete this;
  }
  std::atomic<int>& count;
  bool delete_self = false, inside_lock = true;
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

TEST_F(QueuedNotifyTest, EachPostIsDeliveredOnceInsideTheLockAndNeverToADestroyedTarget)
{
  std::atomic<int> count{0};
  Target target(count);
  for (int i = 0; i < 3; ++i)
    target.PostQueueNotify();
  EXPECT_EQ(count.load(), 0) << "delivered before the main loop ran";
  Drain();
  EXPECT_EQ(count.load(), 3) << "posts were merged or lost";
  EXPECT_TRUE(gEnters == 3 && gLockDepth == 0 && target.inside_lock);

  auto gone = std::make_unique<Target>(count);
  gone->PostQueueNotify();
  gone->PostQueueNotify();
  gone.reset();
  Drain();  // the callbacks still run and free their messages (LSan)
  EXPECT_EQ(count.load(), 3);
  // A target deleting itself in its handler: the second post must not reach it.
  auto* self_deleting = new Target(count);
  self_deleting->delete_self = true;
  self_deleting->PostQueueNotify();
  self_deleting->PostQueueNotify();
  Drain();
  EXPECT_EQ(count.load(), 4);
}

TEST_F(QueuedNotifyTest, DataIsCopiedAndDeliveredWithoutTheLockOnlyToALiveHandler)
{
  LQueuedNotifyDataSender sender;
  sender.NotifyData(1, "abc", 3);  // no handler: nothing queued
  EXPECT_FALSE(g_main_context_pending(nullptr));
  Handler handler;
  sender.SetNotifyHandler(handler);
  char text[] = "level 3";
  sender.NotifyData(7, text, 8);
  text[0] = 'X';  // the sender's buffer may change at once
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
  destroyed.reset();  // a delivery now would write into freed memory (ASan)
  Drain();
  EXPECT_EQ(handler.received.size(), 4u);
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
    const size_t at = r.find(" 16 ") + 4;
    ASSERT_EQ(r.size(), at + 16) << r;
    unsigned int words[4];
    memcpy(words, r.data() + at, sizeof words);
    EXPECT_TRUE(std::to_string(words[0]) == r.substr(0, r.find(' ')) && words[2] == (words[0] ^ words[1]) &&
                words[3] == 0xabcd1234u);
  }
}

}  // namespace
