// Load client for live MP3 streams: opens N listeners on one URL from a single
// epoll thread, reads for a set time and checks that every listener got an
// unbroken MP3 stream without stalls or disconnects.  Given the server's PID
// it also reports the server's CPU time per listener-second and its resident
// memory per listener.
//
//   listeners --url http://127.0.0.1:18000/velorin.mp3?src=1&kbps=56 -n 2000
//             [--rate 500] [--duration 60] [--pid PID] [--stall 2]
//             [--connect-timeout 30] [--label NAME]
//
// Prints one key=value line and one line for people; exits 0 when every
// listener was clean, 1 when some were not, 2 on bad arguments or setup.

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <time.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "base/uniquefd.h"
#include "listener.h"
#include "procstats.h"

namespace {

struct Options {
  std::string url;
  std::string label = "server";
  long listeners = 100;
  double rate = 500;  // connections opened per second; 0 opens all at once
  double duration = 60;
  double stall = 2;
  double connectTimeout = 30;  // a listen backlog overflow costs SYN retries of 1, 3, 7, 15 s
  long pid = 0;
};

struct OptionRow {
  const char* name;
  const char* alias;
  std::string Options::*text;
  long Options::*integer;
  double Options::*real;
};

const OptionRow kOptionTable[] = {
    {"--url", nullptr, &Options::url, nullptr, nullptr},
    {"--label", nullptr, &Options::label, nullptr, nullptr},
    {"--listeners", "-n", nullptr, &Options::listeners, nullptr},
    {"--pid", nullptr, nullptr, &Options::pid, nullptr},
    {"--rate", nullptr, nullptr, nullptr, &Options::rate},
    {"--duration", nullptr, nullptr, nullptr, &Options::duration},
    {"--stall", nullptr, nullptr, nullptr, &Options::stall},
    {"--connect-timeout", nullptr, nullptr, nullptr, &Options::connectTimeout},
};

bool ParseOptions(int argc, char** argv, Options& options)
{
  for (int i = 1; i < argc; ++i) {
    const OptionRow* row = nullptr;
    for (const OptionRow& r : kOptionTable)
      if (std::strcmp(argv[i], r.name) == 0 || (r.alias && std::strcmp(argv[i], r.alias) == 0))
        row = &r;
    if (!row || i + 1 >= argc) {
      std::fprintf(stderr, "listeners: unknown option or missing value: %s\n", argv[i]);
      return false;
    }
    const char* value = argv[++i];
    char* end = nullptr;
    if (row->text) {
      options.*(row->text) = value;
      continue;
    }
    if (row->integer)
      options.*(row->integer) = std::strtol(value, &end, 10);
    else
      options.*(row->real) = std::strtod(value, &end);
    if (end == value || *end != '\0') {
      std::fprintf(stderr, "listeners: %s needs a number, not %s\n", row->name, value);
      return false;
    }
  }
  if (options.url.empty() || options.listeners < 1 || options.rate < 0 || options.duration <= 0 || options.stall <= 0 ||
      options.connectTimeout <= 0) {
    std::fprintf(stderr, "usage: listeners --url http://HOST[:PORT]/PATH [-n N] [--rate PER_S] [--duration S]\n"
                         "                 [--pid SERVER_PID] [--stall S] [--connect-timeout S] [--label NAME]\n");
    return false;
  }
  return true;
}

// Splits http://HOST[:PORT]/PATH.  Only loopback addresses are accepted: this
// client generates heavy traffic and must never aim it at another machine.
bool ParseUrl(const std::string& url, sockaddr_in& address, std::string& hostPort, std::string& path)
{
  static const std::string kScheme = "http://";
  if (url.compare(0, kScheme.size(), kScheme) != 0) {
    std::fprintf(stderr, "listeners: only http:// URLs: %s\n", url.c_str());
    return false;
  }
  const size_t slash = url.find('/', kScheme.size());
  hostPort = url.substr(kScheme.size(), slash == std::string::npos ? std::string::npos : slash - kScheme.size());
  path = slash == std::string::npos ? "/" : url.substr(slash);
  const size_t colon = hostPort.find(':');
  std::string host = hostPort.substr(0, colon);
  long port = 80;
  if (colon != std::string::npos) {
    char* end = nullptr;
    port = std::strtol(hostPort.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) {
      std::fprintf(stderr, "listeners: bad port in %s\n", url.c_str());
      return false;
    }
  }
  if (host == "localhost")
    host = "127.0.0.1";
  address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 || (ntohl(address.sin_addr.s_addr) >> 24) != 127) {
    std::fprintf(stderr, "listeners: host must be a loopback IPv4 address: %s\n", host.c_str());
    return false;
  }
  return true;
}

