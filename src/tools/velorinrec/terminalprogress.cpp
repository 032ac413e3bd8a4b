#include "tools/velorinrec/terminalprogress.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t gStopRequested = 0;

extern "C" void OnStopSignal(int)
{
  gStopRequested = 1;
}

constexpr int kBarWidth = 30;
constexpr unsigned int kWaitSliceMs = 200;

}  // namespace

LTerminalProgress::LTerminalProgress() : terminal_(::isatty(STDERR_FILENO) == 1)
{
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

LTerminalProgress::~LTerminalProgress()
{
  EndLine();
}

bool LTerminalProgress::IsToStop() const
{
  return gStopRequested != 0;
}

LProcessResult LTerminalProgress::ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
{
  // Sliced, so that an interrupt is noticed within one slice.
  for (;;) {
    if (IsToStop())
      return kProcessStopped;
    unsigned int slice = std::min(ms, kWaitSliceMs);
    if (signal.WaitSignal(slice))
      return kProcessDone;
    ms -= slice;
    if (ms == 0)
      return kProcessFailed;
  }
}

void LTerminalProgress::SetProgress(double fraction)
{
  fraction_ = std::clamp(fraction, 0.0, 1.0);
  int percent = static_cast<int>(fraction_ * 100);
  if (terminal_ && percent != lastPercent_) {
    lastPercent_ = percent;
    Draw();
  }
}

void LTerminalProgress::SetStatus1(const char* text)
{
  status1_ = text;
  lastPercent_ = -1;
}

void LTerminalProgress::SetStatus2(const char* text)
{
  status2_ = text;
  if (!terminal_ && !subject_.empty() && status1_ != "Loading...")
    std::fprintf(stderr, "%s: %s\n", subject_.c_str(), status1_.c_str());
}

void LTerminalProgress::SetError(const char* text)
{
  EndLine();
  std::fprintf(stderr, "velorin-rec: %s\n", text);
}

void LTerminalProgress::EndLine()
{
  if (lineOpen_) {
    std::fputc('\n', stderr);
    lineOpen_ = false;
  }
}

void LTerminalProgress::Draw()
{
  int filled = static_cast<int>(fraction_ * kBarWidth);
  char bar[kBarWidth + 1];
  for (int i = 0; i < kBarWidth; ++i)
    bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = 0;
  std::fprintf(stderr, "\r\033[K%s: %s [%s] %3d%%", subject_.c_str(), status1_.c_str(), bar, lastPercent_);
  std::fflush(stderr);
  lineOpen_ = true;
}
