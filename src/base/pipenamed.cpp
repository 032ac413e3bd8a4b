#include "base/pipenamed.h"

#include <unistd.h>

void LNamedPipe::Close()
{
  if (pipe_ != -1) {
    close(pipe_);
    pipe_ = -1;
  }
}

void LNamedPipe::Assign(LNamedPipe& other)
{
  if (&other == this)
    return;
  Close();
  pipe_ = other.pipe_;
  other.pipe_ = -1;
}
