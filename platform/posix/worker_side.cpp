#include "platform/worker_side.h"

#include "platform/posix/worker_wire.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Reads exactly `length` bytes; false at the end of the stream or on an error.
bool readWhole(char *to, std::size_t length)
{
    while (length > 0) {
        const ssize_t got = ::read(kWorkerSocketFd, to, length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        to += got;
        length -= std::size_t(got);
    }
    return true;
}

} // namespace

bool receiveRequest(int *fd, QByteArray *request)
{
    *fd = -1;
    char prefix[4];
    iovec data{prefix, sizeof prefix};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = ::recvmsg(kWorkerSocketFd, &message, MSG_CMSG_CLOEXEC | MSG_WAITALL);
    } while (got < 0 && errno == EINTR);
    if (got != ssize_t(sizeof prefix))
        return false;
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
            header->cmsg_len >= CMSG_LEN(sizeof(int)))
            std::memcpy(fd, CMSG_DATA(header), sizeof(int));
    }
    if (message.msg_flags & MSG_CTRUNC)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(prefix);
    const quint32 size =
        quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    if (size > kLargestMessage)
        return false;
    request->resize(size);
    return readWhole(request->data(), size);
}

bool sendReply(const QByteArray &reply)
{
    const QByteArray framed = framedMessage(reply);
    const char *from = framed.constData();
    std::size_t left = std::size_t(framed.size());
    while (left > 0) {
        const ssize_t sent = ::send(kWorkerSocketFd, from, left, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        from += sent;
        left -= std::size_t(sent);
    }
    return true;
}

void limitProcess(qint64 addressSpaceBytes)
{
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (addressSpaceBytes > 0) {
        const rlimit space{rlim_t(addressSpaceBytes), rlim_t(addressSpaceBytes)};
        ::setrlimit(RLIMIT_AS, &space);
    }
}

void limitCpuFromNow(int seconds)
{
    rusage used{};
    ::getrusage(RUSAGE_SELF, &used);
    // Whole seconds, rounded up: the limit counts from the start of the process.
    const rlim_t spent = rlim_t(used.ru_utime.tv_sec + used.ru_stime.tv_sec + 1);
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = spent + rlim_t(seconds);
    if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur > cpu.rlim_max)
        cpu.rlim_cur = cpu.rlim_max;
    ::setrlimit(RLIMIT_CPU, &cpu);
}

bool enterSandbox()
{
    // Everything not named here fails with EPERM rather than ending the process: a library that
    // asks for something harmless (the terminal's size, say) goes on without it.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter)
        return false;
    bool ok = true;
    const auto allow = [&](int call) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    };
    for (int call : {SCMP_SYS(read),
                     SCMP_SYS(pread64),
                     SCMP_SYS(readv),
                     SCMP_SYS(write),
                     SCMP_SYS(writev),
                     SCMP_SYS(recvmsg),
                     SCMP_SYS(sendmsg),
                     SCMP_SYS(sendto),
                     SCMP_SYS(recvfrom),
                     SCMP_SYS(close),
                     SCMP_SYS(lseek),
                     SCMP_SYS(fstat),
                     SCMP_SYS(fcntl),
                     SCMP_SYS(mmap),
                     SCMP_SYS(munmap),
                     SCMP_SYS(mremap),
                     SCMP_SYS(brk),
                     SCMP_SYS(madvise),
                     SCMP_SYS(mprotect),
                     SCMP_SYS(futex),
                     SCMP_SYS(getrusage),
                     SCMP_SYS(getrlimit),
                     SCMP_SYS(clock_gettime),
                     SCMP_SYS(gettimeofday),
                     SCMP_SYS(getpid),
                     SCMP_SYS(gettid),
                     SCMP_SYS(tgkill),
                     SCMP_SYS(rt_sigprocmask),
                     SCMP_SYS(rt_sigaction),
                     SCMP_SYS(rt_sigreturn),
                     SCMP_SYS(exit),
                     SCMP_SYS(exit_group),
                     SCMP_SYS(set_robust_list),
                     SCMP_SYS(rseq),
                     SCMP_SYS(sched_yield),
                     SCMP_SYS(sched_getaffinity),
                     SCMP_SYS(nanosleep),
                     SCMP_SYS(clock_nanosleep),
                     SCMP_SYS(poll),
                     SCMP_SYS(ppoll),
                     SCMP_SYS(eventfd2),
                     SCMP_SYS(pipe2)})
        allow(call);
    // Threads of its own (an image library scales on several, each waking the others through a
    // pipe or an eventfd, which open nothing), nothing else a clone could make: a thread shares
    // everything the process has, and no more.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                                SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) == 0;
    // clone3's flags are out of the filter's reach: refused as unknown, the C library falls
    // back to clone.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    // fstat() is a stat of the descriptor by an empty path; a stat by name is not allowed.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
                                SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)) == 0;
    // Only the CPU limit may change, and only as limitCpuFromNow() does it (never above the
    // hard limit, which stays where it is).
    for (int call : {SCMP_SYS(setrlimit), SCMP_SYS(prlimit64)}) {
        const unsigned argument = call == SCMP_SYS(prlimit64) ? 1 : 0;
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1,
                                    scmp_arg_cmp{argument, SCMP_CMP_EQ, RLIMIT_CPU, 0}) == 0;
    }
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}
