#include "base/hashtable.h"

#include <cstring>

#include "base/stringtools.h"
#include "base/stringwriters.h"
#include "base/textcoding.h"

char* LHashTable::CopyText(const char* text, std::size_t length)
{
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length);
  copy[length] = 0;
  return copy;
}

void LHashTable::FreeNode(Node* node)
{
  delete[] node->name;
  delete[] node->value;
  delete node;
}

LHashTable::Node* LHashTable::Find(const char* name) const
{
  for (Node* node = head_; node != nullptr; node = node->next) {
    if (std::strcmp(node->name, name) == 0) {
      return node;
    }
  }
  return nullptr;
}

const char* LHashTable::GetParm(const char* name, const char* def) const
{
  const Node* node = Find(name);
  return node != nullptr ? node->value : def;
}

const char* LHashTable::GetParmAnyCase(const char* name, const char* def) const
{
  for (const Node* node = head_; node != nullptr; node = node->next) {
    if (tstricmp(node->name, name) == 0) {
      return node->value;
    }
  }
  return def;
}

int LHashTable::GetInt(const char* name, int def) const
{
  const char* value = GetParm(name, nullptr);
  if (value == nullptr || value[0] == 0) {
    return def;
  }
  return ttoi(value);
}

bool LHashTable::GetBool(const char* name, bool def) const
{
  const char* value = GetParm(name, "");
  if (value[0] == '0') {
    return false;
  }
  if (value[0] == '1') {
    return true;
  }
  return def;
}

char* LHashTable::GetString(const char* name, const char* def, char* buffer) const
{
  tlstrcpy(buffer, GetParm(name, def));
  return buffer;
}

void LHashTable::SetParm(const char* name, const char* value)
{
  if (value == nullptr) {
    value = "";
  }
  char* copy = CopyText(value, std::strlen(value));
  if (Node* node = Find(name)) {
    delete[] node->value;
    node->value = copy;
    return;
  }
  head_ = new Node{head_, CopyText(name, std::strlen(name)), copy};
  ++count_;
}

void LHashTable::DeleteParm(const char* name)
{
  for (Node** link = &head_; *link != nullptr; link = &(*link)->next) {
    if (std::strcmp((*link)->name, name) == 0) {
      Node* node = *link;
      *link = node->next;
      FreeNode(node);
      --count_;
      return;
    }
  }
}

void LHashTable::Clear()
{
  // Iterative: a form body can hold hundreds of thousands of pairs, too many
  // for a recursive tear-down on a connection thread's small stack.
  while (head_ != nullptr) {
    Node* node = head_;
    head_ = node->next;
    FreeNode(node);
  }
  count_ = 0;
}

void LHashTable::LoadHTTPString(const char* text)
{
  if (text == nullptr) {
    return;
  }
  Node** tail = &head_;
  while (*tail != nullptr) {
    tail = &(*tail)->next;
  }
  LStringLongTemplate name;
  LStringLongTemplate value;
  const char* p = text;
  while (*p != 0) {
    LStringLongTemplateWriter nameWriter(name);
    p += LURIDecodeToWriterDirect(nameWriter, p, "=&");
    if (*p == '=') {
      ++p;
    }
    LStringLongTemplateWriter valueWriter(value);
    p += LURIDecodeToWriterDirect(valueWriter, p, "&");
    if (*p != 0) {
      ++p;
    }
    if (name.GetLength() == 0) {
      continue;
    }
    Node* node =
        new Node{nullptr, CopyText(name.c_str(), name.GetLength()), CopyText(value.c_str(), value.GetLength())};
    *tail = node;
    tail = &node->next;
    ++count_;
  }
}

void LHashTable::SaveHTTPString(LStringLongTemplate& out) const
{
  LStringLongTemplateWriter writer(out);
  for (const Node* node = head_; node != nullptr; node = node->next) {
    if (node != head_) {
      writer.AddChar('&');
    }
    LURIEncodeToWriter(writer, node->name);
    writer.AddChar('=');
    LURIEncodeToWriter(writer, node->value);
  }
}
