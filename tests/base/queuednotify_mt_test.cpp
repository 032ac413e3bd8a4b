#include "base/queuednotify.h"
#include "base/thread.h"

#include <atomic>
#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// Runs every pending callback of the default main context on this thread.
void Drain()
{
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

int gLockDepth = 0;
int gEnters = 0;
void EnterLock()
{
  ++gLockDepth;
  ++gEnters;
}
void LeaveLock() { --gLockDepth; }

class Target : public LThreadQueuedNotify {
public:
  explicit Target(std::atomic<int>& count) : count_(count) {}
  bool delete_self = false;
  bool inside_lock = true;

protected:
  void EvNotify() override
  {
    inside_lock = inside_lock && gLockDepth == 1;
    count_.fetch_add(1);
    if (delete_self)
      delete this;
  }

private:
  std::atomic<int>& count_;
};

struct Received {
  unsigned int type;
  bool had_data;
  std::vector<unsigned char> bytes;
  unsigned int size;
};

class Handler : public LQueuedNotifyDataHandler {
public:
  std::vector<Received> received;
  void EvQueuedNotifyData(unsigned int type, const void* data, unsigned int size) override
  {
    Received r{type, data != nullptr, {}, size};
    if (data != nullptr)
      r.bytes.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    received.push_back(std::move(r));
  }
};

class QueuedNotifyTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    Drain();
    LSetMainLoopLockHooks(&EnterLock, &LeaveLock);
  }
  void TearDown() override
  {
    Drain();
    LSetMainLoopLockHooks(nullptr, nullptr);
  }
};

TEST_F(QueuedNotifyTest, EveryPostIsDeliveredOnceInsideTheMainLoopLock)
{
  std::atomic<int> count{0};
  Target target(count);
  gEnters = 0;
  target.PostQueueNotify();
  target.PostQueueNotify();
  target.PostQueueNotify();
  EXPECT_EQ(count.load(), 0) << "delivered before the main loop ran";
  Drain();
  EXPECT_EQ(count.load(), 3) << "posts were merged or lost";
  EXPECT_EQ(gEnters, 3);
  EXPECT_EQ(gLockDepth, 0);
  EXPECT_TRUE(target.inside_lock);
}

TEST_F(QueuedNotifyTest, NotificationForADestroyedTargetIsDropped)
{
  std::atomic<int> count{0};
  auto target = std::make_unique<Target>(count);
  target->PostQueueNotify();
  target->PostQueueNotify();
  target.reset();
  // The callbacks still run and free their messages (a leak shows under LSan).
  Drain();
  EXPECT_FALSE(g_main_context_pending(nullptr));
  EXPECT_EQ(count.load(), 0);

  // A target deleting itself in its handler: the second post must not reach it.
  auto* self_deleting = new Target(count);
  self_deleting->delete_self = true;
  self_deleting->PostQueueNotify();
  self_deleting->PostQueueNotify();
  Drain();
  EXPECT_EQ(count.load(), 1);
}

TEST_F(QueuedNotifyTest, PostsFromManyThreadsAllArrive)
{
  std::atomic<int> count{0};
  Target target(count);
  class Poster : public LThread {
  public:
    explicit Poster(Target& t) : target_(t) {}
    ~Poster() { StopThreadNow(); }

  private:
    void ThreadFunction() override
    {
      for (int i = 0; i < 200; ++i)
        target_.PostQueueNotify();
    }
    Target& target_;
  };
  std::vector<std::unique_ptr<Poster>> posters;
  for (int i = 0; i < 6; ++i) {
    posters.push_back(std::make_unique<Poster>(target));
    posters.back()->StartNormal();
  }
  for (int spins = 0; spins < 2000 && count.load() < 1200; ++spins) {
    Drain();
    g_usleep(1000);
  }
  for (auto& p : posters)
    p->StopThreadNow();
  Drain();
  EXPECT_EQ(count.load(), 1200);
}

