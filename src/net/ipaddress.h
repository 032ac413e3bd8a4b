#pragma once
#include <cstdint>
#include <netinet/in.h>

// IPv4 address values.  Addresses are kept in network byte order so that
// their bytes read in dotted order (bytes[0] is the first number).

// 192.168/16, 10/8, 169.254/16, 127.0/16, and 172.b when bit 4 of b is set
// (the test is on that one bit, so it takes 172.16-31 and also 172.48-63,
// 172.80-95 and so on: those blocks are treated as private too).
bool IsIPPrivate(const unsigned char ip[4]);
// Addresses that never identify this machine to others: 0.x.x.x and 127/8.
bool IsIPSpecial(const unsigned char ip[4]);

class LIPAddress {
public:
  LIPAddress() = default;
  // Dotted decimal, else the first address of a name look-up, else 0.0.0.0.
  // inet_addr cannot tell 255.255.255.255 from a failure, so that text takes
  // the look-up path (which yields the same address).
  explicit LIPAddress(const char* text);
  static LIPAddress FromNetworkOrder(uint32_t address);

  uint32_t GetNetworkOrder() const { return address_; }
  const unsigned char* GetBytes() const { return reinterpret_cast<const unsigned char*>(&address_); }
  bool IsPrivate() const { return IsIPPrivate(GetBytes()); }
  bool IsPublic() const { return !IsPrivate(); }
  bool operator==(const LIPAddress& other) const { return address_ == other.address_; }

private:
  uint32_t address_ = 0;
};

// An IPv4 socket address (family, port in network order, address).
class LIPAddressWithPort {
public:
  LIPAddressWithPort();
  // port in host order.
  LIPAddressWithPort(LIPAddress address, unsigned short port);

  LIPAddress GetAddress() const { return LIPAddress::FromNetworkOrder(address_.sin_addr.s_addr); }
  unsigned short GetPort() const { return ntohs(address_.sin_port); }
  const sockaddr_in& GetSockAddr() const { return address_; }

private:
  sockaddr_in address_;
};

// Up to four addresses of one host, in the resolver's order.
class LIPAddressMultiHomed {
public:
  static constexpr unsigned int kMaxAddresses = 4;

  // Dotted decimal gives one address; a name gives up to four; a failed
  // look-up gives none.  Returns whether any address was found.
  bool Resolve(const char* text);

  unsigned int GetCount() const { return count_; }
  // i must be below GetCount().
  LIPAddress GetAddress(unsigned int i) const { return LIPAddress::FromNetworkOrder(addresses_[i]); }

private:
  uint32_t addresses_[kMaxAddresses] = {};
  uint32_t count_ = 0;
};

class LIPAddressMultiHomedWithPort {
public:
  // "host" or "host:port"; the port after the colon replaces defaultPort.
  LIPAddressMultiHomedWithPort(const char* text, unsigned short defaultPort);

  unsigned int GetHostCount() const { return hosts_.GetCount(); }
  LIPAddressWithPort GetHost(unsigned int i) const { return LIPAddressWithPort(hosts_.GetAddress(i), port_); }
  unsigned short GetPort() const { return port_; }

private:
  uint16_t port_ = 0;
  LIPAddressMultiHomed hosts_;
};

// Copies text into host (260 bytes, cut at 259 characters).  When the text
// holds a colon, the host ends there and the decimal number after it is
// returned, truncated to 16 bits (no digits give 0); otherwise defaultPort.
unsigned short SplitPortFromAddr(const char* text, char* host, unsigned short defaultPort);

// Splits "scheme://host:port/a/b" into host "host:port" and path "/a/b"
// (both 260-byte buffers, cut at 259 characters).  A "//" discards what was
// collected so far, which drops the scheme; the first single "/" starts the
// path; without one the path is empty.
void ProcessHTTPSplitHost(const char* url, char* host, char* path);
