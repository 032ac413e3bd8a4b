// The server driven over real loopback sockets: a raw client for exact bytes
// and malformed input, curl as a real HTTP client.
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
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
  LStringLongTemplate fields;
  form.formData.SaveHTTPString(fields);
  LStringLongTemplate cookies;
  form.cookies.SaveHTTPString(cookies);
  LStringLongTemplate session;
  form.session.SaveHTTPString(session);
  wfputs(form, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
  wfprintf(form, "page=%s\nhost=%s\nreferer=%s\nagent=%s\nfields=%s\ncookies=%s\nsession=%s\nsessdata=%s\n",
           form.pageName, form.GetRequestHost(), form.GetReferrer(), form.GetUserAgent(), fields.c_str(),
           cookies.c_str(), form.session.GetSessionName(), session.c_str());
  wfprintf(form, "x-test=%s\nx-long=%s\nx-after=%s\n", form.GetHTTPHeader("X-Test"), form.GetHTTPHeader("X-Long"),
           form.GetHTTPHeader("X-After"));
}

void Stream(LWebletForm& form)
{
  wfprintf(form, "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\nsrc=%d kbps=%d", form.GetInt("src", 1),
           form.GetInt("kbps", 64));
}

void BodySize(LWebletForm& form)
{
  wfprintf(form, "HTTP/1.1 200 OK\r\n\r\nlength=%d", static_cast<int>(std::strlen(form.GetParm("a", ""))));
}

void NewSession(LWebletForm& form)
{
  form.session.CreateNewSession();
  form.session.SetInt("a", 1);
  form.session.SetParm("b", "two words");
  wfprintf(form, "HTTP/1.1 200 OK\r\nSet-Cookie: sess=%s; path=/\r\n\r\n%s", form.session.GetSessionName(),
           form.session.GetSessionName());
}

void AddToSession(LWebletForm& form)
{
  form.session.SetParm("c", form.GetParm("c", "3"));
  wfputs(form, "HTTP/1.1 200 OK\r\n\r\nok");
}

void JsItem(LWebletForm& form)
{
  WLIsInternetExplorer(form);
}

void Page(LWebletForm& form)
{
  WLStandardHeaderWithJsScript(form, "T<i>", JsItem);
  wfprintf(form, "[%.3d|%.3d|%d|%H|%U|%s|%%]", 7, -5, 12345, "a<b & \"c\"", "a b/c", static_cast<const char*>(nullptr));
  WLStandardFooter(form);
}

void Redirect(LWebletForm& form)
{
  WLRedirect(form, "http://example/next");
}

const LWebletScriptItem kTable[] = {
    {"echo", Echo},     {"velorin.mp3", Stream}, {"size", BodySize},  {"session/new", NewSession},
    {"session/add", AddToSession}, {"page", Page}, {"redirect", Redirect}, {"", Echo},
};

class WebletTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { server_ = new TestServer(kTable, std::size(kTable)); }
  static void TearDownTestSuite()
  {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { port_ = server_->Port(); }

  std::string Get(const std::string& target, const std::string& headers = "", bool* closed = nullptr)
  {
    return Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n" + headers + "\r\n", closed);
  }
  std::string Root(const std::string& name) { return SessionFolder() + "/" + name; }
  std::string Curl(const std::string& args, int* status = nullptr)
  {
    return Shell("curl -s -S --max-time 10 " + args + " 2>&1", status);
  }

  static TestServer* server_;
  unsigned short port_ = 0;
};

TestServer* WebletTest::server_ = nullptr;

} // namespace