// Every listener holds a descriptor; a few more are needed for epoll and /proc.
bool RaiseFileLimit(long listeners)
{
  const rlim_t needed = rlim_t(listeners) + 64;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) < 0)
    return false;
  if (limit.rlim_cur >= needed)
    return true;
  limit.rlim_cur = needed;
  if (limit.rlim_max < needed)
    limit.rlim_max = needed;  // allowed for root only
  if (setrlimit(RLIMIT_NOFILE, &limit) < 0) {
    std::fprintf(stderr, "listeners: cannot raise the open-file limit to %lu: %s\n", (unsigned long)needed,
                 std::strerror(errno));
    return false;
  }
  return true;
}

int64_t NowNs()
{
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double ClientCpuSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(int64_t ns)
{
  return double(ns) / 1e9;
}

// What was measured over the window, for the report.
struct Window {
  int64_t startNs = 0;
  int64_t endNs = 0;
  int64_t connectedNs = 0;  // from the first connect until all were in
  uint64_t bytesAtStart = 0;
  uint64_t bytesAtEnd = 0;
  double clientCpuAtStart = 0;
  double clientCpuAtEnd = 0;
  LProcSample idle, atStart, atEnd;
};

class LoadRun {
public:
  LoadRun(const Options& options, const sockaddr_in& address, const std::string& request)
      : options_(options), address_(address), request_(request), listeners_(new LListener[size_t(options.listeners)])
  {
  }

  bool Run()
  {
    epoll_.Reset(epoll_create1(EPOLL_CLOEXEC));
    if (!epoll_.IsValid()) {
      std::fprintf(stderr, "listeners: epoll_create1: %s\n", std::strerror(errno));
      return false;
    }
    if (options_.pid > 0) {
      window_.idle = LReadProcSample(pid_t(options_.pid));
      if (!window_.idle.valid)
        std::fprintf(stderr, "listeners: cannot read /proc/%ld; server figures left out\n", options_.pid);
    }
    const int64_t firstNs = NowNs();
    const int64_t settleLimitNs = int64_t((options_.connectTimeout + 1) * 1e9);
    int64_t lastSweepNs = firstNs;
    int64_t allStartedNs = -1;
    const long n = options_.listeners;
    for (;;) {
      const int64_t now = NowNs();
      StartDue(now - firstNs, now);
      if (now - lastSweepNs >= 100000000) {
        SweepTimeouts(now);
        lastSweepNs = now;
      }
      if (started_ == n && allStartedNs < 0)
        allStartedNs = now;
      if (window_.startNs == 0 && allStartedNs >= 0 && (AllPastHeader() || now - allStartedNs > settleLimitNs)) {
        window_.connectedNs = now - firstNs;
        window_.startNs = now;
        window_.bytesAtStart = totalBytes_;
        window_.clientCpuAtStart = ClientCpuSeconds();
        if (options_.pid > 0)
          window_.atStart = LReadProcSample(pid_t(options_.pid));
        std::fprintf(stderr, "listeners: %ld started in %.1f s; measuring for %.0f s\n", n,
                     Seconds(window_.connectedNs), options_.duration);
      }
      if (window_.startNs != 0 && now - window_.startNs >= int64_t(options_.duration * 1e9))
        break;
      Poll(NextWaitMs(now - firstNs));
    }
    window_.endNs = NowNs();
    window_.bytesAtEnd = totalBytes_;
    window_.clientCpuAtEnd = ClientCpuSeconds();
    if (options_.pid > 0)
      window_.atEnd = LReadProcSample(pid_t(options_.pid));
    for (long i = 0; i < n; ++i)
      listeners_[i].End(window_.endNs);
    return true;
  }

  const Window& GetWindow() const { return window_; }
  const LListener& Get(long i) const { return listeners_[i]; }

private:
  // Opens the connections that are due by now at the configured rate.
  void StartDue(int64_t sinceFirstNs, int64_t now)
  {
    long due = options_.listeners;
    if (options_.rate > 0)
      due = std::min<long>(due, long(Seconds(sinceFirstNs) * options_.rate) + 1);
    for (; started_ < due; ++started_) {
      LListener& l = listeners_[started_];
      if (!l.Connect(address_, now))
        continue;
      epoll_event event{};
      event.events = EPOLLOUT;
      event.data.u64 = uint64_t(started_);
      if (epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, l.Fd(), &event) < 0)
        l.Fail(LListenerFault::kConnect, now);
    }
  }

  int NextWaitMs(int64_t sinceFirstNs) const
  {
    if (started_ < options_.listeners && options_.rate > 0) {
      const double next = double(started_) / options_.rate - Seconds(sinceFirstNs);
      return std::clamp(int(next * 1000), 0, 50);
    }
    return 50;
  }

  void Poll(int waitMs)
  {
    static constexpr int kEvents = 1024;
    epoll_event events[kEvents];
    const int count = epoll_wait(epoll_.Get(), events, kEvents, waitMs);
    const int64_t now = NowNs();
    for (int e = 0; e < count; ++e) {
      LListener& l = listeners_[long(events[e].data.u64)];
      if (l.GetPhase() == LListener::Phase::kConnecting) {
        if (!l.OnConnected(request_, now))
          continue;
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.u64 = events[e].data.u64;
        if (epoll_ctl(epoll_.Get(), EPOLL_CTL_MOD, l.Fd(), &event) < 0)
          l.Fail(LListenerFault::kConnect, now);
      } else if (l.GetPhase() == LListener::Phase::kHeader || l.GetPhase() == LListener::Phase::kStreaming) {
        totalBytes_ += l.OnReadable(buffer_, sizeof(buffer_), now);
      }
    }
  }

  void SweepTimeouts(int64_t now)
  {
    const int64_t limit = int64_t(options_.connectTimeout * 1e9);
    for (long i = 0; i < started_; ++i) {
      LListener& l = listeners_[i];
      const LListener::Phase phase = l.GetPhase();
      if (now - l.StartedNs() <= limit)
        continue;
      if (phase == LListener::Phase::kConnecting)
        l.Fail(LListenerFault::kConnectTimeout, now);
      else if (phase == LListener::Phase::kHeader)
        l.Fail(LListenerFault::kHeaderTimeout, now);
    }
  }

  bool AllPastHeader() const
  {
    for (long i = 0; i < started_; ++i) {
      const LListener::Phase phase = listeners_[i].GetPhase();
      if (phase == LListener::Phase::kConnecting || phase == LListener::Phase::kHeader)
        return false;
    }
    return true;
  }

  const Options& options_;
  const sockaddr_in address_;
  const std::string request_;
  std::unique_ptr<LListener[]> listeners_;
  LUniqueFD epoll_;
  long started_ = 0;
  uint64_t totalBytes_ = 0;
  Window window_;
  unsigned char buffer_[65536];
};

