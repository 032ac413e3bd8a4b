#pragma once
#include <atomic>
#include <cstddef>

#include "base/processresult.h"
#include "web/webletform.h"

// Page output.  Everything is written straight to the request's socket on
// the connection thread, whose stop request every send tests; nothing is
// buffered across calls, so a handler writes its response as a sequence of
// sends, status line first.  Send failures do not stop a handler: later
// sends on a closed socket fail at once.

// Writes JavaScript into a page (WLStandardHeaderWithJsScript).
using LWebletJScriptItem = void (*)(LWebletForm& form);

// Formats with the program's formatter (%d, %.Nd, %s, %H, %U) into one text
// and sends it whole with a time-out of its length + 20,000 ms.  Returns
// the length of the text; the send result is not reported.
std::size_t wfprintf(LWebletForm& form, const char* format, ...);

// Sends text with a 20,000 ms time-out.
LProcessResult wfputs(LWebletForm& form, const char* text);

// Sends a constant text whose length is computed on first use and cached in
// length (shared by all connection threads, which all compute the same
// value).
LProcessResult WLSendStaticStringSuperFast(LWebletForm& form, const char* text, std::atomic<unsigned int>& length);

// The page frame.
void WLStandardHeader(LWebletForm& form);
void WLStandardHeader(LWebletForm& form, const char* title);
void WLStandardHeaderCenter(LWebletForm& form, const char* title);
void WLStandardHeaderWithJsScript(LWebletForm& form, const char* title, LWebletJScriptItem item);
void WLStandardFooter(LWebletForm& form);

// "HTTP/1.0 302 OK" with a Location header.
void WLRedirect(LWebletForm& form, const char* url);
// A script function IsIE(), for use inside a script item.
void WLIsInternetExplorer(LWebletForm& form);
