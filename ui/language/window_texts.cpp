#include "window_texts.h"

#include "engine/bilingual_text.h"

namespace {

const BilingualText<WindowText> kTexts[] = {
    {WindowText::DeviceUnavailable, "Device unavailable", "Périphérique indisponible"},
};

} // namespace

QString windowText(WindowText text, int langue)
{
    return pickText(kTexts, text, langue);
}
