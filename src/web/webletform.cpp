#include "web/webletform.h"

#include "web/webletfile.h"

bool LWebletForm::ServeFile(const char* path)
{
  LWebletFileConditions conditions;
  conditions.range = GetHTTPHeaderAnyCase("Range");
  conditions.ifRange = GetHTTPHeaderAnyCase("If-Range");
  return LWebletServeFile(thread, socket, path, conditions);
}
