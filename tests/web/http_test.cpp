// The HTTP client's form post against a scripted server: the exact request, and the targets it refuses.
#include "web/http.h"

#include "web/httpserver.h"

#include <gtest/gtest.h>

using httptest::Script;
using httptest::Server;

namespace {

TEST(HttpPost, ArrivesByteExactAndUnusableTargetsFail)
{
  Server server(Script{.reply = "HTTP/1.0 200 OK\r\n\r\nthanks"});
  LProcessInterfaceVoid plain;
  ASSERT_EQ(ProcessHTTPPostForm(plain, server.Url("").c_str(), "a=b&c=%20", 5000), 0);
  server.Join();
  EXPECT_EQ(server.Received(),
            "POST / HTTP/1.0\r\nHost: " + server.HostPort() +
                "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 9\r\n\r\na=b&c=%20");

  const std::string nobody = "http://127.0.0.1:" + std::to_string(nettest::FreePort()) + "/f";
  EXPECT_EQ(ProcessHTTPPostForm(plain, nobody.c_str(), "a=b", 2000), 2);
  // Longer than a 260-byte text: cutting it would post to another path.
  nettest::Listener listener;
  const std::string longUrl = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/" + std::string(300, 'a');
  EXPECT_EQ(ProcessHTTPPostForm(plain, longUrl.c_str(), "a=b", 2000), 2);
  pollfd pending{listener.Fd(), POLLIN, 0};
  EXPECT_EQ(poll(&pending, 1, 0), 0) << "nothing connects";
}

}  // namespace
