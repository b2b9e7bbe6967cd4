#include "platform/worker_process.h"

#include "platform/posix/worker_wire.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

std::unique_ptr<WorkerProcess> WorkerProcess::start(const QByteArray &program,
                                                    const QList<QByteArray> &arguments,
                                                    const QList<QByteArray> &extraEnvironment,
                                                    int *error)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        *error = errno;
        return nullptr;
    }
    std::vector<char *> argv{const_cast<char *>(program.constData())};
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (char **entry = environ; *entry; ++entry)
        envp.push_back(*entry);
    for (const QByteArray &entry : extraEnvironment)
        envp.push_back(const_cast<char *>(entry.constData()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper's socket as descriptor 3 (dup2 clears its close-on-exec); its standard input and
    // output lead nowhere, its errors go where the parent's go.
    posix_spawn_file_actions_adddup2(&actions, pair[1], kWorkerSocketFd);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Signals the parent ignores or blocks are the helper's business to have back.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.constData(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (spawned != 0) {
        ::close(pair[0]);
        *error = spawned;
        return nullptr;
    }
    ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(pid, pair[0]));
}

WorkerProcess::~WorkerProcess()
{
    kill();
    ::close(socket_);
}

bool WorkerProcess::send(int fd, const QByteArray &request)
{
    if (ending_.ended)
        return false;
    const QByteArray framed = framedMessage(request);
    iovec data{const_cast<char *>(framed.constData()), std::size_t(framed.size())};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    }
    // A request is far smaller than a socket's buffer, which the helper empties between two:
    // it is sent whole, or the helper is gone.
    ssize_t sent;
    do {
        sent = ::sendmsg(socket_, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(framed.size());
}

WorkerProcess::Read WorkerProcess::readReply(QByteArray *reply)
{
    for (;;) {
        const Framed framed = takeFramedMessage(received_, reply);
        if (framed == Framed::Whole)
            return Read::Reply;
        if (framed == Framed::Broken)
            return Read::Closed;
        char buffer[64 * 1024];
        const ssize_t got = ::read(socket_, buffer, sizeof buffer);
        if (got > 0) {
            received_.append(buffer, got);
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return Read::Nothing;
        return Read::Closed;
    }
}

qint64 WorkerProcess::cpuTimeMs() const
{
    clockid_t clock;
    timespec used{};
    if (ending_.ended || ::clock_getcpuclockid(pid_, &clock) != 0 ||
        ::clock_gettime(clock, &used) != 0)
        return -1;
    return qint64(used.tv_sec) * 1000 + used.tv_nsec / 1000000;
}

void WorkerProcess::kill()
{
    if (ending_.ended)
        return;
    ::kill(pid_, SIGKILL);
    end();
}

WorkerProcess::Ending WorkerProcess::end()
{
    if (ending_.ended)
        return ending_;
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid_, &status, 0);
    } while (waited < 0 && errno == EINTR);
    ending_.ended = true;
    if (waited == pid_ && WIFSIGNALED(status))
        ending_.signal = WTERMSIG(status);
    else if (waited == pid_ && WIFEXITED(status))
        ending_.exitStatus = WEXITSTATUS(status);
    return ending_;
}

QByteArray helperProgram(const QByteArray &name)
{
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return QByteArray();
    const QByteArray program(self, length);
    const QByteArray dir = program.left(program.lastIndexOf('/'));
    for (const QByteArray &candidate :
         {dir + '/' + name, dir.left(dir.lastIndexOf('/')) + "/libexec/lystora/" + name}) {
        if (::access(candidate.constData(), X_OK) == 0)
            return candidate;
    }
    return QByteArray();
}
