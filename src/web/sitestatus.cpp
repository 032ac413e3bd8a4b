// The listener and download figures: /status.json for people and scripts,
// /metrics in the Prometheus text format for monitoring.
#include "base/formatter.h"
#include "base/stringwriters.h"
#include "sound/recordings.h"
#include "web/httpstatus.h"
#include "web/sitefigures.h"
#include "web/sitepages.h"
#include "web/sitestats.h"
#include "web/sitetext.h"
#include "web/webletcache.h"
#include "web/webletfile.h"
#include "web/webletoutput.h"

namespace {

constexpr const char* kJSONHeader = HTTP_200_OK HTTP_DYNAMIC "Content-Type: application/json\r\n\r\n";
constexpr const char* kMetricsHeader =
    HTTP_200_OK HTTP_DYNAMIC "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n\r\n";

constexpr const char* kRateNames[2] = {"broadband", "dialup"};

// 64-bit figures through the formatter, whose %d is 32-bit.
struct Decimal {
  explicit Decimal(uint64_t value) { LWebletFormatDecimal(text, static_cast<int64_t>(value)); }
  char text[32];
};

bool Refused(LWebletForm& form)
{
  if (LSiteStatusAllowed(form.socket.GetSocket()))
    return false;
  LWebletAnswerFileNotFound(form.thread, form.socket);
  return true;
}

void WriteJSON(LStringLongTemplateAppender& out)
{
  LStringLongTemplate text;
  char date[kPathSize];
  const time_t started = LSiteGetStartTime();
  LWebletFormatHTTPDate(date, started);
  tplwprintf(out, "{\n  \"version\": \"%s\",\n  \"started\": %s,\n  \"startedDate\": \"%s\",\n  \"inputs\": [",
             kSiteVersion, Decimal(static_cast<uint64_t>(started)).text, date);
  LSiteInputFigures inputs[8];
  const int count = LSiteGatherInputs(inputs);
  for (int i = 0; i < count; ++i) {
    const LSiteInputFigures& input = inputs[i];
    tplwprintf(out, "%s\n    {\"number\": %d, \"name\": \"%s\", \"rates\": [", i > 0 ? "," : "", input.number,
               LSiteJSONEncode(text, input.name));
    for (int r = 0; r < 2; ++r) {
      const LSiteRateFigures& rate = input.rates[r];
      tplwprintf(out,
                 "%s\n      {\"stream\": \"%s\", \"kbps\": %d, \"listeners\": %d, \"peakListeners\": %d, "
                 "\"bytesSent\": %s, \"encoderRunning\": %s}",
                 r > 0 ? "," : "", kRateNames[r], rate.kbps, rate.listeners, rate.peak, Decimal(rate.bytesSent).text,
                 rate.encoderRunning ? "true" : "false");
    }
    tplwprintf(out, "\n    ]}");
  }
  tplwprintf(out, "%s],\n  \"recordings\": [", count > 0 ? "\n  " : "");
  char name[kPathSize];
  bool first = true;
  for (LRecordingsIterator it; it; it.Next(), first = false) {
    it.GetName(name);
    tplwprintf(out, "%s\n    {\"name\": \"%s\", \"downloads\": %s}", first ? "" : ",", LSiteJSONEncode(text, name),
               Decimal(LSiteGetDownloads(name)).text);
  }
  tplwprintf(out, "%s]\n}\n", first ? "" : "\n  ");
}

// One metric's help and type lines, then one sample per input and rate.
template <class Value>
void WriteRateMetric(LStringLongTemplateAppender& out, const LSiteInputFigures* inputs, int count, const char* metric,
                     const char* type, const char* help, Value value)
{
  LStringLongTemplate label;
  tplwprintf(out, "# HELP %s %s\n# TYPE %s %s\n", metric, help, metric, type);
  for (int i = 0; i < count; ++i) {
    for (int r = 0; r < 2; ++r) {
      tplwprintf(out, "%s{input=\"%d\",name=\"%s\",stream=\"%s\",kbps=\"%d\"} %s\n", metric, inputs[i].number,
                 LSiteMetricLabelEncode(label, inputs[i].name), kRateNames[r], inputs[i].rates[r].kbps,
                 Decimal(value(inputs[i].rates[r])).text);
    }
  }
}

void WriteMetrics(LStringLongTemplateAppender& out)
{
  tplwprintf(out,
             "# HELP velorin_info The server's version.\n# TYPE velorin_info gauge\nvelorin_info{version=\"%s\"} 1\n"
             "# HELP velorin_start_time_seconds When the server started, in seconds since 1970.\n"
             "# TYPE velorin_start_time_seconds gauge\nvelorin_start_time_seconds %s\n",
             kSiteVersion, Decimal(static_cast<uint64_t>(LSiteGetStartTime())).text);
  LSiteInputFigures inputs[8];
  const int count = LSiteGatherInputs(inputs);
  WriteRateMetric(out, inputs, count, "velorin_listeners", "gauge", "Listeners connected now.",
                  [](const LSiteRateFigures& r) { return static_cast<uint64_t>(r.listeners); });
  WriteRateMetric(out, inputs, count, "velorin_listeners_peak", "gauge", "Most listeners at once.",
                  [](const LSiteRateFigures& r) { return static_cast<uint64_t>(r.peak); });
  WriteRateMetric(out, inputs, count, "velorin_sent_bytes_total", "counter", "Audio bytes sent to listeners.",
                  [](const LSiteRateFigures& r) { return r.bytesSent; });
  WriteRateMetric(out, inputs, count, "velorin_encoder_running", "gauge", "1 while the encoder runs.",
                  [](const LSiteRateFigures& r) { return static_cast<uint64_t>(r.encoderRunning ? 1 : 0); });

  LStringLongTemplate label;
  char name[kPathSize];
  tplwprintf(out, "# HELP velorin_recording_downloads_total Downloads of a recording.\n"
                  "# TYPE velorin_recording_downloads_total counter\n");
  for (LRecordingsIterator it; it; it.Next()) {
    it.GetName(name);
    tplwprintf(out, "velorin_recording_downloads_total{recording=\"%s\"} %s\n", LSiteMetricLabelEncode(label, name),
               Decimal(LSiteGetDownloads(name)).text);
  }
}

template <class Write>
void Answer(LWebletForm& form, const char* header, Write write)
{
  if (Refused(form))
    return;
  LStringLongTemplate body;
  LStringLongTemplateAppender out(body);
  write(out);
  wfputs(form, header);
  wfputs(form, body.c_str());
}

}  // namespace

void VLWStatusJSON(LWebletForm& form)
{
  Answer(form, kJSONHeader, WriteJSON);
}

void VLWMetrics(LWebletForm& form)
{
  Answer(form, kMetricsHeader, WriteMetrics);
}
