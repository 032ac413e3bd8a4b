#include "net/ipaddress.h"
#include "net/localhost.h"

#include "net/loopback.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Ip {
  unsigned char b[4];
};

std::string Dotted(const LIPAddress& a)
{
  const unsigned char* b = a.GetBytes();
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

std::string Dotted(const unsigned char* b)
{
  return Dotted(LIPAddress::FromNetworkOrder(*reinterpret_cast<const uint32_t*>(b)));
}

TEST(IPClassify, PrivateAndSpecialRanges)
{
  struct Case {
    Ip ip;
    bool isPrivate;
    bool isSpecial;
  } cases[] = {
      {{{172, 16, 0, 1}}, true, false},     {{{172, 31, 255, 255}}, true, false},
      {{{172, 48, 0, 1}}, true, false},     {{{172, 15, 0, 1}}, false, false},
      {{{172, 32, 0, 1}}, false, false},    {{{127, 0, 0, 1}}, true, true},
      {{{127, 1, 0, 1}}, false, true},      {{{0, 1, 2, 3}}, false, true},
      {{{192, 168, 1, 2}}, true, false},    {{{192, 169, 1, 2}}, false, false},
      {{{10, 255, 0, 1}}, true, false},     {{{11, 0, 0, 1}}, false, false},
      {{{169, 254, 3, 4}}, true, false},    {{{169, 253, 3, 4}}, false, false},
      {{{83, 1, 2, 3}}, false, false},      {{{255, 255, 255, 255}}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Dotted(c.ip.b));
    EXPECT_EQ(IsIPPrivate(c.ip.b), c.isPrivate);
    EXPECT_EQ(IsIPSpecial(c.ip.b), c.isSpecial);
    LIPAddress a(Dotted(c.ip.b).c_str());
    EXPECT_EQ(a.IsPrivate(), c.isPrivate);
    EXPECT_EQ(a.IsPublic(), !c.isPrivate);
  }
}

TEST(IPAddress, TextParsing)
{
  EXPECT_EQ(Dotted(LIPAddress("83.1.2.3")), "83.1.2.3");
  EXPECT_EQ(Dotted(LIPAddress("255.255.255.255")), "255.255.255.255");
  EXPECT_EQ(Dotted(LIPAddress("localhost")), "127.0.0.1");
  EXPECT_EQ(Dotted(LIPAddress("")), "0.0.0.0");
  EXPECT_EQ(Dotted(LIPAddress(nullptr)), "0.0.0.0");
  EXPECT_EQ(Dotted(LIPAddress("1.2.3.4.5")), "0.0.0.0");
  EXPECT_EQ(Dotted(LIPAddress()), "0.0.0.0");

  LIPAddressWithPort ap(LIPAddress("10.1.2.3"), 1085);
  EXPECT_EQ(ap.GetPort(), 1085);
  EXPECT_EQ(ntohs(ap.GetSockAddr().sin_port), 1085);
  EXPECT_EQ(ap.GetSockAddr().sin_family, AF_INET);
  EXPECT_EQ(Dotted(ap.GetAddress()), "10.1.2.3");
}

TEST(IPAddress, SplitPortFromAddr)
{
  char host[260];
  EXPECT_EQ(SplitPortFromAddr("example:8080", host, 80), 8080);
  EXPECT_STREQ(host, "example");
  EXPECT_EQ(SplitPortFromAddr("example", host, 80), 80);
  EXPECT_STREQ(host, "example");
  EXPECT_EQ(SplitPortFromAddr("example:", host, 80), 0);
  EXPECT_STREQ(host, "example");
  // 70000 does not fit 16 bits: it is truncated, not clamped.
  EXPECT_EQ(SplitPortFromAddr("h:70000", host, 80), 70000 & 0xFFFF);

  std::string longName(400, 'n');
  EXPECT_EQ(SplitPortFromAddr((longName + ":81").c_str(), host, 80), 81);
  EXPECT_EQ(strlen(host), 259u);
  EXPECT_EQ(SplitPortFromAddr(longName.c_str(), host, 80), 80);
  EXPECT_EQ(strlen(host), 259u);
}

TEST(IPAddress, SplitUrlIntoHostAndPath)
{
  struct Case {
    const char* url;
    const char* host;
    const char* path;
  } cases[] = {
      {"http://www.example.com:8080/a/b?c=d", "www.example.com:8080", "/a/b?c=d"},
      {"host/x", "host", "/x"},
      {"http://host", "host", ""},
      {"host", "host", ""},
      {"", "", ""},
      {"//h//g/p", "g", "/p"},
      {"/lead", "", "/lead"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    char host[260] = "junk";
    char path[260] = "junk";
    ProcessHTTPSplitHost(c.url, host, path);
    EXPECT_STREQ(host, c.host);
    EXPECT_STREQ(path, c.path);
  }

  std::string longUrl = "http://" + std::string(300, 'h') + "/" + std::string(300, 'p');
  char host[260];
  char path[260];
  ProcessHTTPSplitHost(longUrl.c_str(), host, path);
  EXPECT_EQ(std::string(host), std::string(259, 'h'));
  EXPECT_EQ(strlen(path), 259u);
  EXPECT_EQ(path[0], '/');
}

// Resolution against a hosts file of our own, so the resolver's answer and
// its order are known.
class Resolution : public ::testing::Test {
protected:
  void SetUp() override
  {
    if (!nettest::Isolated())
      GTEST_SKIP() << "needs the isolated test runner";
  }
};

TEST_F(Resolution, MultiHomedKeepsResolverOrderUpToFour)
{
  ASSERT_TRUE(nettest::UseHostsFile("127.0.0.1 localhost\n"
                                    "10.0.0.5 many\n10.0.0.4 many\n10.0.0.3 many\n"
                                    "10.0.0.2 many\n10.0.0.1 many\n"
                                    "192.168.1.2 pair\n83.1.2.3 pair\n"));
  LIPAddressMultiHomed m;
  EXPECT_TRUE(m.Resolve("many"));
  ASSERT_EQ(m.GetCount(), 4u);
  EXPECT_EQ(Dotted(m.GetAddress(0)), "10.0.0.5");
  EXPECT_EQ(Dotted(m.GetAddress(3)), "10.0.0.2");

  EXPECT_TRUE(m.Resolve("7.7.7.7"));
  ASSERT_EQ(m.GetCount(), 1u);
  EXPECT_EQ(Dotted(m.GetAddress(0)), "7.7.7.7");

  EXPECT_FALSE(m.Resolve("unknown-name.invalid"));
  EXPECT_EQ(m.GetCount(), 0u);

  LIPAddressMultiHomedWithPort withPort("pair:8000", 80);
  ASSERT_EQ(withPort.GetHostCount(), 2u);
  EXPECT_EQ(Dotted(withPort.GetHost(1).GetAddress()), "83.1.2.3");
  EXPECT_EQ(withPort.GetHost(1).GetPort(), 8000);
  LIPAddressMultiHomedWithPort defaultPort("pair", 80);
  EXPECT_EQ(defaultPort.GetHost(0).GetPort(), 80);

  // The single-address form takes the first.
  EXPECT_EQ(Dotted(LIPAddress("pair")), "192.168.1.2");
  EXPECT_EQ(Dotted(LIPAddress("unknown-name.invalid")), "0.0.0.0");
}

void ExpectLocalAddresses(const char* hosts, const char* publicIp, const char* privateIp)
{
  ASSERT_TRUE(nettest::UseHostName("velorin-test-host"));
  ASSERT_TRUE(nettest::UseHostsFile(hosts));
  unsigned char ip[4];
  EXPECT_TRUE(GetLocalHostIP(ip));
  EXPECT_EQ(Dotted(ip), publicIp);
  EXPECT_TRUE(GetLocalHostPrivateIP(ip));
  EXPECT_EQ(Dotted(ip), privateIp);
  char text[260];
  LIPGetLocalHostIPPublic(text);
  EXPECT_STREQ(text, publicIp);
}

TEST_F(Resolution, LocalHostPrefersLastPublicAddress)
{
  ExpectLocalAddresses("192.168.1.2 velorin-test-host\n83.1.2.3 velorin-test-host\n", "83.1.2.3",
                       "192.168.1.2");
}

TEST_F(Resolution, LocalHostLoopbackOnlyIsKept)
{
  ExpectLocalAddresses("127.0.1.1 velorin-test-host\n", "127.0.1.1", "127.0.1.1");
}

TEST_F(Resolution, LocalHostSkipsSpecialAndPicksLaterOnes)
{
  // 127.0.0.9 is private but special: it never replaces the first address.
  ExpectLocalAddresses("10.1.1.1 velorin-test-host\n127.0.0.9 velorin-test-host\n"
                       "83.1.2.3 velorin-test-host\n84.1.2.3 velorin-test-host\n"
                       "172.16.9.9 velorin-test-host\n",
                       "84.1.2.3", "172.16.9.9");
}

TEST_F(Resolution, UnknownHostNameGivesZeroAddress)
{
  ASSERT_TRUE(nettest::UseHostName("velorin-unlisted-host"));
  ASSERT_TRUE(nettest::UseHostsFile("127.0.0.1 localhost\n"));
  unsigned char ip[4] = {9, 9, 9, 9};
  EXPECT_FALSE(GetLocalHostIP(ip));
  EXPECT_EQ(Dotted(ip), "0.0.0.0");
  char text[260];
  LIPGetLocalHostIPPublic(text);
  EXPECT_STREQ(text, "0.0.0.0");
}

TEST_F(Resolution, FullyQualifiedName)
{
  ASSERT_TRUE(nettest::UseHostName("velorin-test-host"));
  ASSERT_TRUE(nettest::UseHostsFile("83.1.2.3 velorin-test-host\n"
                                    "192.168.1.2 box.example.org velorin-test-host\n"));
  char name[260];
  LIPGetLocalFQDN(name);
  EXPECT_STREQ(name, "box.example.org");
}

TEST_F(Resolution, FullyQualifiedNameFallsBackToLocalhost)
{
  ASSERT_TRUE(nettest::UseHostName("velorin-unlisted-host"));
  ASSERT_TRUE(nettest::UseHostsFile("127.0.0.1 localhost\n"));
  char name[260];
  LIPGetLocalFQDN(name);
  EXPECT_STREQ(name, "localhost");
}

} // namespace
