#include "platform/ini_text.h"
#include "platform/replacing_file.h"
#include "platform/settings_backend.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace {

// The registry roots have no counterpart here: every one of them names the user's own store.
bool isRoot(int root)
{
    return root >= 0 && root <= 4;
}

QString configHome()
{
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && xdg.startsWith('/'))
        return QFile::decodeName(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

struct IniPlace {
    QString file;
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
    place.section = parts.isEmpty() ? QByteArray("settings") : parts.takeLast().toUtf8();
    const QString file =
        parts.isEmpty() ? QStringLiteral("settings") : parts.join(QLatin1Char('/'));
    place.file = configHome() + QLatin1Char('/') + file + QStringLiteral(".conf");
    return place;
}

bool isName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('=')) &&
           !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r')) &&
           !name.startsWith(QLatin1Char('['));
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

class IniSettingsBackend : public SettingsBackend
{
public:
    QString readValue(int root, const QString &key, const QString &name) override
    {
        if (!isRoot(root) || !isName(name))
            return QString();
        const IniPlace place = placeOf(key);
        QFile file(place.file);
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const std::optional<QByteArray> value =
            iniValue(file.readAll(), place.section, name.toUtf8());
        return value ? QString::fromUtf8(*value) : QString();
    }

    int writeValue(int root, const QString &key, const QString &name, const QString &text) override
    {
        if (!isRoot(root) || !isName(name) || text.contains(QLatin1Char('\n')) ||
            text.contains(QLatin1Char('\r')))
            return EINVAL;
        const IniPlace place = placeOf(key);
        const QByteArray path = QFile::encodeName(place.file);
        QByteArray old;
        QFile existing(place.file);
        if (existing.exists() && existing.open(QIODevice::ReadOnly))
            old = existing.readAll();
        if (const int error = makeDirectories(path.left(path.lastIndexOf('/'))))
            return error;
        const QByteArray updated = iniWithValue(old, place.section, name.toUtf8(), text.toUtf8());
        ReplacingFile out;
        if (const int error = out.open(path))
            return error;
        if (const int error = out.write(updated.constData(), updated.size()))
            return error;
        return out.commit();
    }

    QString location(const QString &key) const override { return placeOf(key).file; }
};

} // namespace

std::unique_ptr<SettingsBackend> makeSettingsBackend()
{
    return std::make_unique<IniSettingsBackend>();
}
