#pragma once

#include "engine/product_version.h"

#include <QString>

// The program's version, as the build gives it.
inline QString productVersion()
{
    return QStringLiteral(LYSTORA_VERSION);
}

// The product's names, with the version: "Lystora v1.52.1016" in every list's footer and the
// about box, and the short "LYA v1.52.1016" that heads every list and titles every message box.
inline QString productName()
{
    return QStringLiteral("Lystora v") + productVersion();
}

inline QString shortProductName()
{
    return QStringLiteral("LYA v") + productVersion();
}

// The home page that every list's footer and the about box point to.
inline QString homePageAddress()
{
    return QStringLiteral("http://www.korvane.net/lya/");
}

// The sister product's page, offered in the help menu.
inline QString sisterProductPage()
{
    return QStringLiteral("http://www.korvane.net/velk/");
}

// Names that stay as they are whatever the version: the help page and the welcome music are
// looked for under these names, beside the program and in the current folder.
inline QString helpPageName()
{
    return QStringLiteral("lya_v1.52.htm");
}

inline QString welcomeMusicName()
{
    return QStringLiteral("lya_v1.52.mp3");
}

// What --version prints, in the GNU form that packaging tools and help2man read.
inline QString versionText(const QString &program)
{
    return program + QStringLiteral(" (Lystora) ") + productVersion() +
           QStringLiteral("\nCopyright (C) 2026 the Lystora authors.\n"
                          "License MIT <https://opensource.org/licenses/MIT>.\n"
                          "This is free software: you are free to change and redistribute it.\n"
                          "There is NO WARRANTY, to the extent permitted by law.\n");
}
