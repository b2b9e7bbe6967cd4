#include "tag_reader.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tfilestream.h>
#include <taglib/tstring.h>

#include <unistd.h>

namespace {

QString text(const TagLib::String &string)
{
    return QString::fromStdString(string.to8Bit(true)).trimmed();
}

} // namespace

TrackInfo readTrackInfo(int fd)
{
    TrackInfo info;
    if (fd < 0)
        return info;
    // The stream owns the descriptor from here (it closes it with its FILE).
    TagLib::FileStream stream(fd, true);
    if (!stream.isOpen()) {
        ::close(fd);
        return info;
    }
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
    info.read = true;
    return info;
}
