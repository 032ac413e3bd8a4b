// Control half of the test sound cards: no elements, only the card
// information, so that card-name lookups through "hw:N" see the test cards.
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "testcard.h"

namespace {

int ElemCount(snd_ctl_ext_t*)
{
  return 0;
}
int ElemList(snd_ctl_ext_t*, unsigned int, snd_ctl_elem_id_t*)
{
  return -EINVAL;
}
snd_ctl_ext_key_t FindElem(snd_ctl_ext_t*, const snd_ctl_elem_id_t*)
{
  return SND_CTL_EXT_KEY_NOT_FOUND;
}
int GetAttribute(snd_ctl_ext_t*, snd_ctl_ext_key_t, int*, unsigned int*, unsigned int*)
{
  return -EINVAL;
}
void Close(snd_ctl_ext_t* ext)
{
  delete ext;
}

}  // namespace

extern "C" {

SND_CTL_PLUGIN_DEFINE_FUNC(velorintest)
{
  (void)root;
  static const snd_ctl_ext_callback_t kCallbacks = [] {
    snd_ctl_ext_callback_t c{};
    c.close = Close, c.elem_count = ElemCount, c.elem_list = ElemList, c.find_elem = FindElem;
    c.get_attribute = GetAttribute;
    return c;
  }();
  // A card that refuses its PCM still exists and has a name.
  int card = LTestCard::ParseConfig(conf);
  LTestCard config;
  int err = card < 0 ? card : config.Load(card);
  snd_ctl_ext_t* ext = err < 0 ? nullptr : new (std::nothrow) snd_ctl_ext_t{};
  if (ext == nullptr)
    return err < 0 ? err : -ENOMEM;
  ext->version = SND_CTL_EXT_VERSION;
  ext->card_idx = card;
  std::snprintf(ext->id, sizeof ext->id, "VelorinTest%d", card & 31);
  std::snprintf(ext->driver, sizeof ext->driver, "VelorinTest");
  std::snprintf(ext->name, sizeof ext->name, "%s", config.name.c_str());
  std::snprintf(ext->longname, sizeof ext->longname, "%s", config.name.c_str());
  ext->poll_fd = -1;
  ext->callback = &kCallbacks;
  ext->private_data = ext;
  err = snd_ctl_ext_create(ext, name, mode);
  if (err < 0) {
    delete ext;
    return err;
  }
  *handlep = ext->handle;
  return 0;
}

SND_CTL_PLUGIN_SYMBOL(velorintest);

}  // extern "C"
