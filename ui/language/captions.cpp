#include "captions.h"

#include "engine/bilingual_text.h"

namespace {

// A caption in both languages, and the window's own one where it was designed otherwise.
struct CaptionText {
    Caption key;
    const char *english; // UTF-8
    const char *french;  // UTF-8
    const char *design = nullptr;
};

// "&" marks an access key, "&&" shows one "&". The windows are designed in French: four of their
// own captions are not the ones the first switch to French gives them, on purpose (marked
// DESIGN), so that the French interface after a language switch differs from the first one.
const CaptionText kCaptions[] = {
    {Caption::Form1_mnuFile, "&File", "&Fichier"},
    {Caption::Form1_mnuHide, "&Hide window", "&Cacher la fenêtre"},
    {Caption::Form1_mnuQuit, "&Quit", "&Quitter"},
    {Caption::Form1_mnuHelp, "&Help", "A&ide"},
    {Caption::Form1_mnuAbout, "&About", "&A propos"},
    {Caption::Form1_Frame2, "Target", "Destination"},
    {Caption::Form1_Command1, "Make the list !", "Faire la liste !"},

    // %1: productName(); in the design title, shortProductName().
    {Caption::Form2_Title, "About %1", "A propos d'%1", /* DESIGN */ "A propos d'%1"},
    {Caption::Form2_Label2, "Updates available on :", "Mises à jour sur le :"},
    {Caption::Form2_Label4, "KORVANE thanks :", "KORVANE remercie :"},
    {Caption::Form2_Label5,
     "Everyone who tried the early versions, reported problems or suggested ideas, and the "
     "authors of the free tools it is built with.",
     "Tous ceux qui ont essayé les premières versions, signalé des problèmes ou proposé des "
     "idées, et les auteurs des outils libres qui ont servi à le construire."},
    {Caption::Form2_Label4_OwnLoad, "KORVANE thanks:", "KORVANE remercie:"},

    {Caption::Options_Tab1, "Listing options", "Méthode de tri"},
    {Caption::Options_Tab2, "Language", "Langage"},
    {Caption::Options_fraSample1, "Files && Dirs", "Fichiers et répertoires"},
    {Caption::Options_FileOption0, "Only current dir's files",
     "Fichiers du répertoire courant uniquement"},
    {Caption::Options_FileOption1, "Current dir's files && sub-dirs' names",
     "Fichiers du répertoire courant et noms des sous-répertoires"},
    {Caption::Options_FileOption2, "Current dir's files, sub-dirs' names and sub-dirs' files",
     "Fichiers du répertoire courant, noms des sous-répertoires et fichiers des "
     "sous-répertoires"},
    {Caption::Options_Frame1, "Misc", "Autre"},
    {Caption::Options_Check1, "Write date && time at the beginning of the file",
     "Indiquer le jour et l'heure de création de la liste"},
    {Caption::Options_Check2, "Open once done", "Ouvrir la liste une fois terminée"},
    {Caption::Options_Check8, "Include files extension", "Inclure l'extension des fichiers"},
    {Caption::Options_Check9, "Include files sizes", "Inclure la taille des fichiers",
     /* DESIGN */ "Inclure la taille du fichier"},
    {Caption::Options_Label5, "Files to list :", "Fichiers à lister :"},
    {Caption::Options_Frame6, "Startup", "Démarrage"},
    {Caption::Options_Check6, "Welcome Music", "Musique de Bienvenue"},
    {Caption::Options_Frame3, "Choose your language", "Choisissez votre langage",
     /* DESIGN */ "Langage du logiciel"},
    {Caption::Options_Frame5, "Created files language", "Langage des fichiers générés"},
    {Caption::Options_Frame2, "HTML support", "Support HTML"},
    {Caption::Options_Check3, "Target file is a HTML file",
     "Fichier de destination au format HTML"},
    {Caption::Options_Label1, "HTML File Title", "Titre du fichier HTML"},
    {Caption::Options_Frame4, "Audio Server", "Serveur Audio", /* DESIGN */ "Serveur MP3"},
    {Caption::Options_Check4, "Regularly update list", "Actualiser régulièrement la liste"},
    {Caption::Options_Label2, "Every", "Toutes les"},
    {Caption::Options_Check5, "Allow Download", "Autoriser le téléchargement"},
    {Caption::Options_Label4, "Base URL", "URL de base"},
    {Caption::Options_cmdCancel, "Cancel", "Annuler"},
    {Caption::Options_cmdApply, "Apply", "Appliquer"},
    {Caption::Options_Check10, "Also write a web page (index.html)",
     "Écrire aussi une page web (index.html)"},
    {Caption::Options_Check11, "Also write an M3U8 playlist",
     "Écrire aussi une liste de lecture M3U8"},
    {Caption::Options_Check12, "Also write a JSON file", "Écrire aussi un fichier JSON"},
    {Caption::Options_Check13, "Read tags and durations", "Lire les tags et les durées"},
    {Caption::Options_Check14, "Natural order (2 before 10)", "Ordre naturel (2 avant 10)"},
    {Caption::Options_Check15, "Show each folder's picture on the page",
     "Montrer l'image de chaque répertoire sur la page"},
    {Caption::Options_Label6, "Page :", "Page :"},
    {Caption::Options_Label7, "Playlist :", "Liste de lecture :"},
    {Caption::Options_Label8, "JSON :", "JSON :"},
    {Caption::Options_Text3_Placeholder, "http://your.ip/your_base_dir/",
     "http://votre.ip/votre_repertoire_de_base/"},
};

} // namespace

QString caption(Caption control, int langue)
{
    return pickText(kCaptions, control, langue);
}

QString designCaption(Caption control)
{
    for (const CaptionText &text : kCaptions) {
        if (text.key == control)
            return QString::fromUtf8(text.design ? text.design : text.french);
    }
    return QString();
}
