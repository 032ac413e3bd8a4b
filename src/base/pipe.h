#pragma once
#include <cstdio>

#include "base/childprocess.h"
#include "base/uniquefd.h"

// One write() that never raises SIGPIPE: a reader that has gone away gives
// -1 with errno EPIPE instead of ending the process.  SIGPIPE is blocked for
// the calling thread during the write and a SIGPIPE that the write itself
// raised is taken off the thread again; a SIGPIPE that was already pending
// stays pending.  Any thread.
long LWriteNoSigPipe(int fd, const void* data, unsigned long size);

// Writes all size bytes with LWriteNoSigPipe, resuming after partial writes
// and signal interruptions.  Returns size, or -1 on the first failure.
long LWriteAllNoSigPipe(int fd, const void* data, unsigned long size);

// A popen() stream and its descriptor: the one owner of the FILE* that
// LPipeOut and LPipeIn wrap.  Used by one thread at a time.
class LPopenStream {
public:
  LPopenStream() = default;
  ~LPopenStream() { Close(); }

  LPopenStream(const LPopenStream&) = delete;
  LPopenStream& operator=(const LPopenStream&) = delete;

  // Closes a previous command, then popen(command, mode); "e" in mode makes
  // the descriptor close-on-exec from the start.
  bool Open(const char* command, const char* mode);
  bool IsOpen() const { return file_ != nullptr; }
  // pclose: waits until the command has exited.  Returns its wait status,
  // or -1 when nothing was open.
  int Close();
  int GetFD() const { return fd_; }

private:
  FILE* file_ = nullptr;
  int fd_ = -1;
};

// Writes to the standard input of a shell command started with popen().
// Used by one thread at a time.
class LPipeOut {
public:
  LPipeOut() = default;
  ~LPipeOut() { Close(); }

  LPipeOut(const LPipeOut&) = delete;
  LPipeOut& operator=(const LPipeOut&) = delete;

  // Closes a previous command first.  The stream is close-on-exec, so no
  // later child keeps the command's input open.
  bool Open(const char* command) { return stream_.Open(command, "we"); }
  bool IsOpen() const { return stream_.IsOpen(); }
  // Writes all size bytes (resuming after a signal cut a write short); a
  // command that has exited gives -1 (never SIGPIPE).
  int Write(const void* data, unsigned int size);
  // pclose: closes the command's input and waits until it has exited.
  // Returns the command's wait status, or -1 when nothing was open.
  int Close() { return stream_.Close(); }
  int GetFD() const { return stream_.GetFD(); }

private:
  LPopenStream stream_;
};

// Reads the standard output of a shell command started with popen().
// Used by one thread at a time.
class LPipeIn {
public:
  explicit LPipeIn(const char* command) { stream_.Open(command, "re"); }

  bool IsOpen() const { return stream_.IsOpen(); }
  // One read; errors are returned as 0 (end of output).
  int Read(void* data, unsigned int size);
  // pclose: waits for the command; its wait status, or -1.
  int Close() { return stream_.Close(); }
  int GetFD() const { return stream_.GetFD(); }

private:
  LPopenStream stream_;
};

// A shell command with both standard streams connected: the program writes
// its input and reads its output.  The child is the pipe's own and is
// reaped by it (see LChildProcess).
//
// Threads: Open and Close on the owner's thread; Write from one writer
// thread, Read and GetBytesReady from one reader thread, never while Open or
// Close runs (the owner stops both threads first).
class LPipeInOut {
public:
  LPipeInOut() = default;
  ~LPipeInOut() { Close(); }

  LPipeInOut(const LPipeInOut&) = delete;
  LPipeInOut& operator=(const LPipeInOut&) = delete;

  // Closes a previous command (see Close), then starts this one.  False
  // when the pipes or the process could not be created; both ends are then
  // closed.
  bool Open(const char* command);
  // Closes the command's input and output, which makes it end, and reaps
  // it; a command that does not end within LChildProcess::kReapGraceMs is
  // killed.  Safe when nothing is open.  Returns the command's wait
  // status, or -1 when nothing was started.
  int Close();

  // Writes all size bytes to the command's input.  A command that has
  // exited gives -1 (EPIPE, never SIGPIPE); a closed pipe gives -1 (EBADF).
  int Write(const void* data, unsigned int size);
  // One read of the command's output; a negative result is returned as 0.
  int Read(void* data, unsigned int size);
  // Bytes waiting in the output pipe (FIONREAD); 0 when the query fails.
  int GetBytesReady() const;

  int GetReadFD() const { return read_.Get(); }
  int GetWriteFD() const { return write_.Get(); }
  pid_t GetPid() const { return child_.GetPid(); }

private:
  LUniqueFD read_;   // the command's standard output
  LUniqueFD write_;  // the command's standard input
  LChildProcess child_;
};
