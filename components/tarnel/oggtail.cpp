#include "tarnel/oggtail.h"

#include <ogg/ogg.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An Ogg page is at most 65307 bytes, so the last complete page starts
// within this distance of the end.
constexpr off_t kTailBytes = 2 * 65536;

// Owns an ogg_sync_state.
class LOggSync {
public:
  LOggSync() { ogg_sync_init(&sync_); }
  ~LOggSync() { ogg_sync_clear(&sync_); }
  LOggSync(const LOggSync&) = delete;
  LOggSync& operator=(const LOggSync&) = delete;
  ogg_sync_state* Get() { return &sync_; }

private:
  ogg_sync_state sync_;
};

}  // namespace

bool OggFileEndsWithStreamEnd(int fd)
{
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
    return true;
  off_t start = status.st_size > kTailBytes ? status.st_size - kTailBytes : 0;
  auto size = static_cast<long>(status.st_size - start);

  LOggSync sync;
  char* buffer = ogg_sync_buffer(sync.Get(), size);
  if (buffer == nullptr || ::pread(fd, buffer, static_cast<size_t>(size), start) != size)
    return false;
  ogg_sync_wrote(sync.Get(), size);

  // pageout skips whatever does not check out as a page (the partial page
  // the tail starts in, a damaged one) and returns the intact pages.
  bool ended = false;
  ogg_page page;
  for (int result; (result = ogg_sync_pageout(sync.Get(), &page)) != 0;) {
    if (result > 0)
      ended = ogg_page_eos(&page) != 0;
  }
  return ended;
}