TEST_F(WebletTest, HandlerGetsQueryAndHostAndTheConnectionClosesAfterIt)
{
  bool closed = false;
  std::string reply =
      Exchange(port_, "GET /velorin.mp3?src=1&kbps=24 HTTP/1.1\r\nHost: example:1085\r\n\r\n", &closed);
  EXPECT_EQ(Body(reply), "src=1 kbps=24");
  EXPECT_TRUE(closed);  // HTTP/1.1, but a handler always ends the connection

  reply = Get("/echo", "Referer: http://ref/\r\nUser-Agent: UA 1\r\nX-Test: first\r\nX-Test: second\r\n");
  std::string body = Body(reply);
  EXPECT_NE(body.find("page=echo\n"), std::string::npos) << body;
  EXPECT_NE(body.find("host=test\n"), std::string::npos);
  EXPECT_NE(body.find("referer=http://ref/\n"), std::string::npos);
  EXPECT_NE(body.find("agent=UA 1\n"), std::string::npos);
  EXPECT_NE(body.find("x-test=second\n"), std::string::npos);  // the last equal header wins

  EXPECT_NE(Get("/").find("page=\n"), std::string::npos);  // "" names the root
  // Page names are exact: case and a trailing slash make another name.
  EXPECT_EQ(Get("/Echo"), kFile404);
  EXPECT_EQ(Get("/echo/"), kFile404);
}

TEST_F(WebletTest, UnservedMethodsGetThe501Text)
{
  for (const char* request : {"HEAD / HTTP/1.1\r\n\r\n", "\r\n", "get /echo HTTP/1.1\r\n\r\n",
                              "OPTIONS * HTTP/1.1\r\n\r\n", " GET /echo HTTP/1.1\r\n\r\n"}) {
    bool closed = false;
    EXPECT_EQ(Exchange(port_, request, &closed), k501) << request;
    EXPECT_TRUE(closed) << request;
  }
  int status = 0;
  std::string out = Curl("-i -I " + server_->Url("/echo"), &status);
  EXPECT_NE(out.find("501 Not Implemented"), std::string::npos) << out;
}

TEST_F(WebletTest, TraversalTargetsGetTheBare404)
{
  for (const char* target : {"/a/../b", "%2e%2e/x", "/%2E%2E/x", "/..", "/x/..%2f..%2fetc/passwd", "relative",
                             "/%2e./y", "/%00.%00./x"}) {
    bool closed = false;
    // Sent before any header line: the refusal must not wait for them.
    EXPECT_EQ(Exchange(port_, std::string("GET ") + target + " HTTP/1.1\r\n", &closed), k404) << target;
    EXPECT_TRUE(closed);
  }
  std::string out = Curl("-i --path-as-is " + server_->Url("/a/../b"));
  EXPECT_NE(out.find("HTTP/1.1 404 Not Found"), std::string::npos) << out;
}

TEST_F(WebletTest, QueryAndFormFieldDecoding)
{
  std::string body = Body(Get("/echo?a=1&a=2&x&=5&&sp=a+b%20c&pct=%41%zz&empty="));
  EXPECT_NE(body.find("fields=a=1&a=2&x=&sp=a%20b%20c&pct=A&empty=\n"), std::string::npos) << body;

  body = Body(Get("/ech%6F?q=%E2%82%AC"));  // the path is decoded too
  EXPECT_NE(body.find("page=echo\n"), std::string::npos) << body;
  EXPECT_NE(body.find("fields=q=%E2%82%AC\n"), std::string::npos) << body;

  // curl's own form encoding, sent as a POST body.
  body = Curl("--data-urlencode 'name=a&b=c d' --data-urlencode 'z=%+' " + server_->Url("/echo"));
  EXPECT_NE(body.find("fields=name=a%26b%3Dc%20d&z=%25%2B\n"), std::string::npos) << body;
  // Query fields come first, then the body's, in text order.
  body = Curl("-d 'b=2&a=body' " + server_->Url("/echo?a=query"));
  EXPECT_NE(body.find("fields=a=query&b=2&a=body\n"), std::string::npos) << body;
}

TEST_F(WebletTest, OverlongLinesAreCutAt259NeverRefused)
{
  // A 300-character target: the line keeps "GET " and 255 of it, so the
  // version is lost and the connection is not kept open.
  std::string name(299, 'n');
  Client client(port_);
  client.Send("GET /" + name + " HTTP/1.1\r\nHost: t\r\n\r\n");
  EXPECT_EQ(client.ReadAll(), kFile404);
  EXPECT_TRUE(client.closed());

  std::string longValue(400, 'v');
  std::string body = Body(Get("/echo", "X-Long: " + longValue + "\r\nX-After: ok\r\n"));
  EXPECT_NE(body.find("x-long=" + std::string(259 - 8, 'v') + "\n"), std::string::npos) << body;
  // The rest of the long line was consumed, not taken for the next header.
  EXPECT_NE(body.find("x-after=ok\n"), std::string::npos) << body;

  // A long query is cut with its line, and what is left still decodes.
  body = Body(Get("/echo?k=" + std::string(300, 'q')));
  EXPECT_NE(body.find("fields=k=" + std::string(259 - 12, 'q') + "\n"), std::string::npos) << body;
}