const char* const kFaultNames[] = {"none",           "connect",    "connect_timeout",
                                   "header_timeout", "bad_header", "disconnected"};
constexpr int kFaults = int(std::size(kFaultNames));
static_assert(kFaults == int(LListenerFault::kDisconnected) + 1, "one name per fault");

struct Tally {
  long clean = 0;
  long faultCount[kFaults] = {};
  long stalled = 0;
  long frameFaulty = 0;  // lost frame sync at least once
  long noSync = 0;       // data that never formed MP3 frames
  long unaligned = 0;    // first byte was not a frame start
  uint64_t frameFaults = 0;
  int64_t maxGapNs = 0;
  int64_t maxHeaderNs = 0;
  int64_t maxFirstDataNs = 0;
  long worst = 0;
};

bool IsClean(const LListener& l, int64_t stallNs)
{
  return l.Fault() == LListenerFault::kNone && l.MaxGapNs() <= stallNs && l.Frames().Synced() &&
         l.Frames().Faults() == 0;
}

// Worse means: not clean before clean, then more frame faults, then the longer stall.
bool Worse(const LListener& a, const LListener& b, int64_t stallNs)
{
  const bool cleanA = IsClean(a, stallNs), cleanB = IsClean(b, stallNs);
  if (cleanA != cleanB)
    return !cleanA;
  if (a.Frames().Faults() != b.Frames().Faults())
    return a.Frames().Faults() > b.Frames().Faults();
  return a.MaxGapNs() > b.MaxGapNs();
}

Tally Count(const LoadRun& run, const Options& options)
{
  const int64_t stallNs = int64_t(options.stall * 1e9);
  Tally t;
  for (long i = 0; i < options.listeners; ++i) {
    const LListener& l = run.Get(i);
    const LMp3FrameChecker& frames = l.Frames();
    t.clean += IsClean(l, stallNs);
    ++t.faultCount[int(l.Fault())];
    t.stalled += l.MaxGapNs() > stallNs;
    t.frameFaulty += frames.Faults() > 0;
    t.noSync += l.Fault() == LListenerFault::kNone && !frames.Synced();
    t.unaligned += frames.Synced() && !frames.Aligned();
    t.frameFaults += frames.Faults();
    t.maxGapNs = std::max(t.maxGapNs, l.MaxGapNs());
    t.maxHeaderNs = std::max(t.maxHeaderNs, l.HeaderNs());
    t.maxFirstDataNs = std::max(t.maxFirstDataNs, l.FirstDataNs());
    if (Worse(l, run.Get(t.worst), stallNs))
      t.worst = i;
  }
  return t;
}

