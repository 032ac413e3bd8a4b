#include "app/messagebox.h"

#include "settings/log.h"

#include <atomic>

namespace {

// Without a display: the secondary text (the box's heading) first, as the
// box would show it, then the message.
class LLogMessageBoxes : public LMessageBoxes {
public:
  void Info(LWindow*, const char* primary, const char* secondary) override { LOGINFOF("%s: %s", secondary, primary); }
  void InfoNoIcon(LWindow*, const char* primary, const char* secondary) override { LOGF("%s: %s", secondary, primary); }
  bool QueryYes(LWindow*, const char* primary, const char* secondary) override
  {
    LOGWARNF("%s: %s (answered No: no display)", secondary, primary);
    return false;
  }
  void Error(LWindow*, const char* text) override { LOGERROR(text); }
};

LLogMessageBoxes gLogBoxes;
std::atomic<LMessageBoxes*> gBoxes{nullptr};

LMessageBoxes& Boxes()
{
  LMessageBoxes* boxes = gBoxes.load(std::memory_order_acquire);
  return boxes != nullptr ? *boxes : gLogBoxes;
}

}  // namespace

void LSetMessageBoxes(LMessageBoxes* boxes)
{
  gBoxes.store(boxes, std::memory_order_release);
}

void PopupBoxInfo(LWindow* parent, const char* primary, const char* secondary)
{
  Boxes().Info(parent, primary, secondary);
}

void PopupBoxInfoNoIcon(LWindow* parent, const char* primary, const char* secondary)
{
  Boxes().InfoNoIcon(parent, primary, secondary);
}

bool PopupBoxQueryYes(LWindow* parent, const char* primary, const char* secondary)
{
  return Boxes().QueryYes(parent, primary, secondary);
}

void PopupBoxError(LWindow* parent, const char* text)
{
  Boxes().Error(parent, text);
}