TEST_F(WebletTest, PostBodySizes)
{
  std::string file = "/tmp/body";
  WriteFile(file, "a=" + std::string(999998, 'x'));
  std::string out = Curl("-H 'Expect:' --data-binary @" + file + " " + server_->Url("/size"));
  EXPECT_EQ(out, "length=999998");

  WriteFile(file, "a=" + std::string(999999, 'x'));  // 1,000,001 bytes
  // curl waits for the server's word before sending the body, so it reads
  // the refusal instead of running into the closed connection.
  out = Curl("-i -H 'Expect: 100-continue' --data-binary @" + file + " " + server_->Url("/size"));
  EXPECT_NE(out.find("HTTP/1.1 500 Content Length Too Long"), std::string::npos) << out.substr(0, 200);

  // Refused before the body is read: the answer comes right after the head.
  bool closed = false;
  EXPECT_EQ(Exchange(port_, "POST /size HTTP/1.1\r\nContent-Length: 1000001\r\n\r\n", &closed), k500);
  EXPECT_TRUE(closed);
  EXPECT_EQ(Exchange(port_, "POST /size HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n"), k500);

  // No length, a negative one, or one that is not a number: dispatched
  // without form data (and the bytes sent are not read as a body).
  for (const char* length : {"", "Content-Length: -5\r\n", "Content-Length: abc\r\n"}) {
    std::string body = Body(Exchange(port_, std::string("POST /echo HTTP/1.0\r\n") + length + "\r\na=1"));
    EXPECT_NE(body.find("fields=\n"), std::string::npos) << length << body;
  }

  // A body shorter than announced, then the client closes: no answer.
  Client client(port_);
  client.Send("POST /echo HTTP/1.1\r\nContent-Length: 10\r\n\r\na=1");
  shutdown(client.Fd(), SHUT_WR);
  EXPECT_EQ(client.ReadAll(), "");
  EXPECT_TRUE(client.closed());
}

