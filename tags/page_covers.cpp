#include "tags/page_covers.h"

#include "engine/file_output.h"
#include "platform/path_kind.h"
#include "platform/replacing_file.h"

#include <algorithm>
#include <iterator>

namespace {

// The names this program gives its thumbnails (and its marks of pictures that gave none), and
// the only ones it ever removes: 16 hexadecimal digits and "-s.jpg", "-l.jpg" or "-x". Known by
// their digits as a number, one set for each kind: ten thousand albums ask for theirs each list.
const char *const kThumbnailEnds[] = {"-s.jpg", "-l.jpg", "-x"};

// Whether text starts with 16 hexadecimal digits (lower case), and their value.
bool hexDigits(QByteArrayView text, quint64 *digits)
{
    if (text.size() < 16)
        return false;
    *digits = 0;
    for (int i = 0; i < 16; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            *digits = *digits << 4 | quint64(c - '0');
        else if (c >= 'a' && c <= 'f')
            *digits = *digits << 4 | quint64(c - 'a' + 10);
        else
            return false;
    }
    return true;
}

// The kind (an index of kThumbnailEnds) of a thumbnail's name, and its digits; -1 when it is none.
int thumbnailKind(QByteArrayView name, quint64 *digits)
{
    if (name.size() < 18 || name[16] != '-' || !hexDigits(name, digits))
        return -1;
    for (int kind = 0; kind < 3; ++kind) {
        if (name.sliced(16) == kThumbnailEnds[kind])
            return kind;
    }
    return -1;
}

QByteArray thumbnailName(quint64 digits, int kind)
{
    return QByteArray::number(digits, 16).rightJustified(16, '0') + kThumbnailEnds[kind];
}

bool writeWhole(const QByteArray &path, const QByteArray &bytes)
{
    ReplacingFile file(ReplacingFile::Streams::Replace);
    return file.open(path) == 0 && file.write(bytes.constData(), bytes.size()) == 0 &&
           file.commit() == 0;
}

} // namespace

PageCovers::PageCovers(const QByteArray &pagePath, const TagBudget &budget,
                       const std::shared_ptr<Known> &known)
    : budget_(budget)
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
    if (!usable_)
        return;
    // Stamped before it is read: a change while it is read makes the next list read it again.
    FolderStamp now;
    const bool stamped = folderStamp(folderPath_, &now);
    if (known && stamped && known->path == folderPath_ && known->stamp.settled &&
        known->stamp.stat == now.stat) {
        for (int kind = 0; kind < 3; ++kind)
            present_[kind] = known->present[kind];
        return;
    }
    // Read once: a page of ten thousand albums asks for each of their pictures.
    forEachNameIn(folderPath_, [this](QByteArrayView name) {
        quint64 digits = 0;
        if (const int kind = thumbnailKind(name, &digits); kind >= 0)
            present_[kind].push_back(digits);
    });
    for (std::vector<quint64> &present : present_)
        std::sort(present.begin(), present.end());
    if (known) {
        known->path = stamped ? folderPath_ : QByteArray();
        known->stamp = now;
        for (int kind = 0; kind < 3; ++kind)
            known->present[kind] = present_[kind];
    }
}

PageCovers::~PageCovers() = default;

CoverSources PageCovers::sources(const TagBudget &budget, bool dryRun)
{
    auto known = std::make_shared<Known>();
    return [budget, dryRun, known](const QByteArray &pagePath) -> std::unique_ptr<CoverSource> {
        if (dryRun || pagePath == "-")
            return nullptr;
        return std::make_unique<PageCovers>(pagePath, budget, known);
    };
}

QByteArray PageCovers::fromFile(const QByteArray &path, const QByteArray &version)
{
    // The same file unchanged gives the same name: its thumbnails are kept.
    quint64 digits = 0;
    if (!usable_ || !hexDigits(version.isEmpty() ? fileVersion(path) : version, &digits))
        return QByteArray();
    return made(digits, path, 'C');
}

QByteArray PageCovers::fromTrack(const QByteArray &path, const QByteArray &digest)
{
    quint64 digits = 0;
    if (!usable_ || digest.size() != 16 || !hexDigits(digest, &digits))
        return QByteArray();
    return made(digits, path, 'E');
}

bool PageCovers::present(int kind, quint64 digits) const
{
    const std::vector<quint64> &present = present_[kind];
    return std::binary_search(present.begin(), present.end(), digits);
}

QByteArray PageCovers::made(quint64 digits, const QByteArray &path, char kind)
{
    enum { Small, Large, None };
    // A picture that gave no thumbnail (not one, cut short, one its reader died of) is not
    // tried again until it changes: each list would decode every bad upload anew.
    if (present(None, digits)) {
        usedNone_.push_back(digits);
        return QByteArray();
    }
    if (addressStart_.isEmpty())
        addressStart_ = percentEncoded(folderName_, false) + '/';
    const QByteArray address = addressStart_ + thumbnailName(digits, Small);
    if (present(Small, digits) && present(Large, digits)) {
        used_.push_back(digits);
        return address;
    }
    // Made by this list already, for a folder before (an album's picture in two of them).
    if (const auto made = made_.find(digits); made != made_.end())
        return made->second ? address : QByteArray();
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
        if (writeWhole(folderPath_ + '/' + thumbnailName(digits, None), QByteArray())) {
            made_[digits] = false;
            usedNone_.push_back(digits);
        }
        return QByteArray();
    }
    if (!writeWhole(folderPath_ + '/' + thumbnailName(digits, Large), largeJpeg) ||
        !writeWhole(folderPath_ + '/' + thumbnailName(digits, Small), smallJpeg))
        return QByteArray();
    made_[digits] = true;
    used_.push_back(digits);
    return address;
}

void PageCovers::finish(bool pageWritten)
{
    if (!usable_ || !pageWritten)
        return;
    for (std::vector<quint64> *used : {&used_, &usedNone_}) {
        std::sort(used->begin(), used->end());
        used->erase(std::unique(used->begin(), used->end()), used->end());
    }
    for (int kind = 0; kind < 3; ++kind) {
        const std::vector<quint64> &used = kind == 2 ? usedNone_ : used_;
        // Both sorted: side by side, once.
        std::vector<quint64> unused;
        std::set_difference(present_[kind].begin(), present_[kind].end(), used.begin(), used.end(),
                            std::back_inserter(unused));
        for (const quint64 digits : unused)
            removeFileIn(folderPath_, thumbnailName(digits, kind));
    }
}
