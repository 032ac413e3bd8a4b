#include "web/sitestats.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace {

std::atomic<time_t> gStartTime{0};

struct Downloads {
  std::mutex lock;
  std::map<std::string, uint64_t> counts;
};

Downloads& GetDownloads()
{
  static Downloads downloads;
  return downloads;
}

}  // namespace

void LSiteMarkStarted()
{
  time_t none = 0;
  gStartTime.compare_exchange_strong(none, std::time(nullptr), std::memory_order_relaxed);
}

time_t LSiteGetStartTime()
{
  return gStartTime.load(std::memory_order_relaxed);
}

void LSiteCountDownload(const char* name)
{
  Downloads& downloads = GetDownloads();
  std::lock_guard<std::mutex> guard(downloads.lock);
  ++downloads.counts[name];
}

uint64_t LSiteGetDownloads(const char* name)
{
  Downloads& downloads = GetDownloads();
  std::lock_guard<std::mutex> guard(downloads.lock);
  auto found = downloads.counts.find(name);
  return found == downloads.counts.end() ? 0 : found->second;
}
