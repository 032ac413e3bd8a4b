#pragma once
#include <cstddef>

#include "base/stringlong.h"

// A list of name/value text pairs: request headers, form fields, cookies and
// sessions.  Despite the name it is a singly linked list walked from its head,
// which keeps the rules simple: GetParm returns the first match, SetParm
// replaces the first match or inserts at the head, LoadHTTPString appends at
// the tail in text order.  So the first of several equal query names wins and
// the last of several equal headers (stored with SetParm) wins.
//
// Names and values are separately allocated, zero-terminated texts of any
// length.  Comparisons are exact byte comparisons.  Not thread-safe: each
// request owns its tables.
class LHashTable {
public:
  LHashTable() = default;
  ~LHashTable() { Clear(); }
  LHashTable(const LHashTable&) = delete;
  LHashTable& operator=(const LHashTable&) = delete;

  // The first value stored under name, else def itself.
  const char* GetParm(const char* name, const char* def) const;
  // The first value stored under name compared without regard to ASCII
  // case (HTTP header names), else def itself.
  const char* GetParmAnyCase(const char* name, const char* def) const;
  // The value as a decimal number (ttoi), or def when the name is missing or
  // its value is empty.
  int GetInt(const char* name, int def) const;
  // False when the value begins with '0', true when with '1', else def.
  bool GetBool(const char* name, bool def) const;
  // Copies the value (or def) into a 260-byte buffer, cut at 259 characters.
  char* GetString(const char* name, const char* def, char* buffer) const;

  // Replaces the first value under name, or inserts the pair at the head.
  void SetParm(const char* name, const char* value);
  void DeleteParm(const char* name);
  void Clear();
  std::size_t GetCount() const { return count_; }

  // Appends the pairs of an application/x-www-form-urlencoded text at the
  // tail, in text order, keeping what is there.  Pairs with an empty
  // decoded name are skipped; a name without '=' gets an empty value.
  void LoadHTTPString(const char* text);
  // Replaces out with every pair from the head as name=value joined by '&',
  // both URI-encoded.
  void SaveHTTPString(LStringLongTemplate& out) const;

private:
  struct Node {
    Node* next;
    char* name;
    char* value;
  };

  static char* CopyText(const char* text, std::size_t length);
  static void FreeNode(Node* node);
  Node* Find(const char* name) const;

  Node* head_ = nullptr;
  std::size_t count_ = 0;
};
