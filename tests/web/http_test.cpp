#include "web/http.h"

#include "base/ticks.h"
#include "web/httpserver.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using httptest::Answer;
using httptest::Pattern;
using httptest::Script;
using httptest::Server;

namespace {

// A progress dialog's side of the process interface: records every
// progress value and asks to stop once the progress reaches stopAt.
struct ProgressProbe {
  std::vector<double> progress;
  double stopAt = 2.0;
  bool stop = false;
  bool IsToStop() const { return stop; }
  void SetProgress(double value)
  {
    progress.push_back(value);
    if (value >= stopAt)
      stop = true;
  }
};

class HttpTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    char folder[] = "/tmp/httpXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/download.bin";
  }

  bool FileExists() const
  {
    struct stat st;
    return stat(path_.c_str(), &st) == 0;
  }
  std::string FileText() const
  {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void WriteFile(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

  int Download(const std::string& url, ProgressProbe& probe)
  {
    return ProcessHTTPDownloadFile(probe, url.c_str(), path_.c_str());
  }
  // The answer of one server to GET /f, with the file's fate checked by the caller.
  int DownloadAnswer(const std::string& answer)
  {
    Server server(Script{.reply = answer});
    ProgressProbe probe;
    return Download(server.Url("/f"), probe);
  }

  std::string folder_;
  std::string path_;
};

TEST_F(HttpTest, DownloadWithLengthStoresTheBodyAndReportsEachPiece)
{
  // Piece boundaries: nothing, one byte, exactly one piece, one byte into
  // the second, and 1028 + 1028 + 944.
  for (size_t size : {0u, 1u, 1028u, 1029u, 3000u}) {
    SCOPED_TRACE(size);
    std::string body = Pattern(size);
    Server server(Script{.reply = Answer("HTTP/1.0 200 OK",
                                         "Server: test\r\nContent-Length: " + std::to_string(size) + "\r\n", body)});
    ProgressProbe probe;
    ASSERT_EQ(Download(server.Url("/dl/file.bin"), probe), 0);
    server.Join();
    EXPECT_EQ(server.Received(), "GET /dl/file.bin HTTP/1.0\r\nHost: " + server.HostPort() + "\r\n\r\n");
    EXPECT_EQ(FileText(), body);
    ASSERT_EQ(probe.progress.size(), 1 + (size + 1027) / 1028);
    EXPECT_EQ(probe.progress.front(), 0.0);
    for (size_t i = 1; i < probe.progress.size(); ++i)
      EXPECT_GT(probe.progress[i], probe.progress[i - 1]);
    // The last, shorter piece adds a whole step; the value shown stays full.
    if (size > 0) {
      EXPECT_EQ(probe.progress.back(), 1.0);
    }
  }
}

TEST_F(HttpTest, DownloadStopsAtTheAnnouncedLength)
{
  std::string body = Pattern(20);
  ASSERT_EQ(DownloadAnswer(Answer("HTTP/1.0 200 OK", "Content-Length: 10  \r\n", body)), 0);
  EXPECT_EQ(FileText(), body.substr(0, 10));
}

TEST_F(HttpTest, DownloadWithoutLengthRunsToTheServersClose)
{
  std::string body = Pattern(5000);
  {
    Server server(Script{.reply = Answer("HTTP/1.0 200 OK", "Content-Type: x\r\n", body)});
    ProgressProbe probe;
    ASSERT_EQ(Download(server.Url("/f"), probe), 0);
    EXPECT_EQ(FileText(), body);
    EXPECT_EQ(probe.progress, std::vector<double>{0.0});
  }
  // The length header is matched with its exact spelling only: a lower-case
  // one leaves the body running to the close.  And an interface without
  // progress works as well.
  {
    Server server(Script{.reply = Answer("http/1.0 200 ok", "content-length: 3\r\n", body)});
    LProcessInterfaceVoid plain;
    ASSERT_EQ(ProcessHTTPDownloadFile(plain, server.Url("/f").c_str(), path_.c_str()), 0);
    EXPECT_EQ(FileText(), body);
  }
}

TEST_F(HttpTest, StatusLineDecidesBeforeTheFileIsTouched)
{
  struct Case {
    const char* status;
    int result;
  };
  const Case cases[] = {
      {"http/1.0 200 OK", 0},   {"HTTP/1.1 204 No Content", 0}, {"HTTP/1.0 399 X", 0},
      {"HTTP/1.0 199 X", 2},    {"HTTP/1.0 400 Bad", 2},        {"HTTP/1.0 404 Not Found", 2},
      {"HTTP/1.0 500 Error", 2}, {"HTTP/1.0 20", 2},            {"HTTP/1.0 2x0 OK", 2},
      {"ICY 200 OK", 2},         {"", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    WriteFile("old content");
    EXPECT_EQ(DownloadAnswer(Answer(c.status, "Content-Length: 4\r\n", "body")), c.result);
    // A refused answer fails before the file is opened, so what was there stays.
    EXPECT_EQ(FileText(), c.result == 0 ? "body" : "old content");
  }
}

TEST_F(HttpTest, RedirectBodyIsStoredAndNotFollowed)
{
  std::string moved = "<a href=\"/elsewhere\">moved</a>";
  Server server(Script{.reply = Answer("HTTP/1.0 302 Found",
                                       "Location: /elsewhere\r\nContent-Length: " + std::to_string(moved.size()) +
                                           "\r\n",
                                       moved)});
  ProgressProbe probe;
  ASSERT_EQ(Download(server.Url("/f"), probe), 0);
  EXPECT_EQ(FileText(), moved);
  EXPECT_FALSE(server.AnotherConnectionPending());
}

TEST_F(HttpTest, BareHostUrlAsksForTheRoot)
{
  Server server(Script{.reply = Answer("HTTP/1.0 200 OK", "Content-Length: 2\r\n", "ok")});
  ProgressProbe probe;
  ASSERT_EQ(Download("http://" + server.HostPort(), probe), 0);
  server.Join();
  EXPECT_EQ(server.Received(), "GET / HTTP/1.0\r\nHost: " + server.HostPort() + "\r\n\r\n");
}

TEST_F(HttpTest, FailedDownloadLeavesNoFile)
{
  ProgressProbe probe;
  std::string refused = "http://127.0.0.1:" + std::to_string(nettest::FreePort()) + "/f";
  EXPECT_EQ(Download(refused, probe), 2);
  EXPECT_FALSE(FileExists());

  struct Case {
    const char* what;
    std::string answer;
  };
  const Case cases[] = {
      {"body shorter than its length", Answer("HTTP/1.0 200 OK", "Content-Length: 3000\r\n", Pattern(2000))},
      {"head broken off", "HTTP/1.0 200 OK\r\nServer: test\r\n"},
      {"no head at all", "HTTP/1.0 200 OK\r\n"},
      {"length with junk", Answer("HTTP/1.0 200 OK", "Content-Length: 12abc\r\n", "0123456789ab")},
      {"negative length", Answer("HTTP/1.0 200 OK", "Content-Length: -5\r\n", "data")},
      {"empty length", Answer("HTTP/1.0 200 OK", "Content-Length: \r\n", "data")},
      {"length beyond 64 bits", Answer("HTTP/1.0 200 OK", "Content-Length: 99999999999999999999999\r\n", "data")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A file that was there is gone too: it was emptied when the download began.
    WriteFile("old content");
    EXPECT_EQ(DownloadAnswer(c.answer), 2);
    EXPECT_FALSE(FileExists());
  }
}

TEST_F(HttpTest, UnusableUrlOrTargetFails)
{
  Server server(Script{.reply = Answer("HTTP/1.0 200 OK", "Content-Length: 2\r\n", "ok")});
  ProgressProbe probe;
  // Longer than a 260-byte text: cutting it would ask for another path.
  std::string longUrl = server.Url("/" + std::string(300, 'a'));
  EXPECT_EQ(Download(longUrl, probe), 2);
  EXPECT_EQ(ProcessHTTPPostForm(probe, longUrl.c_str(), "a=b", 2000), 2);
  EXPECT_FALSE(server.AnotherConnectionPending());

  std::string url = server.Url("/f");
  EXPECT_EQ(ProcessHTTPDownloadFile(probe, url.c_str(), (folder_ + "/missing/f.bin").c_str()), 2);
  EXPECT_FALSE(FileExists());
}

TEST_F(HttpTest, FileThatCannotTakeTheBodyFailsAndIsRemoved)
{
  // The file size limit makes writes past 4 KiB fail (EFBIG instead of the
  // signal), as a full disk would.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int withLength = DownloadAnswer(Answer("HTTP/1.0 200 OK", "Content-Length: 10000\r\n", Pattern(10000)));
  bool leftWithLength = FileExists();
  int toClose = DownloadAnswer(Answer("HTTP/1.0 200 OK", "", Pattern(10000)));
  bool leftToClose = FileExists();
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(withLength, 2);
  EXPECT_FALSE(leftWithLength);
  EXPECT_EQ(toClose, 2);
  EXPECT_FALSE(leftToClose);
}

TEST_F(HttpTest, StopMidwayEndsTheDownloadAndRemovesTheFile)
{
  Server server(Script{.reply = Answer("HTTP/1.0 200 OK", "Content-Length: 100000\r\n", Pattern(50000)),
                       .closeAfterReply = false});
  ProgressProbe probe;
  probe.stopAt = 0.2;
  uint32_t start = GetTickCount();
  EXPECT_EQ(Download(server.Url("/f"), probe), 1);
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_FALSE(FileExists());
  // The stop came at the first piece past a fifth, not later.
  EXPECT_LT(probe.progress.back(), 0.2 + 1028.0 / 100000 * 1.5);
}

// The idle time-outs: each case waits out its whole time-out.
TEST_F(HttpTest, SilentServerBeforeTheStatusLineTimesOut)
{
  Server server(Script{.closeAfterReply = false});
  ProgressProbe probe;
  uint32_t start = GetTickCount();
  EXPECT_EQ(Download(server.Url("/f"), probe), 2);
  uint32_t took = GetTickCount() - start;
  EXPECT_GE(took, 9500u);
  EXPECT_LT(took, 12000u);
  EXPECT_FALSE(FileExists());
}

TEST_F(HttpTest, StalledBodyTimesOutWithOrWithoutLength)
{
  for (std::string headers : {"Content-Length: 5000\r\n", ""}) {
    SCOPED_TRACE(headers);
    Server server(Script{.reply = Answer("HTTP/1.0 200 OK", headers, Pattern(2000)), .closeAfterReply = false});
    ProgressProbe probe;
    uint32_t start = GetTickCount();
    // Without a length too: a server that falls silent has not ended its body.
    EXPECT_EQ(Download(server.Url("/f"), probe), 2);
    uint32_t took = GetTickCount() - start;
    EXPECT_GE(took, 7000u);
    EXPECT_LT(took, 9500u);
    EXPECT_FALSE(FileExists());
  }
}

TEST_F(HttpTest, FormPostArrivesByteExact)
{
  struct Case {
    std::string path;
    std::string sentPath;
    std::string body;
  };
  const Case cases[] = {
      {"/report/install.php", "/report/install.php", "ver=1.0&os=Linux%20x86&ok=1"},
      {"", "/", "a=b"},
      {"/empty", "/empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Server server(Script{.reply = "HTTP/1.0 200 OK\r\n\r\nthanks"});
    LProcessInterfaceVoid plain;
    ASSERT_EQ(ProcessHTTPPostForm(plain, server.Url(c.path).c_str(), c.body.c_str(), 5000), 0);
    server.Join();
    EXPECT_EQ(server.Received(), "POST " + c.sentPath + " HTTP/1.0\r\nHost: " + server.HostPort() +
                                     "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                     std::to_string(c.body.size()) + "\r\n\r\n" + c.body);
  }
}

TEST_F(HttpTest, FormPostKeepsItsBodyWhenTheAnswerComesEarly)
{
  // The server answers at once and reads the body only later through a
  // small receive buffer, so most of the body is still queued at the client
  // when the answer is already waiting there unread.
  std::string body = "data=" + std::string(2 * 1024 * 1024, 'x');
  Server server(Script{.reply = "HTTP/1.0 200 OK\r\n\r\n", .replyBeforeBody = true, .receiveBuffer = 8192});
  LProcessInterfaceVoid plain;
  ASSERT_EQ(ProcessHTTPPostForm(plain, server.Url("/p").c_str(), body.c_str(), 5000), 0);
  server.Join();
  const std::string& got = server.Received();
  ASSERT_GE(got.size(), body.size());
  EXPECT_EQ(got.size() - got.find("\r\n\r\n") - 4, body.size());
  EXPECT_EQ(got.substr(got.size() - body.size()), body);
}

TEST_F(HttpTest, FormPostFailuresAndTimeOuts)
{
  LProcessInterfaceVoid plain;
  std::string refused = "http://127.0.0.1:" + std::to_string(nettest::FreePort()) + "/p";
  EXPECT_EQ(ProcessHTTPPostForm(plain, refused.c_str(), "a=b", 2000), 2);

  // A server that never reads: the sends back up and the caller's time-out ends them.
  {
    std::string body(16 * 1024 * 1024, 'x');
    Server server(Script{.readRequest = false, .sleepAfterReplyMs = 2500, .receiveBuffer = 4096});
    uint32_t start = GetTickCount();
    EXPECT_EQ(ProcessHTTPPostForm(plain, server.Url("/p").c_str(), body.c_str(), 1000), 2);
    EXPECT_LT(GetTickCount() - start, 4000u);
  }
  // A server that takes the post but keeps the connection open: the close
  // waits at most 5 s for it and the post still counts as sent.
  {
    Server server(Script{.sleepAfterReplyMs = 6500});
    uint32_t start = GetTickCount();
    EXPECT_EQ(ProcessHTTPPostForm(plain, server.Url("/p").c_str(), "a=b", 2000), 0);
    uint32_t took = GetTickCount() - start;
    EXPECT_GE(took, 4800u);
    EXPECT_LT(took, 6400u);
  }
  // The caller's stop ends the post, here while it waits for the close.
  {
    Server server(Script{.sleepAfterReplyMs = 3000});
    nettest::StopAfter stopLater(3);
    EXPECT_EQ(ProcessHTTPPostForm(stopLater, server.Url("/p").c_str(), "a=b", 2000), 1);
  }
}

} // namespace
