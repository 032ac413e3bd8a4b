#include "web/http.h"

#include "base/file.h"

#include <sys/socket.h>

LHTTPDownloadTarget::LHTTPDownloadTarget(const char* path) : file_(path, kHTTPFileLockMs)
{
  tlstrcpy(path_, path != nullptr ? path : "");
}

LHTTPDownloadTarget::~LHTTPDownloadTarget()
{
  if (keep_ || !file_)
    return;
  // Closed first, so that the lock is gone before the name is.
  file_.Close();
  LFile::DeleteFile(path_);
}

bool LHTTPDownloadTarget::Write(const void* data, unsigned int bytes)
{
  return file_.Write(data, bytes) == bytes;
}

void LHTTPShutdownSend(LIPSocketTCPRef socket)
{
  shutdown(socket.GetSocket(), SHUT_WR);
}
