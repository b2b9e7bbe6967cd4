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
    {WindowText::IntervalKeptOne,
     "The list is updated every 1 to 999 minutes, given as a whole number: the interval stays "
     "1 minute.",
     "La liste est actualisée toutes les 1 à 999 minutes, en nombre entier : l'intervalle reste "
     "d'une minute."},
    {WindowText::AutomaticFailed,
     "%1: the list could not be written; it is tried again at the next update.",
     "%1 : la liste n'a pas pu être écrite ; elle est réessayée à la prochaine mise à jour."},
    {WindowText::AutomaticBack, "%1: the list is written again.",
     "%1 : la liste est de nouveau écrite."},
    {WindowText::LastListMade, "Last list made at %1", "Dernière liste faite à %1"},
    {WindowText::RunProgress, "%1 files - %2", "%1 fichiers - %2"},
    {WindowText::TagProgress, "Tags read: %1 of %2", "Tags lus : %1 sur %2"},
    {WindowText::StopRun, "Stop (Esc)", "Arrêter (Échap)"},
    {WindowText::VolumeGone, "%1 is no longer mounted", "%1 n'est plus monté"},
    {WindowText::ChooseSource, "Choose the &source folder...", "Choisir le répertoire &source..."},
    {WindowText::ChooseTarget, "Choose the &target folder...",
     "Choisir le répertoire de &destination..."},
    {WindowText::RecentSources, "&Recent sources", "Sources &récentes"},
    {WindowText::RecentTargets, "Recent tar&gets", "Destinations réce&ntes"},
    {WindowText::OpenList, "Open the last &list", "Ouvrir la dernière &liste"},
    {WindowText::OpenTarget, "Open the target &folder", "Ouvrir le ré&pertoire de destination"},
};

} // namespace

QString windowText(WindowText text, int langue)
{
    return pickText(kTexts, text, langue);
}
