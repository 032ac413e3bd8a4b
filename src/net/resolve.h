#pragma once
#include <cstdint>

// Name look-ups through the C library's resolver, in the resolver's own
// address order (the order of /etc/hosts or of the DNS answer).  The
// re-entrant forms are used because web connection threads resolve
// concurrently and the classic calls share one static result.

// Resolves a host name (or numeric text) to up to max IPv4 addresses in
// network byte order.  Returns how many were stored (0 when the look-up
// failed).  When officialName is given (260 bytes), it receives the name's
// official (canonical) name, cut to 259 characters.
unsigned int LResolveHostIPv4(const char* name, uint32_t* addresses, unsigned int max, char* officialName = nullptr);

// Reverse look-up of one IPv4 address (network byte order); writes the
// official name into name (260 bytes).  False when the look-up failed.
bool LResolveAddressName(uint32_t address, char* name);
