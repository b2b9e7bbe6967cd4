#include "window_texts.h"

#include "engine/bilingual_text.h"

namespace {

const BilingualText<WindowText> kTexts[] = {
    {WindowText::DeviceUnavailable, "Device unavailable", "Périphérique indisponible"},
    {WindowText::IntervalKept,
     "The list is updated every 1 to 999 minutes, given as a whole number: the interval stays "
     "%1 minutes.",
     "La liste est actualisée toutes les 1 à 999 minutes, en nombre entier : l'intervalle reste "
     "de %1 minutes."},
    {WindowText::SettingsNotSaved, "The settings could not be saved: %1",
     "Les réglages n'ont pas pu être enregistrés : %1"},
    {WindowText::BaseUrlSlash,
     "The base URL %1 lacks its final \"/\": the page and the playlist link under %2, the list "
     "as typed.",
     "L'URL de base %1 n'a pas son \"/\" final : la page et la liste de lecture font leurs liens "
     "sous %2, la liste telle quelle."},
};

} // namespace

QString windowText(WindowText text, int langue)
{
    return pickText(kTexts, text, langue);
}
