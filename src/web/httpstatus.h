#pragma once
// The status lines and fixed headers of the site's answers, named once.
// Macros, so that they join the literal answers and formats they begin.

#define HTTP_200_OK "HTTP/1.1 200 OK\r\n"
#define HTTP_206_PARTIAL_CONTENT "HTTP/1.1 206 Partial Content\r\n"
// Redirections have always answered with the older protocol's status
// line; clients that follow them may rely on it.
#define HTTP_302_REDIRECT "HTTP/1.0 302 OK\r\n"
#define HTTP_304_NOT_MODIFIED "HTTP/1.1 304 Not Modified\r\n"
#define HTTP_404_NOT_FOUND "HTTP/1.1 404 Not Found\r\n"
#define HTTP_416_RANGE_NOT_SATISFIABLE "HTTP/1.1 416 Range Not Satisfiable\r\n"
#define HTTP_500_TOO_LONG "HTTP/1.1 500 Content Length Too Long\r\n"
#define HTTP_501_NOT_IMPLEMENTED "HTTP/1.1 501 Not Implemented\r\n"

#define HTTP_CLOSE "Connection: close\r\n"
#define HTTP_NO_CACHE "Cache-Control: no-cache\r\n"
// A page made on the fly: never kept by a cache, the connection closed after.
#define HTTP_DYNAMIC HTTP_CLOSE HTTP_NO_CACHE
#define HTTP_HTML "Content-Type: text/html; charset=utf-8\r\n"
#define HTTP_MP3 "Content-Type: audio/mpeg\r\n"