TEST_F(WebletTest, CookiesAndSessions)
{
  std::string name = Body(Get("/session/new"));
  ASSERT_FALSE(name.empty());
  std::string file = Root(name + ".sess");
  std::ifstream in(file);
  std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(stored, "b=two%20words&a=1");

  // curl keeps the cookie from the first answer and sends it back.
  std::string jar = "/tmp/cookies.txt";
  std::string out = Curl("-c " + jar + " " + server_->Url("/session/new"));
  std::string second = Curl("-b " + jar + " " + server_->Url("/session/add?c=three"));
  EXPECT_EQ(second, "ok");
  std::string shown = Curl("-b " + jar + " " + server_->Url("/echo"));
  EXPECT_NE(shown.find("session=" + out + "\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("sessdata=c=three&b=two%20words&a=1\n"), std::string::npos) << shown;

  // The Cookie header is read as form fields: "; " does not separate, so
  // this names the session "abc123; theme=x", which has no file.
  std::string body = Body(Get("/echo", "Cookie: sess=abc123; theme=x\r\n"));
  EXPECT_NE(body.find("session=abc123; theme=x\n"), std::string::npos) << body;
  EXPECT_NE(body.find("sessdata=\n"), std::string::npos);
  body = Body(Get("/echo", "Cookie: theme=x&sess=" + name + "\r\n"));
  EXPECT_NE(body.find("sessdata=b=two%20words&a=1\n"), std::string::npos) << body;
}

TEST_F(WebletTest, SessionSweepAndSeparatorsInTheCookie)
{
  time_t now = time(nullptr);
  WriteFile(Root("old.sess"), "a=1");
  WriteFile(Root("young.sess"), "y=1");
  WriteFile(Root("other.txt"), "t");
  timespec old[2] = {{now - 86401, 0}, {now - 86401, 0}};
  utimensat(AT_FDCWD, Root("old.sess").c_str(), old, 0);
  utimensat(AT_FDCWD, Root("other.txt").c_str(), old, 0);
  mkdir(Root("sub").c_str(), 0777);
  WriteFile(Root("sub/victim.sess"), "v=1");

  std::string body = Body(Get("/echo", "Cookie: sess=sub/victim\r\n"));
  EXPECT_NE(body.find("session=\n"), std::string::npos) << body;  // ignored: no session
  EXPECT_NE(body.find("sessdata=\n"), std::string::npos);
  struct stat st;
  EXPECT_NE(stat(Root("old.sess").c_str(), &st), 0);  // swept by this request
  EXPECT_EQ(stat(Root("young.sess").c_str(), &st), 0);
  EXPECT_EQ(stat(Root("other.txt").c_str(), &st), 0);
  EXPECT_EQ(stat(Root("sub/victim.sess").c_str(), &st), 0);

  body = Body(Get("/echo", "Cookie: sess=..%2Fetc%2Fpasswd\r\n"));
  EXPECT_NE(body.find("session=\n"), std::string::npos) << body;
  body = Body(Get("/echo", "Cookie: sess=young\r\n"));
  EXPECT_NE(body.find("sessdata=y=1\n"), std::string::npos) << body;
}

TEST_F(WebletTest, SessionFilesAreNeverServed)
{
  WriteFile(Root("secret.sess"), "user=alice");
  for (const char* target : {"/secret.sess", "/SECRET.SESS", "/secret%2Esess", "/help/x.sess"}) {
    bool closed = false;
    EXPECT_EQ(Get(target, "", &closed), k404) << target;
    EXPECT_TRUE(closed);
  }
  // Cutting a long page name at 259 characters must not make it reach a
  // session file either.
  std::string folder = SessionFolder();
  std::string stem(259 - folder.size() - 1 - 5, 's');
  WriteFile(Root(stem + ".sess"), "user=bob");
  std::string reply = Get("/" + stem + ".sessions.html");
  EXPECT_EQ(reply.find("user=bob"), std::string::npos) << reply;
}

TEST_F(WebletTest, StaticFilesTypesAndHeaders)
{
  WriteFile(Root("Page.HTML"), "<p>hi</p>");
  WriteFile(Root("README"), "plain");
  WriteFile(Root("empty.css"), "");
  std::string reply = Get("/Page.HTML");
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\nContent-Length: 9\r\nContent-Type: text/html\r\nLast-Modified: ", 0), 0u)
      << reply;
  EXPECT_EQ(Body(reply), "<p>hi</p>");
  EXPECT_EQ(Header(reply, "Connection"), "<none>");
  struct stat st;
  ASSERT_EQ(stat(Root("Page.HTML").c_str(), &st), 0);
  EXPECT_EQ(Header(reply, "ETag"), "\"" + std::to_string(st.st_mtime) + "-9\"");

  EXPECT_EQ(Header(Get("/README"), "Content-Type"), "application/octet-stream");
  reply = Get("/empty.css");
  EXPECT_EQ(Header(reply, "Content-Length"), "0");
  EXPECT_EQ(Header(reply, "Content-Type"), "text/css");
  EXPECT_EQ(Body(reply), "");

  EXPECT_EQ(Get("/missing.gif"), kFile404);
  // Only regular files: a folder, and a FIFO (whose open would block).
  mkdir(Root("folder").c_str(), 0777);
  EXPECT_EQ(Get("/folder"), kFile404);
  mkfifo(Root("pipe.mp3").c_str(), 0666);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Get("/pipe.mp3"), kFile404);
  EXPECT_LT(Milliseconds(start), 1000);

  // help/ is served from the help folder instead of the root.
  char help[260];
  LFile::GetHelpFolder(help);
  Shell(std::string("mkdir -p '") + help + "'");
  WriteFile(std::string(help) + "/index.html", "help!");
  EXPECT_EQ(Body(Get("/help/index.html")), "help!");
  EXPECT_EQ(Get("/help/"), kFile404);

  // A binary file comes back byte for byte through curl.
  std::string binary;
  for (unsigned int i = 0; i < 300000; ++i) {
    binary.push_back(static_cast<char>((i * 7919u) >> 3));
  }
  WriteFile(Root("blob.mp3"), binary);
  EXPECT_EQ(Curl(server_->Url("/blob.mp3")), binary);
  EXPECT_EQ(Curl("-o /dev/null -w '%{content_type}' " + server_->Url("/blob.mp3")), "audio/mpeg");
}

TEST_F(WebletTest, EntityTagAndIfModifiedSince)
{
  WriteFile(Root("tag.css"), "body{}");
  std::string first = Get("/tag.css");
  std::string tag = Header(first, "ETag");
  ASSERT_NE(tag, "<none>");
  EXPECT_EQ(Get("/tag.css", "If-None-Match: " + tag + "\r\n"), k304);
  EXPECT_EQ(Get("/tag.css", "If-None-Match: W/" + tag + ", \"x\"\r\n"), k304);
  // Through curl: the 304 status line and nothing else.
  std::string out = Curl("-i -H 'If-None-Match: " + tag + "' " + server_->Url("/tag.css"));
  EXPECT_EQ(out, k304);

  // Rewritten with another size: a new tag, 200 again.
  WriteFile(Root("tag.css"), "body{color:red}");
  std::string again = Get("/tag.css", "If-None-Match: " + tag + "\r\n");
  EXPECT_EQ(again.rfind("HTTP/1.1 200 OK", 0), 0u);
  EXPECT_NE(Header(again, "ETag"), tag);
  // A longer file written in the same second whose size begins with the
  // current one's digits ("T-60" holds "T-6") is another version.
  WriteFile(Root("tag.css"), std::string(60, 'x'));
  std::string tag60 = Header(Get("/tag.css"), "ETag");
  struct stat st;
  stat(Root("tag.css").c_str(), &st);
  WriteFile(Root("tag.css"), "body{}");
  timespec same[2] = {st.st_mtim, st.st_mtim};
  utimensat(AT_FDCWD, Root("tag.css").c_str(), same, 0);
  EXPECT_EQ(tag60, "\"" + std::to_string(st.st_mtime) + "-60\"");
  EXPECT_EQ(Get("/tag.css", "If-None-Match: " + tag60 + "\r\n").rfind("HTTP/1.1 200 OK", 0), 0u);

  // If-Modified-Since matches only the date of this very second.
  for (int attempt = 0; attempt < 3; ++attempt) {
    time_t before = time(nullptr);
    std::string reply = Get("/tag.css");
    std::string date = Header(reply, "Last-Modified");
    std::string lower = date;
    for (char& c : lower) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string conditional = Get("/tag.css", "If-Modified-Since: " + lower + "\r\n");
    if (time(nullptr) != before) {
      continue;  // the second turned over between the requests
    }
    EXPECT_EQ(conditional, k304) << date;
    break;
  }
  EXPECT_EQ(Get("/tag.css", "If-Modified-Since: Thu, 01 Jan 2070 00:00:00 GMT\r\n").rfind("HTTP/1.1 200", 0), 0u);
}

TEST_F(WebletTest, PersistentConnectionsOnlyForStaticFiles)
{
  WriteFile(Root("s.css"), "s");
  WriteFile(Root("print.css"), "p");
  // curl fetches two files over one connection.
  std::string out = Curl("-v " + server_->Url("/s.css") + " " + server_->Url("/print.css"));
  EXPECT_NE(out.find("Re-using existing connection"), std::string::npos) << out;

  // Two pipelined requests: both answered, and the connection stays open.
  Client client(port_);
  client.Send("GET /s.css HTTP/1.1\r\n\r\nGET /missing HTTP/1.1\r\n\r\n");
  std::string replies = client.ReadAll(500);
  EXPECT_FALSE(client.closed());
  EXPECT_NE(replies.find("\r\n\r\ns" + std::string("HTTP/1.1 404")), std::string::npos) << replies;
  // A handler on the same connection closes it.
  client.Send("GET /echo HTTP/1.1\r\n\r\n");
  client.ReadAll();
  EXPECT_TRUE(client.closed());

  for (const char* request : {"GET /s.css HTTP/1.0\r\n\r\n", "GET /s.css HTTP/1.1\r\nConnection: close\r\n\r\n",
                              "GET /s.css\r\n\r\n", "POST /s.css HTTP/1.1\r\n\r\n"}) {
    bool closed = false;
    std::string reply = Exchange(port_, request, &closed);
    EXPECT_EQ(Body(reply), "s") << request;
    EXPECT_TRUE(closed) << request;
  }
}

TEST_F(WebletTest, MissingHostGetsThePublicAddress)
{
  char address[260];
  LIPGetLocalHostIPPublic(address);
  std::string body = Body(Exchange(port_, "GET /echo HTTP/1.0\r\n\r\n"));
  EXPECT_NE(body.find(std::string("host=") + address + "\n"), std::string::npos) << body;
  body = Body(Exchange(port_, "GET /echo HTTP/1.0\r\nHost:\r\n\r\n"));
  EXPECT_NE(body.find(std::string("host=") + address + "\n"), std::string::npos) << body;
}

TEST_F(WebletTest, PageOutput)
{
  std::string reply = Get("/page");
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-cache\r\n"
                        "Content-Type: text/html; charset=utf-8\r\n\r\n<html><head><title>Velorin</title>",
                        0),
            0u);
  EXPECT_NE(reply.find("<script type=text/javascript><!--\r\nfunction IsIE() {return "
                       "(navigator.userAgent.indexOf(\"IE\") != -1);}//-->\r\n</script></head>"),
            std::string::npos)
      << reply;
  EXPECT_NE(reply.find("<div class=noprint>T<i></div></td></tr>"), std::string::npos);
  EXPECT_NE(reply.find("[007|-005|12345|a&lt;b &amp; &quot;c&quot;|a%20b%2Fc||%]"), std::string::npos) << reply;
  EXPECT_EQ(reply.substr(reply.size() - 14), "</body></html>");

  EXPECT_EQ(Get("/redirect"), "HTTP/1.0 302 OK\r\nLocation: http://example/next\r\n\r\n");
  std::string out = Curl("-o /dev/null -w '%{http_code} %{redirect_url}' " + server_->Url("/redirect"));
  EXPECT_EQ(out, "302 http://example/next");
}

