#pragma once
// The text side of the HTTP/1.0 client: splitting the URL, building the
// request heads, and reading the status line and the body length of an
// answer.  Nothing here touches a socket.

#include <cstddef>
#include <cstdint>

inline constexpr unsigned short kHTTPDefaultPort = 80;
// Room for a POST request head (2,047 characters and the zero).
inline constexpr std::size_t kHTTPPostHeadSize = 2048;

// Splits url into host (with ":port" when the URL has one) and path, both
// 260-byte buffers.  A URL that does not fit a 260-byte text is refused
// (false): its host or path would be cut, and the request would name
// another resource.  An empty path becomes "/", since a request line needs
// a target.
bool LHTTPSplitURL(const char* url, char* host, char* path);

// "GET <path> HTTP/1.0" with the Host header and the empty line, into a
// buffer of size bytes.  Host and path come from LHTTPSplitURL, so the text
// always fits a buffer of kHTTPPostHeadSize bytes.
void LHTTPFormatGet(char* out, std::size_t size, const char* path, const char* host);
// The form post head for a body of bodyLength bytes.
void LHTTPFormatPost(char* out, std::size_t size, const char* path, const char* host, int bodyLength);

// The status code of a status line: the line must start with "HTTP" in any
// letter case and hold three digits after "HTTP/x.y ".  -1 when it does not.
int LHTTPStatusCode(const char* line);
// 2xx and 3xx: the body is what was asked for (redirects are not followed,
// their body is stored as it is).
bool LHTTPStatusIsSuccess(int code);

enum class LHTTPLengthHeader { Other, Length, Invalid };
// Reads a "Content-Length: " header line (exact spelling, one space).
// Other for any other line; Invalid when the value is not a plain decimal
// number that fits 64 bits, since a guessed length would store a wrong file.
LHTTPLengthHeader LHTTPParseContentLength(const char* line, uint64_t& length);
