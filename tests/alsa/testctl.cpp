// Control half of the test sound cards: an ALSA external control plugin with
// no elements whose only purpose is the card information (id, driver, name,
// long name), so that card-name lookups through "hw:N" see the test cards.
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "testcard.h"

namespace {

class LTestCtl {
public:
  static int Open(snd_ctl_t** handlep, const char* name, int card, int mode);

private:
  LTestCtl() = default;

  static int CbElemCount(snd_ctl_ext_t*) { return 0; }
  static int CbElemList(snd_ctl_ext_t*, unsigned int, snd_ctl_elem_id_t*) { return -EINVAL; }
  static snd_ctl_ext_key_t CbFindElem(snd_ctl_ext_t*, const snd_ctl_elem_id_t*) {
    return SND_CTL_EXT_KEY_NOT_FOUND;
  }
  static int CbGetAttribute(snd_ctl_ext_t*, snd_ctl_ext_key_t, int*, unsigned int*, unsigned int*) {
    return -EINVAL;
  }
  static int CbReadEvent(snd_ctl_ext_t*, snd_ctl_elem_id_t*, unsigned int*) { return -EAGAIN; }
  static void CbClose(snd_ctl_ext_t* ext) { delete static_cast<LTestCtl*>(ext->private_data); }

  static const snd_ctl_ext_callback_t kCallbacks;

  snd_ctl_ext_t ext_{};
};

const snd_ctl_ext_callback_t LTestCtl::kCallbacks = {
    .close = CbClose,
    .elem_count = CbElemCount,
    .elem_list = CbElemList,
    .find_elem = CbFindElem,
    .free_key = nullptr,
    .get_attribute = CbGetAttribute,
    .get_integer_info = nullptr,
    .get_integer64_info = nullptr,
    .get_enumerated_info = nullptr,
    .get_enumerated_name = nullptr,
    .read_integer = nullptr,
    .read_integer64 = nullptr,
    .read_enumerated = nullptr,
    .read_bytes = nullptr,
    .read_iec958 = nullptr,
    .write_integer = nullptr,
    .write_integer64 = nullptr,
    .write_enumerated = nullptr,
    .write_bytes = nullptr,
    .write_iec958 = nullptr,
    .subscribe_events = nullptr,
    .read_event = CbReadEvent,
    .poll_descriptors_count = nullptr,
    .poll_descriptors = nullptr,
    .poll_revents = nullptr,
};

int LTestCtl::Open(snd_ctl_t** handlep, const char* name, int card, int mode) {
  // A card that refuses its PCM still exists and has a name.
  LTestCard config;
  int err = config.Load(card);
  if (err < 0)
    return err;
  LTestCtl* self = new (std::nothrow) LTestCtl;
  if (self == nullptr)
    return -ENOMEM;
  snd_ctl_ext_t& ext = self->ext_;
  ext.version = SND_CTL_EXT_VERSION;
  ext.card_idx = card;
  std::snprintf(ext.id, sizeof ext.id, "%s", config.Id());
  std::snprintf(ext.driver, sizeof ext.driver, "VelorinTest");
  std::snprintf(ext.name, sizeof ext.name, "%s", config.Name());
  std::snprintf(ext.longname, sizeof ext.longname, "%s", config.LongName());
  std::snprintf(ext.mixername, sizeof ext.mixername, "%s", config.Name());
  ext.poll_fd = -1;
  ext.callback = &kCallbacks;
  ext.private_data = self;
  err = snd_ctl_ext_create(&ext, name, mode);
  if (err < 0) {
    delete self;
    return err;
  }
  *handlep = ext.handle;
  return 0;
}

}  // namespace

extern "C" {

SND_CTL_PLUGIN_DEFINE_FUNC(velorintest) {
  (void)root;
  int card = 0;
  int err = LTestCard::ParseConfig(conf, &card, nullptr);
  if (err < 0)
    return err;
  return LTestCtl::Open(handlep, name, card, mode);
}

SND_CTL_PLUGIN_SYMBOL(velorintest);

}  // extern "C"
