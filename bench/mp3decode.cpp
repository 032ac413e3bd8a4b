// Decoding speed of the MP3 reader against libmpg123 on the same 5-minute 128 kbit/s stereo file
// (made with ffmpeg and lame in a temporary folder). Prints both as multiples of real time (audio
// duration over the decoding thread's CPU time) and their ratio.

#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "sound/mp3.h"

namespace {

const double kSeconds = 300.0;

struct TestFile {
  std::string dir;
  std::string path;

  TestFile()
  {
    char tmpl[] = "/tmp/mp3benchXXXXXX";
    if (!mkdtemp(tmpl))
      return;
    dir = tmpl;
    std::string wav = dir + "/in.wav";
    path = dir + "/in.mp3";
    // Pink noise under a chord with a slow tremolo: every sub-band busy, as in music.
    std::string make =
        "ffmpeg -v error -y -f lavfi -i 'anoisesrc=color=pink:amplitude=0.15:d=300' "
        "-f lavfi -i 'aevalsrc=0.2*sin(2*PI*220*t)*(1+0.5*sin(2*PI*0.5*t))"
        "+0.1*sin(2*PI*277*t)+0.1*sin(2*PI*330*t)|0.2*sin(2*PI*330*t)+0.1*sin(2*PI*440*t):d=300:s=44100' "
        "-filter_complex amix=inputs=2:normalize=0 -ar 44100 -ac 2 '" +
        wav +
        "' && "
        "lame --quiet -b 128 '" +
        wav + "' '" + path + "'";
    if (system(make.c_str()) != 0)
      path.clear();
  }
  ~TestFile()
  {
    if (!dir.empty())
      (void)!system(("rm -rf '" + dir + "'").c_str());
  }
};

TestFile& File()
{
  static TestFile file;
  return file;
}

// CPU time of this thread: the machine may be shared, and waiting for a core is not decoding time.
double ThreadSeconds()
{
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double gOurs = 0.0;
double gPeer = 0.0;

void Report(benchmark::State& state, double seconds, double& best)
{
  double perRun = seconds / (double)state.iterations();
  if (best == 0.0 || perRun < best)
    best = perRun;
  state.counters["x_realtime"] = kSeconds / perRun;
}

void Velorin(benchmark::State& state)
{
  if (File().path.empty()) {
    state.SkipWithError("no test file");
    return;
  }
  std::vector<int> buffer(8192 * 2);
  double total = 0.0;
  for (auto _ : state) {
    double t0 = ThreadSeconds();
    LSoundSource source = LMP3File::OpenSource(File().path.c_str());
    long long sum = 0;
    while (source.Read(buffer.data(), 8192) > 0)
      sum += buffer[100];
    benchmark::DoNotOptimize(sum);
    total += ThreadSeconds() - t0;
  }
  Report(state, total, gOurs);
}

void Mpg123(benchmark::State& state)
{
  if (File().path.empty()) {
    state.SkipWithError("no test file");
    return;
  }
  std::vector<unsigned char> buffer(8192 * 4);
  double total = 0.0;
  for (auto _ : state) {
    double t0 = ThreadSeconds();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    long long sum = 0;
    if (mpg123_open(h, File().path.c_str()) == MPG123_OK) {
      size_t done = 0;
      int err;
      while ((err = mpg123_read(h, buffer.data(), buffer.size(), &done)) == MPG123_OK || err == MPG123_NEW_FORMAT)
        sum += buffer[100];
      mpg123_close(h);
    }
    mpg123_delete(h);
    benchmark::DoNotOptimize(sum);
    total += ThreadSeconds() - t0;
  }
  Report(state, total, gPeer);
}

}  // namespace

BENCHMARK(Velorin)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(Mpg123)->Unit(benchmark::kMillisecond)->MinTime(3.0);

int main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  File();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gOurs > 0.0 && gPeer > 0.0)
    std::printf("5-minute 128 kbit/s stereo file: ours %.0fx real time, libmpg123 %.0fx real time, ours takes %.2fx "
                "the time of libmpg123\n",
                kSeconds / gOurs, kSeconds / gPeer, gOurs / gPeer);
  return 0;
}
