#pragma once
// The progress display of the command-line tool: a one-line bar on a
// terminal, plain status lines otherwise (logs, pipes).  Interrupt (SIGINT)
// and SIGTERM ask the running operation to stop.  Everything runs on the
// main thread; the signal handler only sets a flag.
#include <string>

#include "base/processresult.h"
#include "base/signalobject.h"

class LTerminalProgress {
public:
  // Installs the stop handlers.
  LTerminalProgress();
  ~LTerminalProgress();
  LTerminalProgress(const LTerminalProgress&) = delete;
  LTerminalProgress& operator=(const LTerminalProgress&) = delete;

  bool IsToStop() const;
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms);
  void SetProgress(double fraction);
  void SetStatus1(const char* text);
  void SetStatus2(const char* text);
  void SetError(const char* text);

  // The file the next operations work on, shown before the status.
  void SetSubject(const char* text) { subject_ = text; }
  // Ends the bar's line, so that a message can follow.
  void EndLine();

private:
  void Draw();

  bool terminal_;
  bool lineOpen_ = false;
  int lastPercent_ = -1;
  double fraction_ = 0.0;
  std::string subject_;
  std::string status1_;
  std::string status2_;
};
