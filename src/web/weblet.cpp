#include "web/weblet.h"

#include <new>

#include "settings/log.h"
#include "settings/settings.h"

namespace {

constexpr unsigned short kDefaultPort = 1085;

}  // namespace

void LWebletServer::StartServer(const LWebletScriptItem* table, unsigned int count, const char* rootFolder)
{
  // The listener reads these on its thread: stop it before they change.
  Stop();
  table_ = table;
  count_ = count;
  tlstrcpy(rootFolder_, rootFolder);
  waiting_.LoadSettings();
  Start(GetWebletServerPort());
}

void LWebletServer::StopServer()
{
  Stop();
  StopThreadsNow();
}

unsigned short LWebletServer::GetWebletServerPort()
{
  auto port = static_cast<unsigned short>(LSettingGetInt("WebServer", "Port", 0));
  return port != 0 ? port : kDefaultPort;
}

void LWebletServer::SetWebletServerPort(unsigned short port)
{
  LSettingSetInt("WebServer", "Port", port);
}

void LWebletServer::NewConnection(LIPSocketTCP& socket)
{
  // Without memory for the object the socket stays here and is closed.
  auto* connection = new (std::nothrow) LWebletConnection(socket, table_, count_, rootFolder_, waiting_);
  // Without a descriptor for its stop signal the thread could not be
  // stopped in time: the connection is closed instead.
  if (connection != nullptr && connection->GetStopSignal().GetPollFD() < 0) {
    delete connection;
    return;
  }
  StartThreadNormal(connection);
}

void LWebletServer::BindConflict()
{
  LOGERROR("Webserver cannot bind to TCP/IP port.");
  LOGERRORF("Some other program may be using port %d.", GetWebletServerPort());
}
