#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

bool isTerminal(int fd)
{
    return ::isatty(fd) == 1;
}

int terminalColumns(int fd)
{
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}
