#include "platform/single_instance.h"

#include "platform/xdg_places.h"

#include <QCryptographicHash>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The runtime folder is the user's own and goes with the session; else the cache folder.
QByteArray meetingFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && makePrivateFolder(runtime) == 0)
        return runtime;
    const QByteArray cache = cacheHome() + "/lystora";
    return makePrivateFolder(cache) == 0 ? cache : QByteArray();
}

bool socketAddress(const QByteArray &path, sockaddr_un *address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (std::size_t(path.size()) >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

} // namespace

class SingleInstance::Private
{
public:
    QByteArray base; // the lock's and the socket's path, without their endings
    int lock = -1;
    int listening = -1;
    std::unique_ptr<QSocketNotifier> notifier;

    ~Private()
    {
        notifier.reset();
        if (listening >= 0) {
            ::close(listening);
            ::unlink((base + ".socket").constData());
        }
        if (lock >= 0)
            ::close(lock);
    }

    // The first start: asked to show itself through its socket.
    void listen(SingleInstance *owner)
    {
        sockaddr_un address;
        const QByteArray path = base + ".socket";
        if (!socketAddress(path, &address))
            return;
        ::unlink(path.constData()); // left by one that did not end well: the lock is ours
        listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (listening < 0)
            return;
        if (::bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(listening, 4) != 0) {
            ::close(listening);
            listening = -1;
            return;
        }
        notifier = std::make_unique<QSocketNotifier>(listening, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this, owner] {
            const int peer = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer < 0)
                return;
            ::close(peer); // being reached is the whole message
            if (owner->onAsked)
                owner->onAsked();
        });
    }
};

SingleInstance::SingleInstance(const QString &key) : d_(std::make_unique<Private>())
{
    const QByteArray folder = meetingFolder();
    if (folder.isEmpty())
        return;
    const QByteArray digest =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    d_->base = folder + "/lystora-" + digest;
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::handedOver()
{
    if (d_->base.isEmpty())
        return false;
    d_->lock =
        ::open((d_->base + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (d_->lock < 0)
        return false;
    if (::flock(d_->lock, LOCK_EX | LOCK_NB) == 0) {
        d_->listen(this);
        return false;
    }
    ::close(d_->lock);
    d_->lock = -1;
    // The first may still be starting, its socket not there yet: a few seconds for it.
    sockaddr_un address;
    if (!socketAddress(d_->base + ".socket", &address))
        return true;
    for (int tries = 0; tries < 100; ++tries) {
        const int peer = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (peer < 0)
            return true;
        const bool reached =
            ::connect(peer, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(peer);
        if (reached)
            return true;
        QThread::msleep(50);
    }
    return true;
}
