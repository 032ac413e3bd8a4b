#pragma once
// Encode-on-add: a source file of any readable format becomes a recording
// of the library, one MP3 file per listener bit rate (see recordings.h).
// Each file is decoded, converted to what the encoder takes, peak-limited
// and piped through the MP3 encoder; an MP3 source already at or below the
// target rate is copied byte for byte instead.
//
// Everything here is called on the progress display's thread (the user
// interface thread on the desktop, the main thread of the command-line
// tool), which makes every display call.  The batch encodes a file's two
// bit rates at once, the dial-up one on a worker thread of its own.
#include <array>
#include <vector>

#include "base/processresult.h"
#include "base/stringtools.h"
#include "sound/progress.h"

// The state of one add operation: the chosen source paths, each cut to the
// path size.
class LRecordingsPageLoadProcess {
public:
  void AddPath(const char* path);
  std::size_t GetCount() const { return paths_.size(); }
  const char* GetPath(std::size_t index) const { return paths_[index].data(); }

private:
  std::vector<std::array<char, kPathSize>> paths_;
};

// The file that `sourcePath` becomes in `folder`: the recording's name
// (the source's file name without folder and last extension) + ".mp3".
char* LRecordingsGetDestination(char* out, const char* folder, const char* sourcePath);

// Converts one source into its recording's file in `folder` at `kbps`.
// 0 done, 1 stopped, 2 failed; on 1 and 2 the destination is deleted.
LProcessResult LRecordingsLoadFile(LProgressRef& display, const char* sourcePath, const char* folder, int kbps);

// The whole batch: every path into the "High" folder at the broadband
// rate and into the "Low" folder at the dial-up rate, both at once, the
// rates read from the settings as each file starts.  Ends at the first
// failure (its result) or stop (1 during a copy, 2 between files); the
// files converted before stay.  Of the file in progress, a broadband
// failure or stop leaves neither of its files, a dial-up one leaves its
// finished broadband file.
LProcessResult LRecordingsLoadBatch(LProgressRef& display, const LRecordingsPageLoadProcess& op);

template <LProgressInterface P>
int ProcessLoadFile(P& display, const char* sourcePath, const char* folder, int kbps)
{
  LProgressAdaptor<P> progress(display);
  return LRecordingsLoadFile(progress, sourcePath, folder, kbps);
}

template <LProgressInterface P>
int Process(P& display, LRecordingsPageLoadProcess& op)
{
  LProgressAdaptor<P> progress(display);
  return LRecordingsLoadBatch(progress, op);
}