TEST_F(QueuedNotifyTest, DataIsCopiedAndDeliveredWithoutTheLock)
{
  Handler handler;
  LQueuedNotifyDataSender sender;
  sender.SetNotifyHandler(handler);
  char text[] = "level 3";
  gEnters = 0;
  sender.NotifyData(7, text, sizeof text);
  text[0] = 'X'; // the sender's buffer may change at once
  sender.NotifyData(8, nullptr, 12);
  sender.NotifyData(9, -1);
  sender.NotifyData(10, text, 0);
  Drain();
  EXPECT_EQ(gEnters, 0);
  ASSERT_EQ(handler.received.size(), 4u);
  EXPECT_EQ(handler.received[0].type, 7u);
  EXPECT_TRUE(handler.received[0].had_data);
  ASSERT_EQ(handler.received[0].bytes.size(), sizeof text);
  EXPECT_STREQ(reinterpret_cast<const char*>(handler.received[0].bytes.data()), "level 3");
  EXPECT_FALSE(handler.received[1].had_data);
  EXPECT_EQ(handler.received[1].size, 12u);
  EXPECT_FALSE(handler.received[2].had_data);
  EXPECT_EQ(handler.received[2].size, 0xffffffffu);
  EXPECT_TRUE(handler.received[3].had_data);
  EXPECT_EQ(handler.received[3].size, 0u);
}

TEST_F(QueuedNotifyTest, NoHandlerOrInvalidatedHandlerQueuesNothing)
{
  LQueuedNotifyDataSender sender;
  sender.NotifyData(1, "abc", 3);
  sender.NotifyData(2, 5);
  EXPECT_FALSE(g_main_context_pending(nullptr));

  Handler handler;
  sender.SetNotifyHandler(handler);
  sender.InvalidateNotifyHandler();
  sender.NotifyData(3, "abc", 3);
  EXPECT_FALSE(g_main_context_pending(nullptr));
  Drain();
  EXPECT_TRUE(handler.received.empty());
}

TEST_F(QueuedNotifyTest, DataForADestroyedHandlerIsDropped)
{
  LQueuedNotifyDataSender sender;
  auto handler = std::make_unique<Handler>();
  sender.SetNotifyHandler(*handler);
  std::vector<char> big(100000, 'a');
  sender.NotifyData(1, big.data(), static_cast<unsigned int>(big.size()));
  sender.NotifyData(2, 3);
  handler.reset(); // a delivery now would write into freed memory (ASan)
  Drain();
  EXPECT_FALSE(g_main_context_pending(nullptr));
}

TEST_F(QueuedNotifyTest, WorkerPayloadsArriveIntact)
{
  Handler handler;
  LQueuedNotifyDataSender sender;
  sender.SetNotifyHandler(handler);
  class Sender : public LThread {
  public:
    Sender(LQueuedNotifyDataSender& s, unsigned int id) : sender_(s), id_(id) {}
    ~Sender() { StopThreadNow(); }

  private:
    void ThreadFunction() override
    {
      for (unsigned int i = 0; i < 300; ++i) {
        unsigned int payload[4] = {id_, i, id_ ^ i, 0xabcd1234u};
        sender_.NotifyData(id_, payload, sizeof payload);
      }
    }
    LQueuedNotifyDataSender& sender_;
    unsigned int id_;
  };
  Sender a(sender, 1), b(sender, 2), c(sender, 3);
  a.StartNormal();
  b.StartNormal();
  c.StartNormal();
  for (int spins = 0; spins < 2000 && handler.received.size() < 900; ++spins) {
    Drain();
    g_usleep(1000);
  }
  a.StopThreadNow();
  b.StopThreadNow();
  c.StopThreadNow();
  Drain();
  ASSERT_EQ(handler.received.size(), 900u);
  for (const Received& r : handler.received) {
    ASSERT_EQ(r.bytes.size(), 16u);
    unsigned int words[4];
    memcpy(words, r.bytes.data(), sizeof words);
    EXPECT_EQ(words[0], r.type);
    EXPECT_EQ(words[2], words[0] ^ words[1]);
    EXPECT_EQ(words[3], 0xabcd1234u);
  }
}

} // namespace
