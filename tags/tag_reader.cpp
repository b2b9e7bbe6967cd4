#include "tag_reader.h"

#include "tags/track_wire.h"

#include <QCryptographicHash>

#include <taglib/attachedpictureframe.h>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tiostream.h>
#include <taglib/tstring.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString text(const TagLib::String &string)
{
    return boundedTagText(QString::fromStdString(string.to8Bit(true)).trimmed());
}

// A file read with pread() through a few cached blocks. TagLib seeks and reads in small steps,
// and asks for the length again and again: through a FILE that is a system call each, which
// costs more than the parsing when a library of small files is read.
class BlockStream : public TagLib::IOStream
{
public:
    BlockStream(int fd, const QByteArray &name) : fd_(fd), name_(name)
    {
        struct stat st {};
        length_ = ::fstat(fd, &st) == 0 ? long(st.st_size) : 0;
    }
    ~BlockStream() override { ::close(fd_); }

    // No name: the format is told by the contents, as a crafted file named .mp3 could lie.
    TagLib::FileName name() const override { return ""; }
    TagLib::ByteVector readBlock(unsigned long length) override
    {
        const long wanted = long(std::min<unsigned long>(length, std::max(length_ - at_, 0L)));
        TagLib::ByteVector data(unsigned(wanted), '\0');
        long done = 0;
        while (done < wanted) {
            const long block = (at_ + done) / kBlock;
            const QByteArray &bytes = cached(block);
            const long offset = at_ + done - block * kBlock;
            const long take = std::min<long>(wanted - done, long(bytes.size()) - offset);
            if (take <= 0)
                break;
            std::memcpy(data.data() + done, bytes.constData() + offset, std::size_t(take));
            done += take;
        }
        data.resize(unsigned(done));
        at_ += done;
        return data;
    }
    void writeBlock(const TagLib::ByteVector &) override {}
    void insert(const TagLib::ByteVector &, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return fd_ >= 0; }
    void seek(long offset, Position p) override
    {
        const long from = p == Beginning ? 0 : p == Current ? at_ : length_;
        at_ = std::max(from + offset, 0L);
    }
    void clear() override {}
    long tell() const override { return at_; }
    long length() override { return length_; }
    void truncate(long) override {}

private:
    static constexpr long kBlock = 64 * 1024;
    static constexpr std::size_t kBlocks = 8;

    // The block, read once; a few are kept, the oldest dropped first.
    const QByteArray &cached(long block)
    {
        for (const auto &[number, bytes] : blocks_) {
            if (number == block)
                return bytes;
        }
        if (blocks_.size() == kBlocks)
            blocks_.erase(blocks_.begin());
        QByteArray bytes(kBlock, Qt::Uninitialized);
        ssize_t got;
        do {
            got = ::pread(fd_, bytes.data(), std::size_t(kBlock), off_t(block) * kBlock);
        } while (got < 0 && errno == EINTR);
        bytes.truncate(got > 0 ? got : 0);
        blocks_.emplace_back(block, std::move(bytes));
        return blocks_.back().second;
    }

    int fd_;
    QByteArray name_;
    long length_ = 0;
    long at_ = 0;
    std::vector<std::pair<long, QByteArray>> blocks_;
};

QByteArray bytesOf(const TagLib::ByteVector &data)
{
    return QByteArray(data.data(), qsizetype(data.size()));
}

QByteArray id3v2Picture(TagLib::ID3v2::Tag *tag)
{
    if (!tag)
        return QByteArray();
    const TagLib::ID3v2::FrameList frames = tag->frameListMap()["APIC"];
    for (TagLib::ID3v2::Frame *frame : frames) {
        if (const auto *picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame))
            return bytesOf(picture->picture());
    }
    return QByteArray();
}

QByteArray xiphPicture(TagLib::Ogg::XiphComment *comment)
{
    if (!comment)
        return QByteArray();
    const TagLib::List<TagLib::FLAC::Picture *> pictures = comment->pictureList();
    return pictures.isEmpty() ? QByteArray() : bytesOf(pictures.front()->data());
}

// The first picture a file holds, in the place its format keeps pictures.
QByteArray embeddedPicture(TagLib::File *file)
{
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(file))
        return id3v2Picture(mpeg->ID3v2Tag());
    if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(file)) {
        const TagLib::List<TagLib::FLAC::Picture *> pictures = flac->pictureList();
        if (!pictures.isEmpty())
            return bytesOf(pictures.front()->data());
        return xiphPicture(flac->xiphComment());
    }
    if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(file)) {
        if (TagLib::MP4::Tag *tag = mp4->tag(); tag && tag->contains("covr")) {
            const TagLib::MP4::CoverArtList covers = tag->item("covr").toCoverArtList();
            if (!covers.isEmpty())
                return bytesOf(covers.front().data());
        }
        return QByteArray();
    }
    if (auto *vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File *>(file))
        return xiphPicture(vorbis->tag());
    if (auto *opus = dynamic_cast<TagLib::Ogg::Opus::File *>(file))
        return xiphPicture(opus->tag());
    if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file))
        return id3v2Picture(wav->ID3v2Tag());
    return QByteArray();
}

} // namespace

QByteArray pictureDigest(const QByteArray &picture)
{
    return QCryptographicHash::hash(picture, QCryptographicHash::Sha256).toHex().left(16);
}

TrackInfo readTrackInfo(int fd, QByteArray *picture)
{
    TrackInfo info;
    if (fd < 0)
        return info;
    BlockStream stream(fd, QByteArray());
    const TagLib::FileRef file(&stream, true, TagLib::AudioProperties::Average);
    if (file.isNull())
        return info;
    if (const TagLib::Tag *tag = file.tag()) {
        info.title = text(tag->title());
        info.artist = text(tag->artist());
        info.album = text(tag->album());
        info.track = int(tag->track());
    }
    if (const TagLib::AudioProperties *properties = file.audioProperties()) {
        info.durationMs = properties->lengthInMilliseconds();
        info.bitrate = properties->bitrate();
    }
    const QByteArray embedded = embeddedPicture(file.file());
    if (!embedded.isEmpty())
        info.picture = pictureDigest(embedded);
    if (picture)
        *picture = embedded;
    info.read = true;
    return info;
}
