#pragma once
#include <cstdint>

// A level in whole decibels, -127 .. 127, stored in one signed byte.
class LDB {
public:
  // Left uninitialised, so that arrays of levels cost nothing to build.
  LDB() = default;
  // Clamped to -127 .. 127.
  LDB(int db);
  // Taken as is (-128 is never produced by the clamping constructor).
  explicit LDB(signed char db) : db_(db) {}

  static LDB Off() { return LDB(static_cast<signed char>(-127)); }
  static LDB Min() { return LDB(static_cast<signed char>(-127)); }
  static LDB Max() { return LDB(static_cast<signed char>(127)); }

  int GetDB() const { return db_; }
  // The difference, clamped.
  LDB operator-(const LDB& other) const { return LDB(GetDB() - other.GetDB()); }
  bool operator>(const LDB& other) const { return db_ > other.db_; }
  bool operator>=(const LDB& other) const { return db_ >= other.db_; }
  bool operator==(const LDB& other) const { return db_ == other.db_; }

private:
  signed char db_;
};

// Levels of up to 256 channels.  Only the channel count is initialised; the
// levels are written by whoever measures them.
class LDBMC {
public:
  LDBMC() : channels_(0) {}

  void SetChannels(unsigned char channels) { channels_ = channels; }
  unsigned char GetChannels() const { return channels_; }
  LDB& operator[](unsigned char c) { return levels_[c]; }
  const LDB& operator[](unsigned char c) const { return levels_[c]; }

  // One level for the whole signal: the louder of the first two channels
  // (Off for none, channel 0 for mono).
  LDB GetMonoDB() const;

private:
  unsigned char channels_;
  LDB levels_[256];
};
