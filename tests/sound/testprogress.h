#pragma once
// A progress display for the conversion and open tests: records what it
// was told and can ask to stop.
#include <string>
#include <vector>

#include "base/processresult.h"
#include "base/signalobject.h"

class TestProgress {
public:
  bool IsToStop() const { return stop; }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    if (stop) {
      return kProcessStopped;
    }
    return signal.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
  void SetProgress(double fraction) { progress.push_back(fraction); }
  void SetStatus1(const char* text) { status1.push_back(text); }
  void SetStatus2(const char* text) { status2.push_back(text); }
  void SetError(const char* text) { errors.push_back(text); }

  bool stop = false;
  std::vector<double> progress;
  std::vector<std::string> status1;
  std::vector<std::string> status2;
  std::vector<std::string> errors;
};
