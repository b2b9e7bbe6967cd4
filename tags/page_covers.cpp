#include "tags/page_covers.h"

#include "engine/file_output.h"
#include "platform/path_kind.h"
#include "platform/replacing_file.h"

#include <algorithm>

namespace {

// The names this program gives its thumbnails (and its marks of pictures that gave none), and
// the only ones it ever removes: 16 hexadecimal digits and "-s.jpg", "-l.jpg" or "-x". Known by
// their digits as a number, with a bit for each kind there: ten thousand albums ask for theirs
// each list.
const char *const kThumbnailEnds[] = {"-s.jpg", "-l.jpg", "-x"};
enum Kind { Small, Large, None };
constexpr quint8 kBothSizes = 1 << Small | 1 << Large;

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

QByteArray &appendThumbnailName(QByteArray &to, quint64 digits, int kind)
{
    const qsizetype at = to.size();
    to.resize(at + 16);
    for (qsizetype i = at + 15; i >= at; --i, digits >>= 4)
        to[i] = "0123456789abcdef"[digits & 15];
    return to.append(kThumbnailEnds[kind]);
}

QByteArray thumbnailName(quint64 digits, int kind)
{
    QByteArray name;
    return appendThumbnailName(name, digits, kind);
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
    folderName_ = picturesFolderName(pagePath);
    folderPath_ = (folder.endsWith('/') ? folder : folder + '/') + folderName_;
    usable_ = makeOwnFolder(folderPath_) == 0;
    if (!usable_)
        return;
    // Stamped before it is read: a change while it is read makes the next list read it again.
    FolderStamp now;
    const bool stamped = folderStamp(folderPath_, &now);
    if (known && stamped && known->path == folderPath_ && known->stamp.settled &&
        known->stamp.stat == now.stat) {
        present_ = known->present;
        index();
        return;
    }
    // Read once: a page of ten thousand albums asks for each of their pictures.
    forEachNameIn(folderPath_, [this](QByteArrayView name) {
        quint64 digits = 0;
        if (const int kind = thumbnailKind(name, &digits); kind >= 0)
            present_.push_back({digits, quint8(1 << kind), 0});
    });
    const auto byDigits = [](const Thumbnail &a, const Thumbnail &b) {
        return a.digits < b.digits;
    };
    std::sort(present_.begin(), present_.end(), byDigits);
    // One entry for the kinds of one picture.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < present_.size(); ++i) {
        if (kept > 0 && present_[kept - 1].digits == present_[i].digits)
            present_[kept - 1].kinds |= present_[i].kinds;
        else
            present_[kept++] = present_[i];
    }
    present_.resize(kept);
    index();
    if (known) {
        known->path = stamped ? folderPath_ : QByteArray();
        known->stamp = now;
        known->present = present_;
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

QByteArray PageCovers::fromFile(const std::function<QByteArray()> &path, QByteArrayView version)
{
    // The same file unchanged gives the same name: its thumbnails are kept.
    quint64 digits = 0;
    if (!usable_ ||
        !hexDigits(version.isEmpty() ? QByteArrayView(fileVersion(path())) : version, &digits))
        return QByteArray();
    return made(digits, path, 'C');
}

QByteArray PageCovers::fromTrack(const QByteArray &path, const QByteArray &digest)
{
    quint64 digits = 0;
    if (!usable_ || digest.size() != 16 || !hexDigits(digest, &digits))
        return QByteArray();
    const auto pathOf = [&path] { return path; };
    return made(digits, pathOf, 'E');
}

void PageCovers::index()
{
    for (Thumbnail &thumbnail : present_)
        thumbnail.used = 0;
    // Digits are digests, spread evenly: their first bits say where to look, among about two.
    // A binary search over a hundred thousand albums took seventeen steps, most a miss of the
    // cache, and took a twentieth of a change's walk on 1,000,000 files.
    int bits = 1;
    while (bits < 24 && (std::size_t(1) << (bits + 1)) < present_.size())
        ++bits;
    shift_ = 64 - bits;
    const std::size_t buckets = std::size_t(1) << bits;
    firstOf_.assign(buckets + 1, 0);
    std::size_t i = 0;
    for (std::size_t bucket = 0; bucket <= buckets; ++bucket) {
        while (i < present_.size() && (present_[i].digits >> shift_) < bucket)
            ++i;
        firstOf_[bucket] = quint32(i);
    }
}

qsizetype PageCovers::present(quint64 digits) const
{
    if (firstOf_.empty())
        return -1;
    const std::size_t bucket = std::size_t(digits >> shift_);
    for (quint32 i = firstOf_[bucket]; i < firstOf_[bucket + 1]; ++i) {
        if (present_[i].digits == digits)
            return qsizetype(i);
    }
    return -1;
}

QByteArray PageCovers::made(quint64 digits, const std::function<QByteArray()> &path, char kind)
{
    // A picture that gave no thumbnail (not one, cut short, one its reader died of) is not
    // tried again until it changes: each list would decode every bad upload anew.
    const qsizetype there = present(digits);
    const quint8 kinds = there >= 0 ? present_[std::size_t(there)].kinds : 0;
    if (kinds & 1 << None) {
        present_[std::size_t(there)].used |= 1 << None;
        return QByteArray();
    }
    if (addressStart_.isEmpty())
        addressStart_ = percentEncoded(folderName_, false) + '/';
    QByteArray address = addressStart_;
    appendThumbnailName(address, digits, Small);
    if ((kinds & kBothSizes) == kBothSizes) {
        present_[std::size_t(there)].used |= kBothSizes;
        return address;
    }
    // Made by this list already, for a folder before (an album's picture in two of them).
    if (const auto made = made_.find(digits); made != made_.end())
        return made->second ? address : QByteArray();
    if (!readers_)
        readers_ = std::make_unique<TagReaders>(budget_, 1);
    // Without readers, each picture would be opened only to be refused.
    if (!readers_->problem().isEmpty())
        return QByteArray();
    const int fd = openForReading(path());
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
        if (writeWhole(folderPath_ + '/' + thumbnailName(digits, None), QByteArray()))
            made_[digits] = false;
        return QByteArray();
    }
    if (!writeWhole(folderPath_ + '/' + thumbnailName(digits, Large), largeJpeg) ||
        !writeWhole(folderPath_ + '/' + thumbnailName(digits, Small), smallJpeg))
        return QByteArray();
    made_[digits] = true;
    if (there >= 0) // one size was there, made again with the other
        present_[std::size_t(there)].used |= kBothSizes;
    return address;
}

QString PageCovers::problem() const
{
    return readers_ ? readers_->problem() : QString();
}

void PageCovers::finish(bool pageWritten)
{
    if (!usable_ || !pageWritten)
        return;
    for (std::size_t i = 0; i < present_.size(); ++i) {
        for (int kind = 0; kind < 3; ++kind) {
            if ((present_[i].kinds & ~present_[i].used) & 1 << kind)
                removeFileIn(folderPath_, thumbnailName(present_[i].digits, kind));
        }
    }
}
