#include "web/webletform.h"

#include "web/webletfile.h"

bool LWebletForm::ServeFile(const char* path)
{
  return LWebletServeFile(thread, socket, path, "", "");
}
