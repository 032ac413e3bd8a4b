#pragma once

// Local control pipes: Unix-domain stream sockets between the service and
// the desktop applications.  LNamedPipeRef is a descriptor without
// ownership, copied freely (the cooperative pipe operations take one by
// value); LNamedPipe owns its descriptor and closes it.
class LNamedPipeRef {
public:
  LNamedPipeRef() = default;
  explicit LNamedPipeRef(int descriptor) : pipe_(descriptor) {}

  int GetDescriptor() const { return pipe_; }
  bool IsOpen() const { return pipe_ != -1; }

protected:
  int pipe_ = -1;
};

class LNamedPipe : public LNamedPipeRef {
public:
  LNamedPipe() = default;
  explicit LNamedPipe(int descriptor) : LNamedPipeRef(descriptor) {}
  ~LNamedPipe() { Close(); }
  LNamedPipe(const LNamedPipe&) = delete;
  LNamedPipe& operator=(const LNamedPipe&) = delete;

  void Close();
  // Closes the held descriptor (if any), takes the other's and leaves the
  // other closed.
  void Assign(LNamedPipe& other);
};
