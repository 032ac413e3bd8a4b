#include "audio/db.h"

LDB::LDB(int db)
{
  if (db < -127) {
    db = -127;
  } else if (db > 127) {
    db = 127;
  }
  db_ = static_cast<signed char>(db);
}

LDB LDBMC::GetMonoDB() const
{
  if (channels_ == 0) {
    return LDB::Off();
  }
  if (channels_ == 1 || levels_[0] >= levels_[1]) {
    return levels_[0];
  }
  return levels_[1];
}
