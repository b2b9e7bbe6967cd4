#include "cli_texts.h"

#include "engine/bilingual_text.h"

namespace {

const BilingualText<CliText> kTexts[] = {
    {CliText::Usage,
     "Usage: lystora-list [OPTIONS] [SOURCE_DIR TARGET_FILE]\n"
     "Writes the list of the audio files of SOURCE_DIR into TARGET_FILE, as text or HTML.\n"
     "What the command line leaves out comes from Lystora's stored settings, as the window\n"
     "uses them; without SOURCE_DIR and TARGET_FILE, the stored source and target folders and\n"
     "list name are used, so that 'lystora-list --force' makes the window's list.\n"
     "\n"
     "  -t, --type 0|1|2        0: the files of SOURCE_DIR only (default); 1: and the names\n"
     "                          of all its sub-folders; 2: and the files of every sub-folder,\n"
     "                          each under its folder's name\n"
     "  -p, --pattern LIST      files to list, wildcards separated by \";\" (default \"*.mp3\")\n"
     "  -e, --ext, --no-ext     keep the extension of each file name, or not (default)\n"
     "      --html, --text      make an HTML page, or plain text (default)\n"
     "      --title TEXT        title of the HTML page\n"
     "      --base-url URL      make each file of the HTML page a download link: URL, the\n"
     "                          file's folder below SOURCE_DIR, then its name\n"
     "      --no-links          no download links\n"
     "      --time, --no-time   write the date and time of making in the header, or not\n"
     "      --list-lang en|fr   language of the list's header and footer (default fr)\n"
     "      --format FORMAT     what TARGET_FILE holds: classic (the text or HTML list, default),\n"
     "                          page (a web page for any browser or server: folders, sizes, "
     "lengths),\n"
     "                          m3u8 (a playlist) or json\n"
     "      --also FORMAT:PATH  also make PATH, in FORMAT page, m3u8 or json, from the same walk\n"
     "                          (may be given several times)\n"
     "      --no-also           none of the lists the stored settings ask for besides\n"
     "      --tags, --no-tags   read the tags and lengths of the files (for page, m3u8, json),\n"
     "                          or not; they are kept in a cache under $XDG_CACHE_HOME/lystora\n"
     "      --tag-limits LIST   what reading one file's tags may cost, any of\n"
     "                          memory=512M,cpu=5s,time=30s,size=4G (the defaults): a file that\n"
     "                          passes the memory or CPU time, or crashes its reader, is listed\n"
     "                          by name and kept as unreadable; one past the time is read again\n"
     "                          next time; one larger than the size is not read\n"
     "      --forget-unreadable read again the files kept as unreadable\n"
     "      --covers, --no-covers show each folder's picture on the page, or not\n"
     "      --sort ORDER        name: order by name (default); natural: 2 before 10\n"
     "  -f, --force             replace an existing TARGET_FILE without asking, and a page,\n"
     "                          playlist or JSON file already there that Lystora did not make\n"
     "      --every MINUTES     make the list, then again every MINUTES minutes, until stopped\n"
     "      --watch             make the list, then again whenever files or folders appear,\n"
     "                          vanish or move below SOURCE_DIR (once changes settle, 2 s)\n"
     "  -q, --quiet             no log line for each list made by --every or --watch\n"
     "  -h, --help              show this help\n"
     "      --version           show the version\n"
     "\n"
     "TARGET_FILE is replaced only once the new list is complete: a reader sees the old list\n"
     "or the new one, never a part of it.\n"
     "\n"
     "Exit status:\n"
     "  0  every list is written\n"
     "  1  stopped: no file found with type 0, or a list exists and is kept\n"
     "  2  an error (the lists that could be written are)\n",
     "Usage : lystora-list [OPTIONS] [REPERTOIRE_SOURCE FICHIER_CIBLE]\n"
     "Écrit la liste des fichiers audio de REPERTOIRE_SOURCE dans FICHIER_CIBLE, en texte ou en "
     "HTML.\n"
     "Ce que la ligne de commande ne dit pas vient des réglages enregistrés de Lystora, comme\n"
     "la fenêtre les utilise ; sans REPERTOIRE_SOURCE ni FICHIER_CIBLE, les répertoires source\n"
     "et cible et le nom de liste enregistrés servent : 'lystora-list --force' fait la liste\n"
     "de la fenêtre.\n"
     "\n"
     "  -t, --type 0|1|2        0 : les fichiers de REPERTOIRE_SOURCE seulement (défaut) ;\n"
     "                          1 : et les noms de tous ses sous-répertoires ; 2 : et les\n"
     "                          fichiers de chaque sous-répertoire, sous son nom\n"
     "  -p, --pattern LISTE     fichiers à lister, jokers séparés par \";\" (défaut \"*.mp3\")\n"
     "  -e, --ext, --no-ext     garder l'extension des noms de fichiers, ou non (défaut)\n"
     "      --html, --text      faire une page HTML, ou du texte (défaut)\n"
     "      --title TEXTE       titre de la page HTML\n"
     "      --base-url URL      faire de chaque fichier de la page un lien de téléchargement :\n"
     "                          URL, le répertoire du fichier sous REPERTOIRE_SOURCE, son nom\n"
     "      --no-links          pas de liens de téléchargement\n"
     "      --time, --no-time   écrire la date et l'heure de création dans l'en-tête, ou non\n"
     "      --list-lang en|fr   langue de l'en-tête et du pied de la liste (défaut fr)\n"
     "      --format FORMAT     ce que contient FICHIER_CIBLE : classic (la liste texte ou HTML,\n"
     "                          défaut), page (une page web, avec profondeur, tailles et durées),\n"
     "                          m3u8 (une liste de lecture) ou json\n"
     "      --also FORMAT:CHEMIN faire aussi CHEMIN, au format page, m3u8 ou json, du même\n"
     "                          parcours (peut être donné plusieurs fois)\n"
     "      --no-also           aucune des listes supplémentaires des réglages enregistrés\n"
     "      --tags, --no-tags   lire les tags et les durées des fichiers (pour page, m3u8, json),\n"
     "                          ou non ; ils sont gardés en cache sous $XDG_CACHE_HOME/lystora\n"
     "      --tag-limits LISTE  ce que peut coûter la lecture des tags d'un fichier, parmi\n"
     "                          memory=512M,cpu=5s,time=30s,size=4G (les défauts) : un fichier\n"
     "                          qui dépasse la mémoire ou le temps de calcul, ou fait planter sa\n"
     "                          lecture, est listé par son nom et gardé comme illisible ; un\n"
     "                          fichier qui dépasse le temps est relu la fois suivante ; un plus\n"
     "                          gros que la taille n'est pas lu\n"
     "      --forget-unreadable relire les fichiers gardés comme illisibles\n"
     "      --covers, --no-covers montrer l'image de chaque répertoire sur la page, ou non\n"
     "      --sort ORDRE        name : trier par nom (défaut) ; natural : 2 avant 10\n"
     "  -f, --force             remplacer FICHIER_CIBLE sans demander, ainsi qu'une page, une\n"
     "                          liste de lecture ou un JSON déjà là que Lystora n'a pas faits\n"
     "      --every MINUTES     faire la liste, puis à nouveau toutes les MINUTES minutes\n"
     "      --watch             faire la liste, puis à nouveau dès que des fichiers ou des\n"
     "                          répertoires apparaissent, disparaissent ou changent de nom sous\n"
     "                          REPERTOIRE_SOURCE (une fois les changements posés, 2 s)\n"
     "  -q, --quiet             pas de ligne de journal pour chaque liste de --every ou --watch\n"
     "  -h, --help              afficher cette aide\n"
     "      --version           afficher la version\n"
     "\n"
     "FICHIER_CIBLE n'est remplacé qu'une fois la nouvelle liste complète : un lecteur voit\n"
     "l'ancienne liste ou la nouvelle, jamais une partie.\n"
     "\n"
     "Code de sortie :\n"
     "  0  toutes les listes sont écrites\n"
     "  1  arrêt : aucun fichier trouvé avec le type 0, ou une liste existe et est gardée\n"
     "  2  une erreur (les listes qui pouvaient l'être sont écrites)\n"},
    {CliText::TryHelp, "Try 'lystora-list --help'.", "Essayez « lystora-list --help »."},
    {CliText::NeedTwoPaths, "Give both SOURCE_DIR and TARGET_FILE, or neither.",
     "Donnez REPERTOIRE_SOURCE et FICHIER_CIBLE, ou aucun des deux."},
    {CliText::NothingStored,
     "No SOURCE_DIR and TARGET_FILE given, and no source and target folders stored in %1.",
     "Ni REPERTOIRE_SOURCE ni FICHIER_CIBLE, et aucun répertoire source et cible enregistré "
     "dans %1."},
    {CliText::StoredRoot,
     "The stored source folder is the root \"/\" (%1): give SOURCE_DIR and TARGET_FILE, or choose "
     "the source in the window; \"/\" given on the command line is listed.",
     "Le répertoire source enregistré est la racine \"/\" (%1) : donnez REPERTOIRE_SOURCE et "
     "FICHIER_CIBLE, ou choisissez la source dans la fenêtre ; \"/\" donné sur la ligne de "
     "commande est listé."},
    {CliText::UnknownOption, "Unknown option '%1'.", "Option inconnue « %1 »."},
    {CliText::MissingValue, "Missing value after '%1'.", "Valeur manquante après « %1 »."},
    {CliText::UnexpectedValue, "Unexpected value after '%1'.", "Valeur inattendue après « %1 »."},
    {CliText::Contradiction, "--%1 and --%2 cannot be given together.",
     "--%1 et --%2 ne peuvent pas être donnés ensemble."},
    {CliText::BadType, "The listing type is 0, 1 or 2, not \"%1\".",
     "Le type de liste est 0, 1 ou 2, pas \"%1\"."},
    {CliText::BadListLang, "The list's language is en or fr, not \"%1\".",
     "La langue de la liste est en ou fr, pas \"%1\"."},
    {CliText::BadFormat, "--format takes classic, page, m3u8 or json, not \"%1\".",
     "--format prend classic, page, m3u8 ou json, pas \"%1\"."},
    {CliText::BadAlso, "--also takes FORMAT:PATH, FORMAT being page, m3u8 or json, not \"%1\".",
     "--also prend FORMAT:CHEMIN, FORMAT étant page, m3u8 ou json, pas \"%1\"."},
    {CliText::BadSort, "--sort takes name or natural, not \"%1\".",
     "--sort prend name ou natural, pas \"%1\"."},
    {CliText::BadTagLimits,
     "--tag-limits takes memory=SIZE,cpu=SECONDS,time=SECONDS,size=SIZE (memory at least 64M), "
     "not \"%1\".",
     "--tag-limits prend memory=TAILLE,cpu=SECONDES,time=SECONDES,size=TAILLE (memory d'au "
     "moins 64M), pas \"%1\"."},
    {CliText::StandardOutputAlone,
     "\"-\" as TARGET_FILE writes one list to the standard output: not with --also, --watch or "
     "--every.",
     "\"-\" comme FICHIER_CIBLE écrit une liste sur la sortie standard : pas avec --also, "
     "--watch ni --every."},
    {CliText::Written, "%1: written, %2", "%1 : écrite, %2"},
    {CliText::WouldBeWritten, "%1: would be written, %2", "%1 : serait écrite, %2"},
    {CliText::BaseUrlSlash,
     "the base URL \"%1\" does not end with \"/\": the page and the playlist link to \"%2\"; "
     "the classic list keeps it as it is",
     "l'URL de base \"%1\" ne finit pas par \"/\" : la page et la liste de lecture font leurs "
     "liens sous \"%2\" ; la liste classique la garde telle quelle"},
    {CliText::YesNo, "[y/N]", "[o/N]"},
    {CliText::NotReplaced, "Not replaced: run with --force to replace it.",
     "Non remplacé : relancez avec --force pour le remplacer."},
    {CliText::Progress, "%1 files - %2", "%1 fichiers - %2"},
    {CliText::ProgressOne, "%1 file - %2", "%1 fichier - %2"},
    {CliText::BadEvery, "--every takes a whole number of minutes from 1 to 99999, not \"%1\".",
     "--every prend un nombre entier de minutes de 1 à 99999, pas \"%1\"."},
    {CliText::WatchFallback,
     "Changes under %1 cannot all be seen (%2): the list is made again %3 instead.",
     "Les changements sous %1 ne peuvent pas tous être vus (%2) : la liste est refaite %3 à la "
     "place."},
    {CliText::WatchRemote, "%1 is on a network or FUSE file system",
     "%1 est sur un système de fichiers réseau ou FUSE"},
    {CliText::WatchLimit,
     "the system's limit of watched folders is reached, see fs.inotify.max_user_watches",
     "la limite du système en répertoires surveillés est atteinte, voir "
     "fs.inotify.max_user_watches"},
    {CliText::WatchUnavailable, "the system gives no change notification",
     "le système ne signale pas les changements"},
    {CliText::LogWritten, "%1 list written: %2 files in %3 s",
     "%1 liste écrite : %2 fichiers en %3 s"},
    {CliText::LogWrittenOne, "%1 list written: %2 file in %3 s",
     "%1 liste écrite : %2 fichier en %3 s"},
    {CliText::Files, "%1 files", "%1 fichiers"},
    {CliText::FileOne, "%1 file", "%1 fichier"},
    {CliText::LogNotWritten, "%1 list not written", "%1 liste non écrite"},
    {CliText::LogUnreadable, "(%1 unreadable folder(s))", "(%1 répertoire(s) illisible(s))"},
    {CliText::SourceGone, "%1 %2 is gone: waiting for it to come back",
     "%1 %2 a disparu : en attente de son retour"},
    {CliText::SourceBack, "%1 %2 is back: watched and listed again",
     "%1 %2 est de retour : surveillé et listé à nouveau"},
    {CliText::SourceChanged,
     "%1 %2 leads to another folder now (made again, or a disk mounted or unmounted): watched "
     "and listed again",
     "%1 %2 mène à un autre répertoire (refait, ou un disque monté ou démonté) : surveillé et "
     "listé à nouveau"},
    {CliText::EveryMinute, "every minute", "toutes les minutes"},
    {CliText::EveryMinutes, "every %1 minutes", "toutes les %1 minutes"},
};

} // namespace

QString cliText(CliText text, int langue)
{
    return pickText(kTexts, text, langue);
}

QString cliCountText(CliText many, CliText one, qint64 count, int langue)
{
    return cliText(count == 1 ? one : many, langue).arg(count);
}

QString everyMinutesText(int minutes, int langue)
{
    return minutes == 1 ? cliText(CliText::EveryMinute, langue)
                        : cliText(CliText::EveryMinutes, langue).arg(minutes);
}
