#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

TempTree::TempTree()
{
    if (!dir_.isValid())
        std::abort();
}

// Empties the folder open as dirFd, whatever its names' bytes, at any depth; sub-folders are
// made writable first (a test may have taken that right away).
static void emptyFolder(int dirFd)
{
    DIR *listing = ::fdopendir(::dup(dirFd));
    if (!listing)
        return;
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    for (const std::string &name : names) {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            ::fchmodat(dirFd, name.c_str(), 0700, 0);
            const int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (sub >= 0) {
                emptyFolder(sub);
                ::close(sub);
            }
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
}

TempTree::~TempTree()
{
    const int root = ::open(path().constData(), O_RDONLY | O_DIRECTORY);
    if (root >= 0) {
        emptyFolder(root);
        ::close(root);
    }
}

QByteArray TempTree::path(const QByteArray &relative) const
{
    const QByteArray root = QFile::encodeName(dir_.path());
    return relative.isEmpty() ? root : root + '/' + relative;
}

// mkdir -p on the path's own bytes, which need not be UTF-8.
static bool makePath(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash < 0)
            return true;
    }
}

void TempTree::dir(const QByteArray &relative) const
{
    if (!makePath(path(relative)))
        ADD_FAILURE() << "cannot make " << relative.constData();
}

void TempTree::file(const QByteArray &relative, const QByteArray &content) const
{
    const QByteArray full = path(relative);
    makePath(full.left(full.lastIndexOf('/')));
    FILE *f = std::fopen(full.constData(), "wb");
    if (!f) {
        ADD_FAILURE() << "cannot write " << full.constData();
        return;
    }
    std::fwrite(content.constData(), 1, std::size_t(content.size()), f);
    std::fclose(f);
}

void TempTree::link(const QByteArray &target, const QByteArray &relative) const
{
    if (::symlink(target.constData(), path(relative).constData()) != 0)
        ADD_FAILURE() << "cannot link " << relative.constData();
}

QByteArray TempTree::read(const QByteArray &relative) const
{
    return readFile(path(relative));
}

QByteArray TempTree::readFile(const QByteArray &path)
{
    FILE *f = std::fopen(path.constData(), "rb");
    if (!f)
        return QByteArray("<missing>");
    QByteArray content;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        content.append(buffer, qsizetype(n));
    std::fclose(f);
    return content;
}

QStringList TempTree::entries(const QByteArray &relative) const
{
    return QDir(QFile::decodeName(path(relative)))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name);
}

RecordingHost::RecordingHost(const QByteArray &source, const QByteArray &targetDir,
                             const QString &name)
    : QuietListingWindow(targetDir, name)
{
    dir1.onChange = [this] { file1.setPath(dir1.path()); };
    dir1.setPath(source);
}

void RecordingHost::setText4Enabled(bool on)
{
    events << (on ? QStringLiteral("Text4 on") : QStringLiteral("Text4 off"));
}

void RecordingHost::setCommand1Enabled(bool on)
{
    events << (on ? QStringLiteral("Command1 on") : QStringLiteral("Command1 off"));
}

void RecordingHost::setTimer1Enabled(bool on)
{
    events << (on ? QStringLiteral("Timer1 on") : QStringLiteral("Timer1 off"));
}

int RecordingHost::MsgBox(const QString &text, int style, const QString &title)
{
    boxes.push_back({text, style, title});
    events << QStringLiteral("box: ") + text;
    return style == kStyleYesNoExclamation ? answer : kAnswerOk;
}

void RecordingHost::ShellExecute(const QString &operation, const QString &file,
                                 const QString &parameters, const QString &directory)
{
    events << QStringLiteral("shell: %1 %2 %3 %4").arg(operation, file, parameters, directory);
}

void RecordingHost::setStatusText(const QString &text)
{
    statusTexts << text;
}

void RecordingHost::runProgress(qint64 filesWritten, const SourceDirList &)
{
    written_ = filesWritten;
    if (onProgress)
        onProgress(filesWritten);
}

void RecordingHost::listInPlace()
{
    if (onListInPlace)
        onListInPlace();
}

bool RecordingHost::cancelRequested()
{
    return cancelAfterFiles >= 0 && written_ >= cancelAfterFiles;
}

ListingSettings plainSettings()
{
    ListingSettings s;
    s.FileLangue = 0;
    s.Langue = 0;
    return s;
}

RunResult runListing(ListingSettings settings, const QByteArray &source,
                     const QByteArray &targetDir, const QString &name, int answer,
                     const QString &pattern, ReplacingFile::Waiting waiting)
{
    RecordingHost host(source, targetDir, name);
    host.answer = answer;
    host.file1.setPattern(pattern);
    Engines engines(settings, host.host(), waiting);
    engines.Command1_Click();
    return {engines.outcome, host.events, host.boxes, host.statusTexts};
}

QByteArray englishTextHeader()
{
    return "List created by LYA v1.52.1016\r\n\r\n#########\r\n# FILES #\r\n#########\r\n";
}

QByteArray englishTextFooter()
{
    return "\r\n\r\nDownload Lystora v1.52.1016 at http://www.korvane.net/lya/";
}

bool controlsEndEnabled(const QStringList &events)
{
    for (const char *control : {"Text4", "Command1"}) {
        for (qsizetype i = events.size() - 1; i >= 0; --i) {
            if (events[i].startsWith(QLatin1String(control) + QLatin1Char(' '))) {
                if (events[i].endsWith(QLatin1String(" off")))
                    return false;
                break;
            }
        }
    }
    return true;
}

bool asAnotherUser(const QByteArray &dir, const std::function<bool(int dirFd)> &body)
{
    if (::geteuid() != 0)
        return false;
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return false;
    const int status = inChildProcess([&] {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(1);
        ::_exit(body(dirFd) ? 0 : 1);
    });
    ::close(dirFd);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int inChildProcess(const std::function<void()> &body)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        body();
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

QByteArray bigEndian32(quint32 v)
{
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

QByteArray id3v2Tag(const QByteArray &frames, int audioFrames)
{
    const quint32 size = quint32(frames.size());
    const char syncsafe[] = {char(size >> 21 & 0x7F), char(size >> 14 & 0x7F),
                             char(size >> 7 & 0x7F), char(size & 0x7F)};
    return QByteArray("ID3\x03\x00\x00", 6) + QByteArray(syncsafe, 4) + frames +
           (QByteArray("\xFF\xFB\x90\x64", 4) + QByteArray(413, '\0')).repeated(audioFrames);
}

QByteArray id3v2Text(const char *id, const QByteArray &latin1)
{
    const QByteArray body = '\0' + latin1;
    return id + bigEndian32(quint32(body.size())) + QByteArray(2, '\0') + body;
}

QByteArray nestedMp4Atoms(int depth)
{
    QByteArray file = bigEndian32(20) + "ftypM4A " + bigEndian32(0) + "M4A ";
    for (int level = 0; level < depth; ++level)
        file += bigEndian32(quint32(8 * (depth - level))) + "moov";
    return file;
}

bool makePicture(const QByteArray &path, const char *size)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                            QStringLiteral("color=c=red:s=") + QLatin1String(size),
                                            "-frames:v", "1", QString::fromUtf8(path)});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}
