#pragma once

#include "engine/listing_host.h"

// The shell of this desktop: the file (in directory, when it is given and the file is not a full
// path) or web address is opened with its associated program. The verb and the parameters have
// no counterpart here; the result is never examined.
class DesktopShell : public Shell
{
public:
    void ShellExecute(const QString &operation, const QString &file, const QString &parameters,
                      const QString &directory) override;
};
