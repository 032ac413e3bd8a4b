// Arbitrary bytes through the request reader as a client's arrive (over a
// socket pair; persistent requests one after another), and through the
// decoders.  An accepted page name never climbs out of its folder, and saved
// form fields load back to the same pairs.
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "base/hashtable.h"
#include "base/thread.h"
#include "net/netbase.h"
#include "web/webletform.h"
#include "web/webletparse.h"
#include "web/webletrequest.h"

namespace {

// Never started: it only answers IsToStop() for the reads.
class IdleThread : public LThread {
protected:
  void ThreadFunction() override {}
};

void Check(bool condition)
{
  if (!condition)
    __builtin_trap();
}

void CheckRoundTrip(const char* text)
{
  LHashTable table;
  table.LoadHTTPString(text);
  LStringLongTemplate saved;
  table.SaveHTTPString(saved);
  LHashTable again;
  again.LoadHTTPString(saved.c_str());
  LStringLongTemplate savedAgain;
  again.SaveHTTPString(savedAgain);
  Check(table.GetCount() == again.GetCount());
  Check(std::strcmp(saved.c_str(), savedAgain.c_str()) == 0);
}

void ReadRequests(int fd)
{
  static IdleThread thread;
  LIPSocketTCP socket(fd);
  for (int request = 0; request < 64; ++request) {
    LWebletForm form(thread, socket);
    LWebletRequestHead head;
    LWebletRequestOutcome outcome = LWebletReadRequestHead(form, head, kWebletRequestHeadMs);
    if (outcome == LWebletRequestOutcome::Ready) {
      Check(std::strstr(form.pageName, "..") == nullptr);
      Check(std::strlen(form.pageName) < kPathSize - 1);
      outcome = LWebletReadRequestBody(form, head);
    }
    if (outcome != LWebletRequestOutcome::Ready)
      return;
    form.GetRequestHost();
    form.GetParm("sess", "");
    if (!head.persistent)
      return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    return 0;
  // What does not fit in the socket's buffer is left out, as if the client had stopped there.
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  size_t written = 0;
  while (written < size) {
    ssize_t n = write(fds[1], data + written, size - written);
    if (n <= 0)
      break;
    written += static_cast<size_t>(n);
  }
  close(fds[1]);
  ReadRequests(fds[0]);

  std::string text(reinterpret_cast<const char*>(data), size);
  CheckRoundTrip(text.c_str());
  LWebletRequestLine line;
  LWebletSplitRequestLine(text.substr(0, kPathSize - 1).c_str(), line);
  char path[kPathSize];
  if (LWebletDecodePath(line.target, path))
    Check(path[0] == '/' && std::strstr(path, "..") == nullptr);
  LHashTable headers;
  LWebletStoreHeaderLine(text.substr(0, kPathSize - 1).c_str(), headers);
  return 0;
}
