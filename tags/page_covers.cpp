#include "tags/page_covers.h"

#include "engine/file_output.h"
#include "platform/path_kind.h"
#include "platform/replacing_file.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace {

// The names this program gives its thumbnails (and its marks of pictures that gave none), and
// the only ones it ever removes.
bool isThumbnailName(const QByteArray &name)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{16}-([sl]\\.jpg|x)$"));
    return form.match(QString::fromLatin1(name)).hasMatch();
}

bool writeWhole(const QByteArray &path, const QByteArray &bytes)
{
    ReplacingFile file(ReplacingFile::Streams::Replace);
    return file.open(path) == 0 && file.write(bytes.constData(), bytes.size()) == 0 &&
           file.commit() == 0;
}

} // namespace

PageCovers::PageCovers(const QByteArray &pagePath, const TagBudget &budget) : budget_(budget)
{
    const qsizetype slash = pagePath.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : pagePath.left(slash);
    QByteArray stem = pagePath.mid(slash + 1);
    const qsizetype dot = stem.lastIndexOf('.');
    if (dot > 0)
        stem.truncate(dot);
    folderName_ = stem + ".covers";
    folderPath_ = (folder.endsWith('/') ? folder : folder + '/') + folderName_;
    usable_ = makeOwnFolder(folderPath_) == 0;
    // Read once: a page of ten thousand albums asks for each of their pictures.
    if (usable_) {
        for (const QByteArray &name : namesIn(folderPath_))
            present_.insert(name);
    }
}

PageCovers::~PageCovers() = default;

CoverSources PageCovers::sources(const TagBudget &budget, bool dryRun)
{
    return [budget, dryRun](const QByteArray &pagePath) -> std::unique_ptr<CoverSource> {
        if (dryRun || pagePath == "-")
            return nullptr;
        return std::make_unique<PageCovers>(pagePath, budget);
    };
}

QByteArray PageCovers::fromFile(const QByteArray &path, const QByteArray &version)
{
    // The same file unchanged gives the same name: its thumbnails are kept.
    const QByteArray identity = !usable_            ? QByteArray()
                                : version.isEmpty() ? fileVersion(path)
                                                    : version;
    if (identity.isEmpty())
        return QByteArray();
    const QByteArray name =
        QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(16);
    return made(name, path, 'C');
}

QByteArray PageCovers::fromTrack(const QByteArray &path, const QByteArray &digest)
{
    if (!usable_ || digest.size() != 16)
        return QByteArray();
    return made(digest, path, 'E');
}

QByteArray PageCovers::made(const QByteArray &name, const QByteArray &path, char kind)
{
    const QByteArray small = name + "-s.jpg";
    const QByteArray large = name + "-l.jpg";
    const QByteArray address = percentEncoded(folderName_, false) + '/' + small;
    if (used_.count(small))
        return address;
    const QByteArray smallPath = folderPath_ + '/' + small;
    const QByteArray largePath = folderPath_ + '/' + large;
    // A picture that gave no thumbnail (not one, cut short, one its reader died of) is not
    // tried again until it changes: each list would decode every bad upload anew.
    const QByteArray none = name + "-x";
    if (present_.count(none)) {
        used_.insert(none);
        return QByteArray();
    }
    if (!present_.count(small) || !present_.count(large)) {
        if (!readers_)
            readers_ = std::make_unique<TagReaders>(budget_, 1);
        const int fd = openForReading(path);
        if (fd < 0)
            return QByteArray();
        const quint64 ticket = ticket_++;
        if (!readers_->submit(ticket, fd, kind))
            return QByteArray();
        std::vector<ReaderAnswer> answers;
        while (readers_->due() > 0)
            readers_->collect(true, answers);
        QByteArray smallJpeg;
        QByteArray largeJpeg;
        if (!readers_->takeThumbnails(ticket, &smallJpeg, &largeJpeg)) {
            if (writeWhole(folderPath_ + '/' + none, QByteArray()))
                used_.insert(none);
            return QByteArray();
        }
        if (!writeWhole(largePath, largeJpeg) || !writeWhole(smallPath, smallJpeg))
            return QByteArray();
    }
    used_.insert(small);
    used_.insert(large);
    return address;
}

void PageCovers::finish(bool pageWritten)
{
    if (!usable_ || !pageWritten)
        return;
    for (const QByteArray &name : present_) {
        if (isThumbnailName(name) && used_.count(name) == 0)
            removeFileIn(folderPath_, name);
    }
}
