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
std::string Dotted(const LIPAddress& a)
{
  return Dotted(a.GetBytes());
}

TEST(IPAddress, RangesHostsPortsAndUrls)
{
  // text, private, special
  const std::tuple<const char*, bool, bool> cases[] = {
      {"172.16.0.1", true, false},   {"172.31.255.255", true, false},  {"172.48.0.1", true, false},
      {"172.15.0.1", false, false},  {"172.32.0.1", false, false},     {"127.0.0.1", true, true},
      {"127.1.0.1", false, true},    {"0.1.2.3", false, true},         {"192.168.1.2", true, false},
      {"192.169.1.2", false, false}, {"10.255.0.1", true, false},      {"169.254.3.4", true, false},
      {"83.1.2.3", false, false},    {"255.255.255.255", false, false}};
  for (auto [text, isPrivate, isSpecial] : cases) {
    LIPAddress a(text);
    EXPECT_EQ(Dotted(a), text);
    EXPECT_EQ(std::tuple(IsIPPrivate(a.GetBytes()), a.IsPublic(), IsIPSpecial(a.GetBytes())),
              std::tuple(isPrivate, !isPrivate, isSpecial))
        << text;
  }
  EXPECT_EQ(Dotted(LIPAddress("1.2.3.4.5")) + " " + Dotted(LIPAddress(nullptr)), "0.0.0.0 0.0.0.0");

  // text, host, port (default 80); the host buffer holds stale text first.
  const std::string longText = std::string(400, 'n') + ":81";
  const std::tuple<const char*, std::string, int> splits[] = {{"example:8080", "example", 8080},
                                                              {"bare", "bare", 80},
                                                              {"h:70000", "h", 70000 & 0xFFFF},
                                                              {nullptr, "", 80},
                                                              {longText.c_str(), std::string(259, 'n'), 81}};
  char host[260];
  char path[260];
  for (auto [text, expectedHost, port] : splits) {
    strcpy(host, "stale");
    EXPECT_EQ(SplitPortFromAddr(text, host, 80), port) << (text ? text : "null");
    EXPECT_EQ(host, expectedHost);
  }
  for (auto u : {"http://www.example.com:8080/a/b?c=d www.example.com:8080/a/b?c=d", "host/x host/x", "//h//g/p g/p"}) {
    ProcessHTTPSplitHost(std::string(u, strchr(u, ' ')).c_str(), host, path);
    EXPECT_EQ(std::string(host) + path, strchr(u, ' ') + 1);
  }
  ProcessHTTPSplitHost(("http://" + std::string(300, 'h') + "/" + std::string(300, 'p')).c_str(), host, path);
  EXPECT_EQ(std::string(host) + std::string(path), std::string(259, 'h') + "/" + std::string(258, 'p'));
}

TEST(IPResolution, MultiHomedKeepsResolverOrderUpToFour)
{
  if (!nettest::UseHostsFile("10.0.0.5 many\n10.0.0.4 many\n10.0.0.3 many\n10.0.0.2 many\n10.0.0.1 many\n"
                             "192.168.1.2 pair\n83.1.2.3 pair\n"))
    GTEST_SKIP() << "needs the isolated test runner";
  LIPAddressMultiHomed m;
  ASSERT_TRUE(m.Resolve("many"));
  ASSERT_EQ(m.GetCount(), 4u);
  EXPECT_EQ(Dotted(m.GetAddress(0)) + " " + Dotted(m.GetAddress(3)), "10.0.0.5 10.0.0.2");
  EXPECT_FALSE(m.Resolve("unknown-name.invalid"));
  EXPECT_EQ(m.GetCount(), 0u);
  LIPAddressMultiHomedWithPort withPort("pair:8000", 80);
  ASSERT_EQ(withPort.GetHostCount(), 2u);
  EXPECT_EQ(Dotted(withPort.GetHost(1).GetAddress()) + ":" + std::to_string(withPort.GetHost(1).GetPort()),
            "83.1.2.3:8000");
  EXPECT_EQ(Dotted(LIPAddress("pair")), "192.168.1.2");
  EXPECT_EQ(Dotted(LIPAddress("unknown-name.invalid")), "0.0.0.0");
}

// The machine's own addresses, from its host name in a hosts file.
TEST(IPResolution, LocalHostAddressesAndName)
{
  const char* cases[][3] = {
      {"192.168.1.2 velorin-host\n83.1.2.3 velorin-host\n", "83.1.2.3", "192.168.1.2"},
      {"127.0.1.1 velorin-host\n", "127.0.1.1", "127.0.1.1"},
      // 127.0.0.9 is private but special: it never replaces the first.
      {"10.1.1.1 velorin-host\n127.0.0.9 velorin-host\n83.1.2.3 velorin-host\n84.1.2.3 velorin-host\n"
       "172.16.9.9 box.example.org velorin-host\n",
       "84.1.2.3", "172.16.9.9"},
      {"127.0.0.1 localhost\n", "0.0.0.0", "0.0.0.0"}};
  for (auto& c : cases) {
    if (!nettest::UseHostsFile(c[0]) || !nettest::UseHostName("velorin-host"))
      GTEST_SKIP() << "needs the isolated test runner";
    unsigned char ip[4] = {9, 9, 9, 9}, privateIp[4];
    char text[260];
    EXPECT_EQ(GetLocalHostIP(ip), strcmp(c[1], "0.0.0.0") != 0);
    GetLocalHostPrivateIP(privateIp);
    LIPGetLocalHostIPPublic(text);
    EXPECT_EQ(Dotted(ip) + " " + Dotted(privateIp) + " " + text, std::string(c[1]) + " " + c[2] + " " + c[1]);
  }
  char name[260];
  LIPGetLocalFQDN(name);
  EXPECT_STREQ(name, "localhost");
  ASSERT_TRUE(nettest::UseHostsFile("83.1.2.3 velorin-host\n192.168.1.2 box.example.org velorin-host\n"));
  LIPGetLocalFQDN(name);
  EXPECT_STREQ(name, "box.example.org");
}

}  // namespace
