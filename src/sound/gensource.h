#pragma once
// Opening an audio file of any supported kind as a sound source, chosen by
// the file's extension (any letter case).  Formats read here directly are
// opened at once; the others are first converted into a temporary WAV file
// ("Temp<n>.wav", see tempwav.h), which the WAV reader then opens.  The
// temporary file stays behind; a later open takes the name again.
//
// Everything here runs on the user interface thread, inside the progress
// display that the caller passes.
#include <concepts>
#include <type_traits>

#include "audio/soundsource.h"
#include "base/processresult.h"
#include "sound/progress.h"
#include "sound/rawsettings.h"

// What the dispatch asks of its caller, type-erased for the implementation.
class LGenSourceOpenRef {
public:
  virtual ~LGenSourceOpenRef() = default;
  // Whether a settings dialog may be shown during the open.
  virtual bool IsInteractive() = 0;
  virtual LRawSettingsPrompt* GetParentWindow() = 0;
  virtual void SetError(const char* text) = 0;
  virtual LProgressRef& GetProgress() = 0;
};

// The open interface of a progress display: never interactive (no dialog
// may open on top of the progress), no parent, errors into the display's
// error box.
template <LProgressInterface P>
class LGenSourceOpenInterfaceProcess {
public:
  explicit LGenSourceOpenInterfaceProcess(P& display) : display_(display) {}
  bool IsInteractive() const { return false; }
  LRawSettingsPrompt* GetParentWindow() const { return nullptr; }
  void SetError(const char* text) { display_.SetError(text); }
  P& GetProcess() { return display_; }

private:
  P& display_;
};

template <class I>
concept LGenSourceOpenInterface = requires(I& i, const char* text)
{
  {
    i.IsInteractive()
    } -> std::convertible_to<bool>;
  {
    i.GetParentWindow()
    } -> std::convertible_to<LRawSettingsPrompt*>;
  i.SetError(text);
  {
    i.GetProcess()
    } -> LProgressInterface;
};

// The dispatch behind ProcessGenSourceOpenSource.
LProcessResult LGenSourceOpenDispatch(LSoundSource& source, const char* path, LGenSourceOpenRef& open, bool quiet,
                                      const char* tempFolder);

// Opens `path` into `source`: 0 when the source is open, 1 when the user
// stopped or cancelled a settings dialog, 2 on failure (the source then
// holds an error source).  Unless `quiet`, a failure is also shown through
// the interface.  `tempFolder` null or empty: the system's ("/tmp").
template <LGenSourceOpenInterface I>
LProcessResult ProcessGenSourceOpenSource(LSoundSource& source, const char* path, I& open, bool quiet,
                                          const char* tempFolder)
{
  using P = std::remove_reference_t<decltype(open.GetProcess())>;
  class Adaptor final : public LGenSourceOpenRef {
  public:
    explicit Adaptor(I& open) : open_(open), progress_(open.GetProcess()) {}
    bool IsInteractive() override { return open_.IsInteractive(); }
    LRawSettingsPrompt* GetParentWindow() override { return open_.GetParentWindow(); }
    void SetError(const char* text) override { open_.SetError(text); }
    LProgressRef& GetProgress() override { return progress_; }

  private:
    I& open_;
    LProgressAdaptor<P> progress_;
  };
  Adaptor adaptor(open);
  return LGenSourceOpenDispatch(source, path, adaptor, quiet, tempFolder);
}

// The quiet open that the recordings library uses.
template <LProgressInterface P>
LProcessResult LGenSourceOpenProcess(P& display, LSoundSource& source, const char* path, const char* tempFolder)
{
  LGenSourceOpenInterfaceProcess<P> open(display);
  return ProcessGenSourceOpenSource(source, path, open, true, tempFolder);
}

// Before a batch: the first VOX, raw or snd file of the batch (while
// `askOnce` is set) shows the raw settings dialog of its section through
// `parent`, and clears `askOnce`.  1 when that dialog is cancelled,
// otherwise 0.  Without a parent (no desktop) nothing is asked.
LProcessResult LGenSourceOpenPrompt(const char* path, bool& askOnce, LRawSettingsPrompt* parent);