TEST(WebletPort, DefaultAndSixteenBits)
{
  LSettingSetInt("WebServer", "Port", 0);
  EXPECT_EQ(LWebletServer::GetWebletServerPort(), 1085);
  LWebletServer::SetWebletServerPort(8080);
  EXPECT_EQ(LWebletServer::GetWebletServerPort(), 8080);
  LSettingSetInt("WebServer", "Port", 65536 + 1085 + 1);
  EXPECT_EQ(LWebletServer::GetWebletServerPort(), 1086);
  LSettingSetInt("WebServer", "Port", 65536);  // 0 in 16 bits: the default
  EXPECT_EQ(LWebletServer::GetWebletServerPort(), 1085);
}

TEST(WebletPort, BindConflictIsLogged)
{
  unsigned short port = FreePort();
  int blocker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(blocker, 1), 0);
  LWebletServer::SetWebletServerPort(port);
  LWebletServer server;
  server.StartServer(kTable, std::size(kTable), SessionFolder().c_str());
  std::string expected = "Some other program may be using port " + std::to_string(port) + ".";
  std::string log;
  for (int i = 0; i < 100 && log.find(expected) == std::string::npos; ++i) {
    usleep(20000);
    log = Shell(std::string("cat '") + gLLog.GetLogFolder() + "'/*.txt 2>/dev/null");
  }
  EXPECT_NE(log.find("Webserver cannot bind to TCP/IP port.\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(expected), std::string::npos) << log;
  auto start = std::chrono::steady_clock::now();
  server.StopServer();  // the listener sits in its 30 s retry wait
  EXPECT_LT(Milliseconds(start), 1000);
  close(blocker);
}
