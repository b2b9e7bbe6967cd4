#include "platform/threads.h"

#include <algorithm>
#include <pthread.h>
#include <sys/resource.h>

void setThreadName(const char *name)
{
    ::pthread_setname_np(::pthread_self(), name);
}

qint64 threadDiskReads()
{
    struct rusage usage;
    if (::getrusage(RUSAGE_THREAD, &usage) != 0)
        return 0;
    return qint64(usage.ru_inblock) * 512;
}

int descriptorLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return int(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}
