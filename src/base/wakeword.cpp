#include "base/wakeword.h"

#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

long Futex(const std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout)
{
  // The kernel only compares and queues on the address; it never writes.
  auto* address = reinterpret_cast<uint32_t*>(const_cast<std::atomic<uint32_t>*>(word));
  return syscall(SYS_futex, address, op | FUTEX_PRIVATE_FLAG, value, timeout, nullptr, 0);
}

}  // namespace

void LWakeWord::Advance()
{
  word_.fetch_add(1, std::memory_order_release);
  Futex(&word_, FUTEX_WAKE, INT_MAX, nullptr);
}

bool LWakeWord::WaitChange(uint32_t seen, unsigned int ms) const
{
  if (Load() != seen)
    return true;
  timespec timeout{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // Returns at once (EAGAIN) when the word no longer holds `seen`.
  Futex(&word_, FUTEX_WAIT, seen, &timeout);
  return Load() != seen;
}
