#pragma once

// Socket handle types.  A "Ref" is a descriptor without ownership that is
// copied freely (the cooperative operations take one by value); LIPSocketTCP
// owns its descriptor and closes it.

// Process-wide pair that socket owners call around their lifetime.  Nothing
// needs starting on this platform; the calls keep the owners portable.
void LIPSystemStartup();
void LIPSystemShutDown();

class LIPSocketRef {
public:
  LIPSocketRef() = default;
  // Taking a raw descriptor switches it to non-blocking mode: every wait on
  // a socket is done in bounded poll slices, never inside a system call.
  explicit LIPSocketRef(int descriptor);
  LIPSocketRef(const LIPSocketRef&) = default;
  LIPSocketRef& operator=(const LIPSocketRef&) = default;

  int GetSocket() const { return socket_; }
  bool IsOpen() const { return socket_ != -1; }
  // FIONBIO on; false on failure.
  bool SetNonBlocking();

protected:
  int socket_ = -1;
};

class LIPSocketTCPRef : public LIPSocketRef {
public:
  LIPSocketTCPRef() = default;
  explicit LIPSocketTCPRef(int descriptor) : LIPSocketRef(descriptor) {}
};

// Owning TCP socket.  Not copyable; ownership moves only through Assign.
class LIPSocketTCP : public LIPSocketTCPRef {
public:
  LIPSocketTCP() = default;
  explicit LIPSocketTCP(int descriptor) : LIPSocketTCPRef(descriptor) {}
  ~LIPSocketTCP() { Close(); }
  LIPSocketTCP(const LIPSocketTCP&) = delete;
  LIPSocketTCP& operator=(const LIPSocketTCP&) = delete;

  // Closes the held descriptor (if any), takes the other's and leaves the
  // other empty.  Assigning a socket to itself keeps it open.
  void Assign(LIPSocketTCP& other);
  // Creates a new IPv4 stream socket, non-blocking and close-on-exec,
  // closing the one held before.  False (and empty) when creation fails.
  bool Create();
  void Close();
  // Gives the descriptor up without closing it; -1 when there is none.
  int Release()
  {
    const int descriptor = socket_;
    socket_ = -1;
    return descriptor;
  }
};
