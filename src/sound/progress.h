#pragma once
// The progress display that file opening and conversion report to: the
// desktop's progress dialog, with two status lines, a bar, an error box, a
// stop question and a responsive wait.  The conversions are written once
// against LProgressRef; the templates that the callers use wrap their
// display in an LProgressAdaptor.
#include <concepts>

#include "base/processresult.h"
#include "base/signalobject.h"

// The display's stop question, its responsive wait for a signal (0
// signalled, 1 stop requested, 2 time-out), its bar (0..1), its two status
// lines and its error box.
template <class P>
concept LProgressInterface = requires(P& p, LSignalObjectRef signal, unsigned int ms, double fraction, const char* text)
{
  {
    p.IsToStop()
    } -> std::convertible_to<bool>;
  {
    p.ProcessWaitSignal(signal, ms)
    } -> std::convertible_to<LProcessResult>;
  p.SetProgress(fraction);
  p.SetStatus1(text);
  p.SetStatus2(text);
  p.SetError(text);
};

// Called on the display's own thread (the user interface thread).
class LProgressRef {
public:
  virtual ~LProgressRef() = default;
  virtual bool IsToStop() = 0;
  virtual LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms) = 0;
  virtual void SetProgress(double fraction) = 0;
  virtual void SetStatus1(const char* text) = 0;
  virtual void SetStatus2(const char* text) = 0;
  // Shows the text to the user (an error box on the desktop).
  virtual void SetError(const char* text) = 0;
};

template <LProgressInterface P>
class LProgressAdaptor final : public LProgressRef {
public:
  explicit LProgressAdaptor(P& display) : display_(display) {}
  bool IsToStop() override { return display_.IsToStop(); }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms) override
  {
    return display_.ProcessWaitSignal(signal, ms);
  }
  void SetProgress(double fraction) override { display_.SetProgress(fraction); }
  void SetStatus1(const char* text) override { display_.SetStatus1(text); }
  void SetStatus2(const char* text) override { display_.SetStatus2(text); }
  void SetError(const char* text) override { display_.SetError(text); }

private:
  P& display_;
};