void Report(const LoadRun& run, const Options& options)
{
  const Tally t = Count(run, options);
  const Window& w = run.GetWindow();
  const LListener& worst = run.Get(t.worst);
  const double seconds = Seconds(w.endNs - w.startNs);
  const double bytesPerSecond = double(w.bytesAtEnd - w.bytesAtStart) / seconds;
  const double listenerKbps = bytesPerSecond * 8 / 1000 / double(options.listeners);
  const double clientCpu = (w.clientCpuAtEnd - w.clientCpuAtStart) / seconds * 100;

  std::printf("label=%s n=%ld clean=%ld", options.label.c_str(), options.listeners, t.clean);
  for (int f = 1; f < kFaults; ++f)
    std::printf(" %s=%ld", kFaultNames[f], t.faultCount[f]);
  std::printf(" stalled=%ld frame_faulty=%ld frame_faults=%" PRIu64 " no_sync=%ld unaligned=%ld", t.stalled,
              t.frameFaulty, t.frameFaults, t.noSync, t.unaligned);
  std::printf(" worst_id=%ld worst_fault=%s worst_errno=%d worst_stall_ms=%.0f worst_frame_faults=%" PRIu64, t.worst,
              kFaultNames[int(worst.Fault())], worst.SocketErrno(), double(worst.MaxGapNs()) / 1e6,
              worst.Frames().Faults());
  std::printf(" max_stall_ms=%.0f max_header_ms=%.0f max_first_data_ms=%.0f connect_s=%.2f window_s=%.2f"
              " bytes_per_s=%.0f listener_kbps=%.2f client_cpu_pct=%.1f",
              double(t.maxGapNs) / 1e6, double(t.maxHeaderNs) / 1e6, double(t.maxFirstDataNs) / 1e6,
              Seconds(w.connectedNs), seconds, bytesPerSecond, listenerKbps, clientCpu);
  const bool server = w.idle.valid && w.atStart.valid && w.atEnd.valid;
  double cpuUs = 0, rssPer = 0;
  if (server) {
    cpuUs = (w.atEnd.cpuSeconds - w.atStart.cpuSeconds) * 1e6 / (double(options.listeners) * seconds);
    rssPer = double(w.atEnd.rssKiB - w.idle.rssKiB) / double(options.listeners);
    std::printf(" server_cpu_s=%.2f cpu_us_per_listener_s=%.2f rss_idle_kb=%ld rss_kb=%ld rss_per_listener_kb=%.2f",
                w.atEnd.cpuSeconds - w.atStart.cpuSeconds, cpuUs, w.idle.rssKiB, w.atEnd.rssKiB, rssPer);
  } else if (options.pid > 0) {
    std::printf(" server_gone=1");
  }
  std::printf("\n");

  std::printf("%s: %ld of %ld listeners clean over %.1f s (connect failed %ld, connect timed out %ld, header timed "
              "out %ld, bad header %ld, disconnected %ld, stalled %ld, frame sync lost %ld, no MP3 %ld); %ld started "
              "mid-frame.\n",
              options.label.c_str(), t.clean, options.listeners, seconds, t.faultCount[1], t.faultCount[2],
              t.faultCount[3], t.faultCount[4], t.faultCount[5], t.stalled, t.frameFaulty, t.noSync, t.unaligned);
  std::printf("%s: worst listener #%ld: %s, longest stall %.2f s, %" PRIu64 " frame faults; slowest header "
              "%.2f s; %.0f kB/s in all, %.1f kbit/s per listener; client CPU %.0f%%.\n",
              options.label.c_str(), t.worst, kFaultNames[int(worst.Fault())], double(worst.MaxGapNs()) / 1e9,
              worst.Frames().Faults(), double(t.maxHeaderNs) / 1e9, bytesPerSecond / 1000, listenerKbps, clientCpu);
  if (server)
    std::printf("%s: server CPU %.2f us per listener-second; RSS %ld KiB idle, %ld KiB loaded, %.2f KiB per "
                "listener.\n",
                options.label.c_str(), cpuUs, w.idle.rssKiB, w.atEnd.rssKiB, rssPer);
}

}  // namespace

int main(int argc, char** argv)
{
  Options options;
  if (!ParseOptions(argc, argv, options))
    return 2;
  sockaddr_in address{};
  std::string hostPort, path;
  if (!ParseUrl(options.url, address, hostPort, path) || !RaiseFileLimit(options.listeners))
    return 2;
  const std::string request =
      "GET " + path + " HTTP/1.0\r\nHost: " + hostPort + "\r\nUser-Agent: velorin-listeners\r\n\r\n";
  // The listener table is large: keep it off the stack.
  auto run = std::make_unique<LoadRun>(options, address, request);
  if (!run->Run())
    return 2;
  Report(*run, options);
  std::fflush(stdout);
  return Count(*run, options).clean == options.listeners ? 0 : 1;
}
