#include "engine/bilingual_text.h"
#include "engine/entry_lines.h"
#include "engine/file_output.h"
#include "engine/product.h"

#include <vector>

namespace {

enum class PageText { Made, Filter, Files, File, Folders, Folder, Total, Again, NoTitle, Track };

const BilingualText<PageText> kTexts[] = {
    {PageText::Made, "List created on %1 by %2", "Liste générée le %1 par %2"},
    {PageText::Filter, "Filter", "Filtrer"},
    {PageText::Files, "%1 files", "%1 fichiers"},
    {PageText::File, "1 file", "1 fichier"},
    {PageText::Folders, "%1 folders", "%1 répertoires"},
    {PageText::Folder, "1 folder", "1 répertoire"},
    {PageText::Total, "In all: %1", "En tout : %1"},
    {PageText::Again, "listed above", "listé plus haut"},
    {PageText::NoTitle, "Music", "Musique"},
    {PageText::Track, "track %1", "piste %1"},
};

// The page is ASCII alone: whatever charset a web server declares for it (UTF-8, ISO-8859-1 or
// none), it reads the same. Every other character is a numeric reference.
void appendHtml(QByteArray &out, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Most of a page: characters that stand for themselves, a run at a time.
        qsizetype end = i;
        while (end < text.size() && text[end].unicode() >= 0x20 && text[end].unicode() < 0x7F &&
               text[end] != QLatin1Char('&') && text[end] != QLatin1Char('<') &&
               text[end] != QLatin1Char('>') && text[end] != QLatin1Char('"'))
            ++end;
        if (end > i) {
            const qsizetype at = out.size();
            out.resize(at + (end - i));
            for (char *to = out.data() + at; i < end; ++i)
                *to++ = char(text[i].unicode());
            if (i == text.size())
                break;
        }
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        } else if (text[i].isSurrogate()) {
            c = 0xFFFD;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                out += '?';
            else if (c < 0x80)
                out += char(c);
            else
                out += "&#" + QByteArray::number(uint(c)) + ';';
        }
    }
}

QByteArray html(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    appendHtml(out, text);
    return out;
}

const char *const kStyle =
    "body{font-family:sans-serif;max-width:60em;margin:0 auto;padding:0 1em;line-height:1.4}"
    "h1{font-size:1.5em;margin-bottom:.2em}"
    "ul.folders{list-style:none;padding-left:1em;border-left:1px solid #ccc}"
    "main>ul.folders{border-left:0;padding-left:0}"
    "li.folder{margin:.5em 0}"
    "li.folder>.name{font-weight:bold}"
    ".meta,.info,.time,.size{color:#555;font-size:.9em}"
    "ol.files{padding-left:2em;margin:.2em 0}"
    "#filter input{font-size:1em;width:100%;max-width:20em}"
    "footer{margin:1em 0;border-top:1px solid #ccc;color:#555}"
    "@media print{#filter{display:none}a{color:inherit;text-decoration:none}"
    "ul.folders{border-left:0}}";

// The filter box is made by the script itself: without scripts the page is whole, and nothing
// on it does nothing.
const char *const kScript =
    "(function(){var p=document.getElementById('filter');p.hidden=false;"
    "var q=p.querySelector('input');q.addEventListener('input',function(){"
    "var w=q.value.toLowerCase();"
    "document.querySelectorAll('li.file').forEach(function(l){"
    "l.hidden=w!==''&&l.textContent.toLowerCase().indexOf(w)<0;});"
    "var d=document.querySelectorAll('li.folder');for(var i=d.length-1;i>=0;i--){"
    "d[i].hidden=w!==''&&!d[i].querySelector('li.file:not([hidden])');}});})();";

class PageOutput : public FileOutput
{
public:
    using FileOutput::FileOutput;

    bool wantsDetails() const override { return true; }

    void enter(const OutputDirectory &dir) override
    {
        Folder &parent = folders_.back();
        showFolder(parent);
        if (!parent.subFoldersOpen)
            write("<ul class=\"folders\">\n");
        parent.subFoldersOpen = true;
        ++totalFolders_;
        Folder folder;
        folder.name = html(shownText(QString::fromUtf8(dir.name)));
        folder.contentsListed = dir.contentsListed;
        folders_.push_back(std::move(folder));
    }

    void file(const OutputFile &file) override
    {
        Folder &folder = folders_.back();
        const TrackInfo *track = file.track && file.track->read ? file.track : nullptr;
        const QString title = track && !track->title.isEmpty() ? withoutControls(track->title)
                                                               : shownName(context(), file);
        // The link: the same start for every file of a folder, then the name.
        if (!linkStartKnown_ || file.dir != linkDir_) {
            linkDir_ = file.dir;
            linkStartKnown_ = true;
            if (context().settings->DownAllow) {
                linkStart_ = html(linkBaseUrl(context().settings->BaseUrl)) +
                             percentEncoded(file.dir.isEmpty() ? file.dir : file.dir + '/', true);
            } else {
                // Placed in the folder as a name would be, then taken off again.
                OutputFile placeholder = file;
                const ListedName name{"x", QString()};
                placeholder.name = &name;
                const QByteArray path =
                    relativePath(folder_(), absolutePath(context(), placeholder));
                linkStart_ = percentEncoded(path.left(path.size() - 1), true);
            }
        }
        QByteArray &out = folder.files;
        out += "<li class=\"file\"><a href=\"";
        out += linkStart_;
        appendPercentEncoded(out, file.name->bytes, true);
        out += "\">";
        appendHtml(out, title);
        out += "</a>";
        if (track) {
            QStringList info;
            for (const QString &part : {track->artist, track->album})
                if (!part.isEmpty())
                    info << withoutControls(part);
            if (track->track > 0)
                info << text(PageText::Track).arg(track->track);
            if (!info.isEmpty())
                out += "<span class=\"info\"> &#8212; " +
                       html(info.join(QStringLiteral(" \u00b7 "))) + "</span>";
            if (track->durationMs > 0)
                out += " <span class=\"time\">" + html(durationText(track->durationMs)) + "</span>";
            folder.durationMs += track->durationMs;
            totalDurationMs_ += track->durationMs;
        }
        if (file.statKnown) {
            out += " <span class=\"size\">";
            appendHtml(out, sizeText(file.stat.size, context().settings->FileLangue));
            out += "</span>";
            totalSize_ += file.stat.size;
        }
        out += "</li>\n";
        ++folder.count;
        ++totalFiles_;
    }

