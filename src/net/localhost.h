#pragma once

// The machine's own addresses, found by resolving its host name.  The site
// puts them into the links it writes, so a public address is preferred.

// Walks the host name's addresses in the resolver's order: the first is
// always taken and every later one that is neither private nor special
// replaces it, so the result is the last public address, or the first
// address when none is public.  ip is 0.0.0.0 and the result false when the
// name could not be taken or resolved.
bool GetLocalHostIP(unsigned char ip[4]);
// The same walk, but a later address replaces the taken one when it is
// private and not special.
bool GetLocalHostPrivateIP(unsigned char ip[4]);

// GetLocalHostIP as dotted text into text (260 bytes); 0.0.0.0 when nothing
// was found.
void LIPGetLocalHostIPPublic(char* text);
// Official name of the private address (reverse look-up), else of the host
// name, else "localhost"; into name (260 bytes).
void LIPGetLocalFQDN(char* name);
