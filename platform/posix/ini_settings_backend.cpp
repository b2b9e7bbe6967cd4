#include "platform/ini_text.h"
#include "platform/lossless_text.h"
#include "platform/replacing_file.h"
#include "platform/settings_backend.h"
#include "platform/xdg_places.h"

#include <QList>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The registry roots have no counterpart here: every one of them names the user's own store.
bool isRoot(int root)
{
    return root >= 0 && root <= 4;
}

struct IniPlace {
    QByteArray file;
    QByteArray section;
};

// "SOFTWARE\Company\Product\Version\" gives Company/Product.conf, section [Version].
IniPlace placeOf(const QString &key)
{
    QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (!parts.isEmpty() &&
        parts.first().compare(QLatin1String("SOFTWARE"), Qt::CaseInsensitive) == 0)
        parts.removeFirst();
    for (QString &part : parts)
        part.replace(QLatin1Char('/'), QLatin1Char('_'));
    IniPlace place;
    place.section = parts.isEmpty() ? QByteArray("settings") : losslessBytes(parts.takeLast());
    const QString file =
        parts.isEmpty() ? QStringLiteral("settings") : parts.join(QLatin1Char('/'));
    place.file = configHome() + '/' + losslessBytes(file) + ".conf";
    return place;
}

bool isName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('=')) &&
           !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r')) &&
           !name.contains(QChar(0)) && !name.startsWith(QLatin1Char('['));
}

// mkdir -p, reporting the system's reason.
int makeDirectories(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            return 0;
    }
}

// The file's text, when it is an ordinary file of a sensible size. Nothing here can block: a
// pipe or a device at its place (a link to /dev/zero, say) is never read from.
QByteArray readStore(const QByteArray &path, StoreProblem *problem)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray(); // none yet, or unreadable: nothing stored
    struct stat st;
    QByteArray text;
    const qint64 limit = qint64(kLargestStoreKiB) * 1024;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem->kind = StoreProblem::NotAFile;
    } else if (st.st_size > limit) {
        problem->kind = StoreProblem::TooLarge;
    } else {
        text.resize(limit + 1);
        qsizetype got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, size_t(text.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        text.truncate(got);
        if (got > limit) { // it grew while it was read
            problem->kind = StoreProblem::TooLarge;
            text.clear();
        }
    }
    ::close(fd);
    return text;
}

class IniSettingsBackend : public SettingsBackend
{
public:
    QString readValue(int root, const QString &key, const QString &name) override
    {
        if (!isRoot(root) || !isName(name))
            return QString();
        const IniPlace place = placeOf(key);
        StoreProblem problem;
        const std::optional<QByteArray> value =
            iniValue(readStore(place.file, &problem), place.section, losslessBytes(name));
        if (value && value->contains('\0')) {
            // It cannot mean what it says: a file name would end at the NUL, naming another file.
            problem = {StoreProblem::NulInValue, name};
            note(problem);
            return QString();
        }
        note(problem);
        return value ? losslessText(*value) : QString();
    }

    int writeValue(int root, const QString &key, const QString &name, const QString &text) override
    {
        if (!isRoot(root) || !isName(name) || text.contains(QLatin1Char('\n')) ||
            text.contains(QLatin1Char('\r')) || text.contains(QChar(0)))
            return EINVAL;
        const IniPlace place = placeOf(key);
        if (const int error = makeDirectories(place.file.left(place.file.lastIndexOf('/'))))
            return error;
        // A store that was left unread is replaced whole, never written through.
        StoreProblem ignored;
        const QByteArray updated = iniWithValue(readStore(place.file, &ignored), place.section,
                                                losslessBytes(name), losslessBytes(text));
        ReplacingFile out(ReplacingFile::Streams::Replace);
        if (const int error = out.open(place.file))
            return error;
        if (const int error = out.write(updated.constData(), updated.size()))
            return error;
        return out.commit();
    }

    QString location(const QString &key) const override { return losslessText(placeOf(key).file); }

    StoreProblem problem() const override { return problem_; }

private:
    void note(const StoreProblem &problem)
    {
        if (problem_.kind == StoreProblem::None)
            problem_ = problem;
    }

    StoreProblem problem_;
};

} // namespace

std::unique_ptr<SettingsBackend> makeSettingsBackend()
{
    return std::make_unique<IniSettingsBackend>();
}
