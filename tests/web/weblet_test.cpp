// The server over real sockets: one table of raw requests, good, bad and at the limits, with their exact answers.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

#include "base/file.h"
#include "net/localhost.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "web/webletoutput.h"
#include "webtestserver.h"

using namespace webtest;

namespace {

const std::string k501 = "HTTP/1.1 501 Not Implemented\r\nConnection: close\r\n\r\n";
const std::string k404 = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";
const std::string k500 = "HTTP/1.1 500 Content Length Too Long\r\nConnection: close\r\n\r\n";
const std::string kFile404 = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
const std::string k304 = "HTTP/1.1 304 Not Modified\r\n\r\n";

// Everything a handler saw, one "name=value" line each.
void Echo(LWebletForm& form)
{
  LStringLongTemplate fields, session;
  form.formData.SaveHTTPString(fields);
  form.session.SaveHTTPString(session);
  wfputs(form, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
  wfprintf(form,
           "page=%s\nhost=%s\nreferer=%s\nagent=%s\nfields=%s\nsession=%s\nsessdata=%s\nx-test=%s\nx-long=%s\n"
           "x-after=%s\n",
           form.pageName, form.GetRequestHost(), form.GetReferrer(), form.GetUserAgent(), fields.c_str(),
           form.session.GetSessionName(), session.c_str(), form.GetHTTPHeader("X-Test"), form.GetHTTPHeader("X-Long"),
           form.GetHTTPHeader("X-After"));
}

void BodySize(LWebletForm& f)
{
  wfprintf(f, "HTTP/1.1 200 OK\r\n\r\nlength=%d", int(std::strlen(f.GetParm("a", ""))));
}

void NewSession(LWebletForm& form)
{
  form.session.CreateNewSession();
  form.session.SetInt("a", 1);
  form.session.SetParm("b", "two words");
  wfprintf(form, "HTTP/1.1 200 OK\r\nSet-Cookie: sess=%s; path=/\r\n\r\n%s", form.session.GetSessionName(),
           form.session.GetSessionName());
}

const LWebletScriptItem kTable[] = {{"echo", Echo},
                                    {"size", BodySize},
                                    {"session/new", NewSession},
                                    {"redirect", [](LWebletForm& f) { WLRedirect(f, "http://example/next"); }},
                                    {"", Echo}};

class WebletTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { server_ = new TestServer(kTable, std::size(kTable)); }
  static void TearDownTestSuite() { delete server_; }
  std::string Get(const std::string& target, const std::string& headers = "", bool* closed = nullptr)
  {
    return Exchange(Port(), "GET " + target + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n" + headers + "\r\n",
                    closed);
  }
  static unsigned short Port() { return server_->Port(); }
  static std::string Root(const std::string& name) { return SessionFolder() + "/" + name; }
  static std::string Curl(const std::string& args)
  {
    return CommandOutput("curl -s -S --max-time 10 " + args + " 2>&1");
  }
  static inline TestServer* server_ = nullptr;
};

TEST_F(WebletTest, RawRequestsGetTheirExactAnswers)
{
  WriteWhole(Root("s.css"), "s");
  WriteWhole(Root("secret.sess"), "user=alice");
  mkdir(Root("folder").c_str(), 0777);
  mkfifo(Root("pipe.mp3").c_str(), 0666);  // whose open would block
  char address[260];
  LIPGetLocalHostIPPublic(address);
  const std::string echo = "GET /echo HTTP/1.1\r\n";
  std::string headers;  // past the cap of distinct header names, X-After is dropped
  for (int i = 0; i < 300; ++i)
    headers += "X-" + std::to_string(i) + ": v\r\n";
  struct Case {
    std::string request;
    std::string expected;  // the whole answer, or with '~' first a part of it
    bool closed = true;
  };
  const Case cases[] = {
      {"HEAD / HTTP/1.1\r\n\r\n", k501},
      {"\r\n", k501},
      {"get /echo HTTP/1.1\r\n\r\n", k501},
      {"OPTIONS * HTTP/1.1\r\n\r\n", k501},
      {" GET /echo HTTP/1.1\r\n\r\n", k501},
      // Traversal is refused before any header line is read.
      {"GET /a/../b HTTP/1.1\r\n", k404},
      {"GET %2e%2e/x HTTP/1.1\r\n", k404},
      {"GET /%2E%2E/x HTTP/1.1\r\n", k404},
      {"GET /.. HTTP/1.1\r\n", k404},
      {"GET /x/..%2f..%2fetc/passwd HTTP/1.1\r\n", k404},
      {"GET relative HTTP/1.1\r\n", k404},
      {"GET /%2e./y HTTP/1.1\r\n", k404},
      {"GET /%00.%00./x HTTP/1.1\r\n", k404},
      {"GET /secret.sess HTTP/1.1\r\n\r\n", k404},
      {"GET /SECRET.SESS HTTP/1.1\r\n\r\n", k404},
      {"GET /secret%2Esess HTTP/1.1\r\n\r\n", k404},
      {"GET /help/x.sess HTTP/1.1\r\n\r\n", k404},
      // Page names are exact; only regular files are served; session files never.
      {"GET /Echo HTTP/1.0\r\n\r\n", kFile404},
      {"GET /echo/ HTTP/1.0\r\n\r\n", kFile404},
      {"GET /missing.gif HTTP/1.0\r\n\r\n", kFile404},
      {"GET /folder HTTP/1.0\r\n\r\n", kFile404},
      {"GET /pipe.mp3 HTTP/1.0\r\n\r\n", kFile404},
      {"GET /help/ HTTP/1.0\r\n\r\n", kFile404},
      // A 300-character target is cut with its line: the version is lost.
      {"GET /" + std::string(299, 'n') + " HTTP/1.1\r\nHost: t\r\n\r\n", kFile404},
      {"POST /size HTTP/1.1\r\nContent-Length: 1000001\r\n\r\n", k500},
      {"POST /size HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n", k500},
      {"GET /redirect HTTP/1.1\r\n\r\n", "HTTP/1.0 302 OK\r\nLocation: http://example/next\r\n\r\n"},
      // Static files keep a connection open only when asked for with 1.1.
      {"GET /s.css HTTP/1.1\r\n\r\nGET /missing HTTP/1.1\r\n\r\n", "~\r\n\r\nsHTTP/1.1 404", false},
      {"GET /s.css HTTP/1.0\r\n\r\n", "~\r\n\r\ns"},
      {"GET /s.css\r\n\r\n", "~\r\n\r\ns"},
      {"GET /s.css HTTP/1.1\r\nConnection: close\r\n\r\n", "~\r\n\r\ns"},
      {"POST /s.css HTTP/1.1\r\n\r\n", "~\r\n\r\ns"},
      // A handler always ends the connection, even with 1.1.
      {echo + "Host: a\r\nReferer: http://ref/\r\nUser-Agent: UA 1\r\nX-Test: 1\r\nX-Test: 2\r\n\r\n",
       "~page=echo\nhost=a\nreferer=http://ref/\nagent=UA 1\n"},
      {echo + "X-Test: first\r\nX-Test: second\r\n\r\n", "~x-test=second\n"},
      {"GET / HTTP/1.1\r\n\r\n", "~page=\n"},
      {"GET /ech%6F?q=%E2%82%AC HTTP/1.1\r\n\r\n", "~page=echo\n"},
      {"GET /echo?a=1&a=2&x&=5&&sp=a+b%20c&pct=%41%zz&empty= HTTP/1.1\r\n\r\n",
       "~fields=a=1&a=2&x=&sp=a%20b%20c&pct=A&empty=\n"},
      {"GET /echo?a=!x\x7f HTTP/1.1\r\n\r\n", "~fields=a=%21x%7F\n"},  // below 33 separates, '!' and DEL do not
      {"GET /echo?k=" + std::string(300, 'q') + " HTTP/1.1\r\n\r\n", "~fields=k=" + std::string(247, 'q') + "\n"},
      // A long header is cut at 259 and its rest consumed, not taken for the next header.
      {echo + "X-Long: " + std::string(400, 'v') + "\r\nX-After: ok\r\n\r\n",
       "~x-long=" + std::string(251, 'v') + "\nx-after=ok\n"},
      {echo + headers + "X-After: ok\r\n\r\n", "~x-after=\n"},
      {"GET /echo HTTP/1.0\r\n\r\n", std::string("~host=") + address + "\n"},
      {"GET /echo HTTP/1.0\r\nHost:\r\n\r\n", std::string("~host=") + address + "\n"},
      // No length, a negative one, or one that is not a number: no form data.
      {"POST /echo HTTP/1.0\r\n\r\na=1", "~fields=\n"},
      {"POST /echo HTTP/1.0\r\nContent-Length: -5\r\n\r\na=1", "~fields=\n"},
      {"POST /echo HTTP/1.0\r\nContent-Length: abc\r\n\r\na=1", "~fields=\n"},
      // The Cookie header is read as form fields: "; " does not separate; a name with a path in it is no session.
      {echo + "Cookie: sess=abc123; theme=x\r\n\r\n", "~session=abc123; theme=x\nsessdata=\n"},
      {echo + "Cookie: sess=sub/victim\r\n\r\n", "~session=\nsessdata=\n"},
      {echo + "Cookie: sess=..%2Fetc%2Fpasswd\r\n\r\n", "~session=\nsessdata=\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 80));
    Client client(Port());
    client.Send(c.request);
    const std::string reply = client.ReadAll(c.closed ? 3000 : 500);
    if (c.expected[0] == '~')
      EXPECT_NE(reply.find(c.expected.substr(1)), std::string::npos) << reply;
    else
      EXPECT_EQ(reply, c.expected);
    EXPECT_EQ(client.closed(), c.closed);
  }
  // A body shorter than announced, then the client closes: no answer.
  Client client(Port());
  client.Send("POST /echo HTTP/1.1\r\nContent-Length: 10\r\n\r\na=1");
  shutdown(client.Fd(), SHUT_WR);
  EXPECT_EQ(client.ReadAll(), "");
  // Cutting a long page name at 259 characters must not reach a session file.
  std::string stem(259 - SessionFolder().size() - 1 - 5, 's');
  WriteWhole(Root(stem + ".sess"), "user=bob");
  EXPECT_EQ(Get("/" + stem + ".sessions.html").find("user=bob"), std::string::npos);
}

TEST_F(WebletTest, StaticFilesTypesAndValidators)
{
  const std::pair<const char*, const char*> types[] = {
      {"Page.HTML", "text/html"}, {"README", "application/octet-stream"}, {"a.tar.gz", "application/octet-stream"},
      {"b.Jpg", "image/jpeg"},    {"p.htm", "application/octet-stream"},  {"a.gif", "image/gif"}};
  for (auto [name, type] : types) {
    WriteWhole(Root(name), "<p>hi</p>");
    const std::string reply = Get(std::string("/") + name);
    EXPECT_EQ(reply.substr(0, reply.find("Last-Modified: ")),
              std::string("HTTP/1.1 200 OK\r\nContent-Length: 9\r\nContent-Type: ") + type + "\r\n");
    EXPECT_EQ(Body(reply), "<p>hi</p>");
  }
  struct stat st;

  // The whole tag, weak or in a list, matches; not a longer one of the same second ("T-60" holds "T-6").
  WriteWhole(Root("tag.css"), std::string(60, 'x'));
  const std::string tag60 = Header(Get("/tag.css"), "ETag");
  ASSERT_EQ(stat(Root("tag.css").c_str(), &st), 0);
  WriteWhole(Root("tag.css"), "body{}");
  timespec same[2] = {st.st_mtim, st.st_mtim};
  utimensat(AT_FDCWD, Root("tag.css").c_str(), same, 0);
  const std::string tag = Header(Get("/tag.css"), "ETag");
  EXPECT_EQ(tag, "\"" + std::to_string(st.st_mtime) + "-6\"");
  EXPECT_EQ(Get("/tag.css", "If-None-Match: " + tag + "\r\n"), k304);
  EXPECT_EQ(Get("/tag.css", "If-None-Match: W/" + tag + ", \"x\"\r\n"), k304);
  EXPECT_EQ(Get("/tag.css", "If-None-Match: \"1-2\", " + tag + "\r\n"), k304);
  EXPECT_EQ(Get("/tag.css", "If-None-Match: " + tag60 + "\r\n").rfind("HTTP/1.1 200 OK", 0), 0u);
  EXPECT_EQ(Curl("-i -H 'If-None-Match: " + tag + "' " + server_->Url("/tag.css")), k304);
  // If-Modified-Since matches only the file's own date, in any case.
  std::string date = Header(Get("/tag.css"), "Last-Modified");
  std::transform(date.begin(), date.end(), date.begin(), ::tolower);
  EXPECT_EQ(Get("/tag.css", "If-Modified-Since: " + date + "\r\n"), k304);
  EXPECT_EQ(Get("/tag.css", "If-Modified-Since: Thu, 01 Jan 2070 00:00:00 GMT\r\n").rfind("HTTP/1.1 200", 0), 0u);
}

TEST_F(WebletTest, CurlPostsAndSessions)
{
  // Query fields first, then the body's, in text order, as curl encodes them.
  EXPECT_NE(Curl("--data-urlencode 'b=a&b=c d' " + server_->Url("/echo?a=q")).find("fields=a=q&b=a%26b%3Dc%20d\n"),
            std::string::npos);
  WriteWhole("/tmp/body", "a=" + std::string(999998, 'x'));
  EXPECT_EQ(Curl("-H 'Expect:' --data-binary @/tmp/body " + server_->Url("/size")), "length=999998");
  // A new session's file keeps the fields, newest first; curl sends its cookie back.
  const std::string name = Curl("-c /tmp/cookies.txt " + server_->Url("/session/new"));
  EXPECT_EQ(ReadWhole(Root(name + ".sess")), "b=two%20words&a=1");
  EXPECT_NE(
      Curl("-b /tmp/cookies.txt " + server_->Url("/echo")).find("session=" + name + "\nsessdata=b=two%20words&a=1\n"),
      std::string::npos);
}

TEST(WebletPort, DefaultSixteenBitsAndBindConflict)
{
  for (auto [stored, port] : {std::pair{0, 1085}, std::pair{65536 + 1085 + 1, 1086}, std::pair{65536, 1085}}) {
    LSettingSetInt("WebServer", "Port", stored);
    EXPECT_EQ(LWebletServer::GetWebletServerPort(), port) << stored;
  }
  nettest::Listener blocker("0.0.0.0");
  LWebletServer::SetWebletServerPort(blocker.Port());
  LWebletServer server;
  server.StartServer(kTable, std::size(kTable), SessionFolder().c_str());
  const std::string expected = "Some other program may be using port " + std::to_string(blocker.Port()) + ".";
  std::string log;
  for (uint32_t start = GetTickCount(); log.find(expected) == std::string::npos && nettest::Since(start) < 10000;)
    log = CommandOutput(std::string("sleep 0.02; cat '") + gLLog.GetLogFolder() + "'/*.txt");
  EXPECT_NE(log.find("Webserver cannot bind to TCP/IP port.\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(expected), std::string::npos);
  uint32_t start = GetTickCount();
  server.StopServer();  // the listener sits in its 30 s retry wait
  EXPECT_LT(nettest::Since(start), 10000u);
}

}  // namespace
