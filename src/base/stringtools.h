#pragma once
#include <cstddef>
#include <cstdint>

// Size of every fixed text buffer (paths, parsed tokens, encoded values):
// 259 characters and the terminating zero.
inline constexpr std::size_t kPathSize = 260;

// Copies at most size - 1 bytes of src and always terminates dst (unless size
// is 0).  Returns the number of bytes copied, not the length of src, so a
// caller can tell a cut copy from a whole one.  A null src copies nothing.
std::size_t tstrlcpy(char* dst, const char* src, std::size_t size);

// tstrlcpy into a kPathSize buffer.
std::size_t tlstrcpy(char* dst, const char* src);

// Text is UTF-8 throughout, so this is a plain bounded copy.
std::size_t LCopyFromUTF8(char* dst, const char* src, std::size_t size);

// Decimal text to int: leading white space, an optional sign, then digits;
// anything else ends the number, no digits gives 0.  Values beyond the int
// range are clamped rather than wrapped.
int ttoi(const char* text);

// Replaces every byte `from` in text by `to`, in place.
void ReplaceChar(char* text, char from, char to);

// Removes leading and trailing spaces (' ' only) in place; returns text.
char* tstrtrimspaces(char* text);

// Letter case changed in place by the C library's ASCII rules; each returns
// text.
char* strlwr(char* text);
char* strupr(char* text);
char* tstrlwr(char* text);

int tstrcmp(const char* a, const char* b);
// Compares ignoring ASCII letter case.
int tstricmp(const char* a, const char* b);
const char* tstrstr(const char* text, const char* find);
char* tstrstr(char* text, const char* find);
const char* tstrchr(const char* text, char c);
char* tstrchr(char* text, char c);

// Reverse the byte order of the value in place.
void LEndianReverse(uint16_t& value);
void LEndianReverse(uint32_t& value);
