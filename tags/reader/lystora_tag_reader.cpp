// lystora-tag-reader: reads the tags of the files lystora and lystora-list hand it, one at a
// time, in a process of its own (see tag_readers.h). Started by them, never by a user.
//
//   lystora-tag-reader --memory BYTES --cpu SECONDS
//
// It sets its limits, shuts itself off from the rest of the system (no file can be opened, no
// process started), says it is ready, then answers each request until its socket closes.

#include "platform/worker_side.h"
#include "tags/tag_reader.h"
#include "tags/thumbnails.h"
#include "tags/track_wire.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizers map far more address space than they use, and read files of their own when
// they report: neither limit can hold under them; their allocator keeps the memory budget.
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A picture file's whole bytes, within a bound: a cover is a few megabytes at most.
QByteArray readPicture(int fd)
{
    constexpr qsizetype kLargestPicture = 32 * 1024 * 1024;
    QByteArray bytes;
    char block[64 * 1024];
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;) {
        bytes.append(block, got);
        if (bytes.size() > kLargestPicture) {
            bytes.clear();
            break;
        }
    }
    ::close(fd);
    return bytes;
}

QByteArray thumbnails(const QByteArray &picture)
{
    QByteArray small;
    QByteArray large;
    return makeThumbnails(picture, &small, &large) ? encodeThumbnails(small, large)
                                                   : encodeReply(ReplyStatus::Nothing);
}

// Requests: "T" a track's tags, "C" thumbnails of a picture file, "E" thumbnails of the first
// picture embedded in a track.
QByteArray answer(int fd, char kind)
{
    try {
        if (kind == 'C')
            return thumbnails(readPicture(fd));
        QByteArray picture;
        const TrackInfo info = readTrackInfo(fd, kind == 'E' ? &picture : nullptr);
        if (kind == 'E')
            return thumbnails(picture);
        return info.read ? encodeReply(ReplyStatus::Read, &info)
                         : encodeReply(ReplyStatus::Nothing);
    } catch (const std::bad_alloc &) {
        return encodeReply(ReplyStatus::OutOfMemory);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qint64 memory = 0;
    int cpu = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--memory"))
            memory = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cpu"))
            cpu = std::atoi(argv[i + 1]);
    }
    struct stat socket {};
    if (memory <= 0 || cpu <= 0 || ::fstat(3, &socket) != 0 || !S_ISSOCK(socket.st_mode)) {
        std::fputs("lystora-tag-reader: started by lystora and lystora-list only\n", stderr);
        return 2;
    }
    // The threads Qt scales pictures on wait in its own event loop, not GLib's, which would
    // want more of the system than a reader is left.
    qputenv("QT_NO_GLIB", "1");
    // What a damaged picture makes a decoder say is nobody's business: the file is answered.
    qputenv("QT_LOGGING_RULES", "*=false");
    // What must be read from disk is read before the door closes.
    preloadImageFormats();
    if (!kSanitized) {
        limitProcess(memory);
        if (!enterSandbox())
            std::fputs("lystora-tag-reader: this system cannot filter what a process does; "
                       "reading with the limits alone\n",
                       stderr);
    } else {
        limitProcess(0);
    }
    if (!sendReply(encodeReply(ReplyStatus::Ready)))
        return 0;
    for (;;) {
        int fd = -1;
        QByteArray request;
        if (!receiveRequest(&fd, &request))
            return 0;
        limitCpuFromNow(cpu);
        QByteArray reply;
        if (fd >= 0 && request.size() >= 1 && QByteArray("TCE").contains(request[0])) {
            reply = answer(fd, request[0]); // which closes it
        } else {
            if (fd >= 0)
                ::close(fd);
            reply = encodeReply(ReplyStatus::Nothing);
        }
        if (!sendReply(reply) || reply.startsWith(char(ReplyStatus::OutOfMemory)))
            return 0;
    }
}