    void leave() override
    {
        Folder &folder = folders_.back();
        showFolder(folder);
        if (folder.subFoldersOpen)
            write("</ul>\n");
        write("</li>\n");
        folders_.pop_back();
    }

private:
    struct Folder {
        QByteArray name; // as the page shows it
        bool contentsListed = true;
        QByteArray files; // its own files, shown once they are all known
        int count = 0;
        qint64 durationMs = 0;
        bool shown = false;
        bool subFoldersOpen = false;
    };

    const QByteArray &folder_() const { return FileOutput::folder(); }
    int langue() const { return context().settings->FileLangue; }
    QString text(PageText key) const { return pickText(kTexts, key, langue()); }

    QString counted(int n, PageText one, PageText many) const
    {
        return n == 1 ? text(one) : text(many).arg(n);
    }

    QByteArray summary(int files, qint64 durationMs) const
    {
        QString line = counted(files, PageText::File, PageText::Files);
        if (durationMs > 0)
            line += QStringLiteral(", ") + durationText(durationMs);
        return html(line);
    }

    // A folder's line and its own files, once they are all known: the next thing is one of its
    // sub-folders, or its end.
    void showFolder(Folder &folder)
    {
        if (folder.shown)
            return;
        folder.shown = true;
        const bool root = &folder == &folders_.front();
        if (!root) {
            write("<li class=\"folder\"><span class=\"name\">" + folder.name + "</span> ");
            write("<span class=\"meta\">(" +
                  (folder.contentsListed ? summary(folder.count, folder.durationMs)
                                         : html(text(PageText::Again))) +
                  ")</span>\n");
        } else if (folder.count > 0) {
            write("<p class=\"meta\">" + summary(folder.count, folder.durationMs) + "</p>\n");
        }
        if (folder.count > 0)
            write("<ol class=\"files\">\n" + folder.files + "</ol>\n");
        folder.files.clear();
    }

    void writeStart() override
    {
        folders_.assign(1, Folder());
        linkStartKnown_ = false;
        totalFolders_ = totalFiles_ = 0;
        totalDurationMs_ = totalSize_ = 0;
        const ListingSettings &s = *context().settings;
        const QString title = s.TitleHTML.isEmpty() ? text(PageText::NoTitle) : s.TitleHTML;
        const QString made = context().made.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        write("<!DOCTYPE html>\n<html lang=\"" + QByteArray(inFrench(langue()) ? "fr" : "en") +
              "\">\n<head>\n<meta charset=\"utf-8\">\n"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
              "<meta name=\"generator\" content=\"" +
              html(productName()) + "\">\n<title>" + html(title) + "</title>\n<style>" + kStyle +
              "</style>\n</head>\n<body>\n<header>\n<h1>" + html(title) + "</h1>\n<p>" +
              html(text(PageText::Made))
                  .replace("%1", "<time datetime=\"" +
                                     context().made.toString(Qt::ISODate).toLatin1() + "\">" +
                                     html(made) + "</time>")
                  .replace("%2", html(productName())) +
              "</p>\n<p id=\"filter\" hidden><label>" + html(text(PageText::Filter)) +
              " <input type=\"search\"></label></p>\n</header>\n<main>\n");
    }

    void writeEnd() override
    {
        Folder &root = folders_.front();
        showFolder(root);
        if (root.subFoldersOpen)
            write("</ul>\n");
        QString totals = counted(totalFolders_, PageText::Folder, PageText::Folders) +
                         QStringLiteral(", ") +
                         counted(totalFiles_, PageText::File, PageText::Files);
        if (totalDurationMs_ > 0)
            totals += QStringLiteral(", ") + durationText(totalDurationMs_);
        if (totalSize_ > 0)
            totals += QStringLiteral(", ") + sizeText(totalSize_, langue());
        write("</main>\n<footer>\n<p>" + html(text(PageText::Total).arg(totals)) + "</p>\n<p>" +
              html(productName()) + " <a href=\"" + html(homePageAddress()) + "\">" +
              html(homePageAddress()) + "</a></p>\n</footer>\n<script>" + kScript +
              "</script>\n</body>\n</html>\n");
    }

    std::vector<Folder> folders_; // the source, then each folder the walk stands in
    QByteArray linkDir_;          // the folder of the last link made, and its start
    QByteArray linkStart_;
    bool linkStartKnown_ = false;
    int totalFolders_ = 0;
    int totalFiles_ = 0;
    qint64 totalDurationMs_ = 0;
    qint64 totalSize_ = 0;
};

} // namespace

std::unique_ptr<ListOutput> makePageOutput(const OutputRequest &request)
{
    return std::make_unique<PageOutput>(request);
}
