#include "web/webletconnection.h"

#include <cstring>
#include <sys/socket.h>

#include "base/file.h"
#include "net/localhost.h"
#include "net/processsocket.h"
#include "web/webletfile.h"
#include "web/webletrequest.h"
#include "web/websession.h"

namespace {

// Connection threads only read requests and stream files in small pieces;
// the system's default stack (8 MiB of address space each) would waste
// memory with thousands of connections.  Page handlers run on this stack
// too, so it keeps ample room for the formatter and the resolver.
constexpr size_t kConnectionStackSize = 256 * 1024;

// What the drain after a response reads at most before the thread ends.
constexpr unsigned int kDrainBytes = 23;
constexpr int kDrainMs = 20000;

constexpr char kHelpPrefix[] = "help/";

// Session files share the folder with the static files, and their names are
// all a browser needs to take over a session: they are never served.
bool IsSessionFile(const char* path)
{
  char extension[kPathSize];
  LFile::GetFileExtensionFromPath(extension, path);
  return tstricmp(extension, kWebletSessionExtension) == 0;
}

}  // namespace

LWebletConnection::LWebletConnection(LIPSocketTCP& socket, const LWebletScriptItem* table, unsigned int count,
                                     const char* rootFolder, LWebletWaitingList& waiting)
    : table_(table), count_(count), waiting_(waiting)
{
  socket_.Assign(socket);
  tlstrcpy(rootFolder_, rootFolder);
  SetStackSize(kConnectionStackSize);
}

void LWebletConnection::ThreadFunction()
{
  for (;;) {
    After after = ServeRequest();
    if (after == After::NextRequest) {
      continue;
    }
    if (after == After::Close) {
      CloseGracefully();
    }
    return;
  }
}

LWebletConnection::After LWebletConnection::ServeRequest()
{
  LWebletForm form(*this, socket_, &socket_);
  LWebletRequestHead head;
  LWebletRequestOutcome outcome;
  {
    LWebletWaitScope waiting(&waiting_, socket_.GetSocket());
    outcome = LWebletReadRequestHead(form, head, waiting_.GetHeadMs());
  }
  if (outcome != LWebletRequestOutcome::Ready) {
    return SendOutcome(LWebletOutcomeResponse(outcome));
  }
  if (form.GetRequestHost()[0] == 0) {
    char host[kPathSize];
    LIPGetLocalHostIPPublic(host);
    form.headers.SetParm("Host", host);
  }
  form.session.LoadSession(form.cookies.GetParm("sess", ""));
  outcome = LWebletReadRequestBody(form, head);
  if (outcome != LWebletRequestOutcome::Ready) {
    return SendOutcome(LWebletOutcomeResponse(outcome));
  }

  for (unsigned int i = 0; i < count_; ++i) {
    if (std::strcmp(table_[i].pageName, form.pageName) == 0) {
      table_[i].handler(form);
      // A handler that took the socket (a live stream) leaves nothing here.
      return socket_.IsOpen() ? After::Close : After::CloseAtOnce;
    }
  }
  After after = ServeStatic(form);
  if (after == After::NextRequest && !head.persistent) {
    after = After::Close;
  }
  return after;
}

LWebletConnection::After LWebletConnection::ServeStatic(LWebletForm& form)
{
  char path[kPathSize];
  bool whole;
  if (std::strncmp(form.pageName, kHelpPrefix, std::strlen(kHelpPrefix)) == 0) {
    char folder[kPathSize];
    LFile::GetHelpFolder(folder);
    whole = LFile::MakeFilePathWhole(path, folder, form.pageName + std::strlen(kHelpPrefix));
  } else {
    whole = LFile::MakeFilePathWhole(path, rootFolder_, form.pageName);
  }
  if (IsSessionFile(path)) {
    return SendOutcome(LWebletOutcomeResponse(LWebletRequestOutcome::NotFound));
  }
  // A path cut to fit may name another file: answer as for a missing one.
  LWebletFileResult result = whole ? LWebletAnswerFile(*this, socket_, path, form.GetFileConditions())
                                   : LWebletAnswerFileNotFound(*this, socket_);
  return result == LWebletFileResult::Failed ? After::CloseAtOnce : After::NextRequest;
}

LWebletConnection::After LWebletConnection::SendOutcome(const char* text)
{
  if (text != nullptr) {
    ProcessSendString(*this, socket_, text, kWebletSendMs);
  }
  return After::CloseAtOnce;
}

void LWebletConnection::CloseGracefully()
{
  shutdown(socket_.GetSocket(), SHUT_WR);
  char drain[kDrainBytes];
  ProcessRecvBytes(*this, socket_, drain, kDrainBytes, kDrainMs);
}
