#pragma once
#include "audio/db.h"
#include "audio/soundtime.h"

// Receives a recorder's events.  Start and Stop call it on the controlling
// thread; level, time and state reports arrive on the GUI main loop
// (EvNotify).  The default handlers do nothing.
class LSoundRecorderNotify {
public:
  virtual ~LSoundRecorderNotify() = default;

  virtual void srntfRecord(int id) { (void)id; }
  virtual void srntfWait(int id) { (void)id; }
  virtual void srntfStop(int id) { (void)id; }
  virtual void srntfTime(LSoundTime time, int id)
  {
    (void)time;
    (void)id;
  }
  virtual void srntfLevel(const LDBMC& levels, int id)
  {
    (void)levels;
    (void)id;
  }
};
