#include "web/webletoutput.h"

#include <climits>
#include <cstdarg>
#include <cstring>

#include "base/formatter.h"
#include "base/stringlong.h"
#include "net/processsocket.h"
#include "web/httpstatus.h"

namespace {

constexpr int kSendMs = 20000;
constexpr unsigned int kPageInitialSize = 8192;

// A frame piece and the length cached on its first use.
struct StaticText {
  const char* text;
  std::atomic<unsigned int> length{0};
};

StaticText gHeader1{HTTP_200_OK HTTP_DYNAMIC HTTP_HTML
                    "\r\n"
                    "<html><head><title>Velorin</title><link href=s.css type=text/css rel=stylesheet>"
                    "<link href=print.css type=text/css media=print rel=stylesheet>"};
StaticText gHeader2{
    "</head><body style=\"background-color:#eee;\" ><br/><table class=tblMain align=center border=0 valign=top "
    "cellpadding=20 cellspacing=0 style=\"width: 96%; height: 96%; vertical-align: top; background-color: White\">"
    "<tr valign=top style=\"height: 25px\"><td><table border=0 width=100% cellpadding=0 cellspacing=0>"};
StaticText gHeader3{"<tr><td class=title>Velorin</td><td align=right valign=bottom>"};
StaticText gHeader4{
    "</td></tr><tr><td colspan=2><hr style=\"height:1px; color:#036\"></td></tr><tr><td colspan=2 height=5></td>"
    "</tr></table></td></tr><tr valign=top><td>"};
StaticText gHeader4Center{
    "</td></tr><tr><td colspan=2><hr style=\"height:1px; color:#036\"></td></tr><tr><td colspan=2 height=5></td>"
    "</tr></table></td></tr><tr valign=middle><td>"};
StaticText gFooter{
    "<tr valign=bottom><td><table border=0 width=100% cellpadding=0 cellspacing=0 class=noprint><tr>"
    "<td bgcolor=#123759 height=40><table border=0 width=100% cellpadding=0 cellspacing=0><tr><td width=10>&nbsp;"
    "</td><td valign=middle><font color=#ffffff><b>Velorin v 1.01</b></font></td><td align=right>"
    "<font color=#ffffff>"
    "Copyright &copy; Velorin Audio. <a href=http://www.velorin.example/ style=\"color: #ffffff\">"
    "www.velorin.example</a></font></td>"
    "<td width=10>&nbsp;</td></tr></table></td></tr></table></td></tr></table></body></html>"};

LProcessResult Send(LWebletForm& form, StaticText& piece)
{
  return WLSendStaticStringSuperFast(form, piece.text, piece.length);
}

void SendTitle(LWebletForm& form, const char* title)
{
  wfprintf(form, "<div class=noprint>%s</div>", title);
}

}  // namespace

std::size_t wfprintf(LWebletForm& form, const char* format, ...)
{
  LStringLongTemplate text(kPageInitialSize);
  va_list args;
  va_start(args, format);
  vsprintf(text, format, args);
  va_end(args);
  unsigned int length = text.GetLength();
  int timeout = length > static_cast<unsigned int>(INT_MAX - kSendMs) ? INT_MAX : static_cast<int>(length) + kSendMs;
  ProcessSend(form.thread, form.socket, text.c_str(), length, timeout);
  return length;
}

LProcessResult wfputs(LWebletForm& form, const char* text)
{
  return ProcessSendString(form.thread, form.socket, text, kSendMs);
}

LProcessResult WLSendStaticStringSuperFast(LWebletForm& form, const char* text, std::atomic<unsigned int>& length)
{
  unsigned int bytes = length.load(std::memory_order_relaxed);
  if (bytes == 0) {
    bytes = static_cast<unsigned int>(std::strlen(text));
    length.store(bytes, std::memory_order_relaxed);
  }
  return ProcessSend(form.thread, form.socket, text, bytes, kSendMs);
}

void WLStandardHeader(LWebletForm& form)
{
  Send(form, gHeader1);
  Send(form, gHeader2);
  Send(form, gHeader3);
  Send(form, gHeader4);
}

void WLStandardHeader(LWebletForm& form, const char* title)
{
  Send(form, gHeader1);
  Send(form, gHeader2);
  Send(form, gHeader3);
  SendTitle(form, title);
  Send(form, gHeader4);
}

void WLStandardHeaderCenter(LWebletForm& form, const char* title)
{
  Send(form, gHeader1);
  Send(form, gHeader2);
  Send(form, gHeader3);
  SendTitle(form, title);
  Send(form, gHeader4Center);
}

void WLStandardHeaderWithJsScript(LWebletForm& form, const char* title, LWebletJScriptItem item)
{
  Send(form, gHeader1);
  wfputs(form, "<script type=text/javascript><!--\r\n");
  if (item != nullptr) {
    item(form);
  }
  wfputs(form, "//-->\r\n</script>");
  Send(form, gHeader2);
  Send(form, gHeader3);
  SendTitle(form, title);
  Send(form, gHeader4);
}

void WLStandardFooter(LWebletForm& form)
{
  Send(form, gFooter);
}

void WLRedirect(LWebletForm& form, const char* url)
{
  wfprintf(form, HTTP_302_REDIRECT "Location: %s\r\n\r\n", url);
}

void WLIsInternetExplorer(LWebletForm& form)
{
  wfputs(form, "function IsIE() {return (navigator.userAgent.indexOf(\"IE\") != -1);}");
}
