#include "audio/audiostreamingsource.h"

#include <cstdio>

#include "audio/audioengine.h"
#include "audio/audiofanout.h"
#include "audio/soundrecorddevice.h"
#include "settings/configkeys.h"
#include "settings/settings.h"

void LAudioStreamingSource::Start(unsigned int index)
{
  // A capture thread still writing into the queues would race their
  // restart: everything stops first.
  Stop();
  dialUp_.Start(LSettingGet(VLKeys::DialUpKBPS));
  broadBand_.Start(LSettingGet(VLKeys::BroadBandKBPS));

  char prefix[260];
  std::snprintf(prefix, sizeof prefix, VLKeys::LiveDevice.prefixFormat, static_cast<int>(index) + 1);
  recorder_.SetDevice(LSettingGetSoundRecordDevice(VLKeys::LiveDevice.section, prefix));
  LSoundSink sink(new LStreamingSink(this));
  // Trigger off and 60 hours of silence time: every block is written.
  recorder_.Start(sink, LSoundTime::Zero(), LDB::Off(), LSoundTime::Max(), 0);

  const int number = static_cast<int>(index) + 1;
  char url[260];
  LSettingGet(VLKeys::LivePublishURL, number, url);
  const int kbps = LSettingGet(VLKeys::LivePublishKBPS, number);
  char name[260];
  LAudioGetSourceDisplayName(number, name);
  publisher_.Start(*GetAudioQueue(kbps > 0 ? kbps : broadBand_.GetBitRate()), url, name);
}

void LAudioStreamingSource::EndListenerStreams()
{
  dialUp_.GetFanout().EndAll();
  broadBand_.GetFanout().EndAll();
}

void LAudioStreamingSource::Stop()
{
  publisher_.Stop();
  recorder_.Stop();
  broadBand_.Stop();
  dialUp_.Stop();
}

int LAudioStreamingSource::Write(const int* samples, int frames)
{
  // Each write blocks while that encoder's input is full; a failed one (an
  // encoder that died) loses this block for that rate only.
  dialUp_.Write(samples, frames);
  return broadBand_.Write(samples, frames);
}

LAudioQueue* LAudioStreamingSource::GetAudioQueue(int kbps)
{
  return kbps < broadBand_.GetBitRate() ? &dialUp_ : &broadBand_;
}
