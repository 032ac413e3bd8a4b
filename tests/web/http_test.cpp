// The HTTP client against a scripted server: the exact request, and the file every kind of answer leaves.
#include "web/http.h"

#include "common/files.h"
#include "web/httpserver.h"

#include <gtest/gtest.h>
#include <vector>

using httptest::Answer;
using httptest::Pattern;
using httptest::Script;
using httptest::Server;

namespace {

// A progress dialog: records every value and asks to stop once it reaches stopAt.
struct ProgressProbe {
  std::vector<double> progress;
  double stopAt = 2.0;
  bool IsToStop() const { return !progress.empty() && progress.back() >= stopAt; }
  void SetProgress(double value) { progress.push_back(value); }
};

class HttpTest : public ::testing::Test {
protected:
  int Download(const std::string& url, ProgressProbe& probe)
  {
    return ProcessHTTPDownloadFile(probe, url.c_str(), path_.c_str());
  }
  TempFolder folder_;
  std::string path_ = folder_ / "download.bin";
};

TEST_F(HttpTest, EveryAnswerLeavesItsFile)
{
  // The answer, the result, and what is left at the path, which held old content.
  const std::string body = Pattern(5000), missing = "<missing>", old = "old content";
  const std::tuple<std::string, int, std::string> cases[] = {
      {Answer("HTTP/1.0 200 OK", "Content-Length: 10  \r\n", body), 0, body.substr(0, 10)},
      {Answer("HTTP/1.0 200 OK", "Content-Type: x\r\n", body), 0, body},    // no length: to the close
      {Answer("http/1.0 200 ok", "content-length: 3\r\n", body), 0, body},  // the exact spelling only
      {Answer("HTTP/1.0 302 Found", "Location: /elsewhere\r\nContent-Length: 4\r\n", "move"), 0, "move"},
      {Answer("HTTP/1.1 204 No Content", "Content-Length: 4\r\n", "body"), 0, "body"},
      {Answer("HTTP/1.0 399 X", "Content-Length: 4\r\n", "body"), 0, "body"},
      // A refused status fails before the file is opened.
      {"HTTP/1.0 199 X\r\n\r\nbody", 2, old},
      {"HTTP/1.0 400 Bad\r\n\r\nbody", 2, old},
      {"HTTP/1.0 20\r\n\r\n", 2, old},
      {"HTTP/1.0 500 Error\r\n\r\n", 2, old},
      {"HTTP/1.0 2x0 OK\r\n\r\n", 2, old},
      {"ICY 200 OK\r\n\r\n", 2, old},
      // A download that began and failed leaves no file at all.
      {Answer("HTTP/1.0 200 OK", "Content-Length: 3000\r\n", Pattern(2000)), 2, missing},
      {"HTTP/1.0 200 OK\r\nServer: test\r\n", 2, missing},
      {"HTTP/1.0 200 OK\r\n", 2, missing},
      {Answer("HTTP/1.0 200 OK", "Content-Length: 12abc\r\n", "0123456789ab"), 2, missing},
      {Answer("HTTP/1.0 200 OK", "Content-Length: -5\r\n", "data"), 2, missing},
      {Answer("HTTP/1.0 200 OK", "Content-Length: \r\n", "data"), 2, missing},
      {Answer("HTTP/1.0 200 OK", "Content-Length: 99999999999999999999999\r\n", "data"), 2, missing}};
  for (const auto& [answer, result, file] : cases) {
    SCOPED_TRACE(answer.substr(0, 60));
    WriteWhole(path_, old);
    Server server(Script{.reply = answer});
    ProgressProbe probe;
    EXPECT_EQ(Download(server.Url("/f"), probe), result);
    EXPECT_EQ(ReadWhole(path_), file);
    EXPECT_FALSE(server.AnotherConnectionPending()) << "a redirect is not followed";
  }
}

TEST_F(HttpTest, UnusableTargetsAndStops)
{
  ProgressProbe probe;
  EXPECT_EQ(Download("http://127.0.0.1:" + std::to_string(nettest::FreePort()) + "/f", probe), 2);
  Server server(Script{.reply = Answer("HTTP/1.0 200 OK", "Content-Length: 2\r\n", "ok")});
  // Longer than a 260-byte text: cutting it would ask for another path.
  const std::string longUrl = server.Url("/" + std::string(300, 'a'));
  EXPECT_EQ(Download(longUrl, probe), 2);
  EXPECT_EQ(ProcessHTTPPostForm(probe, longUrl.c_str(), "a=b", 2000), 2);
  EXPECT_FALSE(server.AnotherConnectionPending());
  EXPECT_EQ(ProcessHTTPDownloadFile(probe, server.Url("/f").c_str(), (folder_ / "missing/f.bin").c_str()), 2);
  EXPECT_FALSE(Exists(path_));

  // A stop at the first piece past a fifth ends the download and removes the file.
  Server slow(Script{.reply = Answer("HTTP/1.0 200 OK", "Content-Length: 100000\r\n", Pattern(50000)),
                     .closeAfterReply = false});
  ProgressProbe stopping;
  stopping.stopAt = 0.2;
  EXPECT_EQ(Download(slow.Url("/f"), stopping), 1);
  EXPECT_FALSE(Exists(path_));
  EXPECT_LT(stopping.progress.back(), 0.2 + 1028.0 / 100000 * 1.5);
}

TEST_F(HttpTest, FormPostArrivesByteExact)
{
  Server server(Script{.reply = "HTTP/1.0 200 OK\r\n\r\nthanks"});
  LProcessInterfaceVoid plain;
  ASSERT_EQ(ProcessHTTPPostForm(plain, server.Url("").c_str(), "a=b&c=%20", 5000), 0);
  server.Join();
  EXPECT_EQ(server.Received(),
            "POST / HTTP/1.0\r\nHost: " + server.HostPort() +
                "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 9\r\n\r\na=b&c=%20");
}

}  // namespace
