#include "tags/page_covers.h"

#include "engine/file_output.h"
#include "platform/path_kind.h"
#include "platform/replacing_file.h"

#include <QCryptographicHash>

namespace {

// The names this program gives its thumbnails (and its marks of pictures that gave none), and
// the only ones it ever removes: 16 hexadecimal digits and "-s.jpg", "-l.jpg" or "-x". Known by a
// number each, their digits and their kind: ten thousand albums ask for theirs each list.
enum ThumbnailKind : quint64 { Small, Large, None };
const char *const kThumbnailEnds[] = {"-s.jpg", "-l.jpg", "-x"};

quint64 thumbnailKey(QByteArrayView name)
{
    if (name.size() < 18 || name[16] != '-')
        return 0;
    quint64 digits = 0;
    for (int i = 0; i < 16; ++i) {
        const char c = name[i];
        if (c >= '0' && c <= '9')
            digits = digits << 4 | quint64(c - '0');
        else if (c >= 'a' && c <= 'f')
            digits = digits << 4 | quint64(c - 'a' + 10);
        else
            return 0;
    }
    for (quint64 kind : {Small, Large, None}) {
        if (name.sliced(16) == kThumbnailEnds[kind])
            return (digits << 2 | kind) + 1; // 0 stands for none
    }
    return 0;
}

QByteArray thumbnailName(quint64 key)
{
    --key;
    const quint64 kind = key & 3;
    QByteArray name = QByteArray::number(key >> 2, 16).rightJustified(16, '0');
    return name + kThumbnailEnds[kind];
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
        for (const QByteArray &name : namesIn(folderPath_)) {
            if (const quint64 key = thumbnailKey(name))
                present_.insert(key);
        }
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
    const quint64 small = thumbnailKey(name + kThumbnailEnds[Small]);
    const quint64 large = small + 1;
    const quint64 none = small + 2;
    if (small == 0)
        return QByteArray();
    if (addressStart_.isEmpty())
        addressStart_ = percentEncoded(folderName_, false) + '/';
    const QByteArray address = addressStart_ + name + kThumbnailEnds[Small];
    if (used_.count(small))
        return address;
    // A picture that gave no thumbnail (not one, cut short, one its reader died of) is not
    // tried again until it changes: each list would decode every bad upload anew.
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
            if (writeWhole(folderPath_ + '/' + thumbnailName(none), QByteArray()))
                used_.insert(none);
            return QByteArray();
        }
        if (!writeWhole(folderPath_ + '/' + thumbnailName(large), largeJpeg) ||
            !writeWhole(folderPath_ + '/' + thumbnailName(small), smallJpeg))
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
    for (const quint64 key : present_) {
        if (used_.count(key) == 0)
            removeFileIn(folderPath_, thumbnailName(key));
    }
}
