#include "common/loopback.h"
#include "net/ipaddress.h"
#include "net/localhost.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Dotted(const unsigned char* b)
{
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

TEST(IPAddress, RangesHostsPortsAndUrls)
{
  // text, private, special
  const std::tuple<const char*, bool, bool> cases[] = {
      {"172.16.0.1", true, false},   {"172.31.255.255", true, false}, {"172.48.0.1", false, false},
      {"172.15.0.1", false, false},  {"172.32.0.1", false, false},    {"127.0.0.1", true, true},
      {"127.1.0.1", false, true},    {"0.1.2.3", false, true},        {"192.168.1.2", true, false},
      {"192.169.1.2", false, false}, {"10.255.0.1", true, false},     {"169.254.3.4", true, false}};
  for (auto [text, isPrivate, isSpecial] : cases) {
    LIPAddress a(text);
    EXPECT_EQ(Dotted(a.GetBytes()), text);
    EXPECT_EQ(std::tuple(IsIPPrivate(a.GetBytes()), a.IsPublic(), IsIPSpecial(a.GetBytes())),
              std::tuple(isPrivate, !isPrivate, isSpecial))
        << text;
  }
  EXPECT_EQ(LIPAddress("1.2.3.4.5").GetNetworkOrder() + LIPAddress(nullptr).GetNetworkOrder(), 0u);

  // text, then host and port (default 80); the host buffer holds stale text first.
  const std::string longText = std::string(400, 'n') + ":81";
  const std::pair<const char*, std::string> splits[] = {{"example:8080", "example 8080"},
                                                        {"bare", "bare 80"},
                                                        {"h:70000", "h 4464"},
                                                        {nullptr, " 80"},
                                                        {longText.c_str(), std::string(259, 'n') + " 81"}};
  char host[260], path[260];
  for (auto [text, expected] : splits) {
    strcpy(host, "stale");
    const int port = SplitPortFromAddr(text, host, 80);
    EXPECT_EQ(host + (" " + std::to_string(port)), expected);
  }
  ProcessHTTPSplitHost(("http://" + std::string(300, 'h') + "/" + std::string(300, 'p')).c_str(), host, path);
  EXPECT_EQ(std::string(host) + std::string(path), std::string(259, 'h') + "/" + std::string(258, 'p'));
}

// Names from a private hosts file and host name: resolver order up to four, and the machine's own addresses.
TEST(IPResolution, MultiHomedAndLocalHost)
{
  if (!nettest::UseHostsFile(
          "10.0.0.5 m\n10.0.0.4 m\n10.0.0.3 m\n10.0.0.2 m\n10.0.0.1 m\n192.168.1.2 p\n83.1.2.3 p\n") ||
      !nettest::UseHostName("velorin-host"))
    GTEST_SKIP() << "needs the isolated test runner";
  LIPAddressMultiHomedWithPort many("m:8000", 80), none("unknown-name.invalid", 80);
  ASSERT_EQ(many.GetHostCount() + none.GetHostCount(), 4u);
  EXPECT_EQ(Dotted(many.GetHost(0).GetAddress().GetBytes()) + " " + Dotted(many.GetHost(3).GetAddress().GetBytes()) +
                ":" + std::to_string(many.GetHost(3).GetPort()) + " " + Dotted(LIPAddress("p").GetBytes()),
            "10.0.0.5 10.0.0.2:8000 192.168.1.2");
  EXPECT_EQ(LIPAddress("unknown-name.invalid").GetNetworkOrder(), 0u);
  // hosts, public, private: 127.0.0.9 is private but special, it never replaces the first.
  const char* cases[][3] = {
      {"10.1.1.1 velorin-host\n127.0.0.9 velorin-host\n83.1.2.3 velorin-host\n84.1.2.3 velorin-host\n"
       "172.16.9.9 box.example.org velorin-host\n",
       "84.1.2.3", "172.16.9.9"},
      {"127.0.0.1 localhost\n", "0.0.0.0", "0.0.0.0"}};
  for (auto& c : cases) {
    ASSERT_TRUE(nettest::UseHostsFile(c[0]));
    unsigned char ip[4] = {9, 9, 9, 9}, privateIp[4];
    char text[260];
    EXPECT_EQ(GetLocalHostIP(ip), strcmp(c[1], "0.0.0.0") != 0);
    GetLocalHostPrivateIP(privateIp);
    LIPGetLocalHostIPPublic(text);
    EXPECT_EQ(Dotted(ip) + " " + Dotted(privateIp) + " " + text, std::string(c[1]) + " " + c[2] + " " + c[1]);
  }
}

}  // namespace
