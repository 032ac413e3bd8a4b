#pragma once
// Small checks shared by the shell's tests.

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// Whether the texts hold these, in this order (others may come between).
inline bool InOrder(const std::vector<std::string>& texts, const std::vector<std::string>& wanted)
{
  auto at = texts.begin();
  for (const auto& w : wanted) {
    at = std::find(at, texts.end(), w);
    if (at == texts.end())
      return false;
    ++at;
  }
  return true;
}

// A TCP port nobody listens on at the moment: the default may be taken.
inline int PickFreePort()
{
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}
