#include "desktop_shell.h"

#include "platform/desktop_open.h"

void DesktopShell::ShellExecute(const QString &, const QString &file, const QString &,
                                const QString &directory)
{
    const bool complete = file.startsWith(QLatin1Char('/')) || file.contains(QLatin1String("://"));
    openWithAssociatedProgram(complete || directory.isEmpty() ? file : directory + file);
}
