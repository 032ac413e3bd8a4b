#include "web/webletform.h"

#include "web/webletfile.h"

bool LWebletForm::ServeFile(const char* path)
{
  LWebletFileConditions conditions;
  conditions.range = GetHTTPHeader("Range");
  conditions.ifRange = GetHTTPHeader("If-Range");
  return LWebletServeFile(thread, socket, path, conditions);
}
