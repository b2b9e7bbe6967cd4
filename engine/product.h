#pragma once

#include <QString>

// The product's names, and the home page that every list's footer and the about box point to.
inline QString productName()
{
    return QStringLiteral("Lystora v1.52.1016");
}

// The short name heads every list and titles every message box.
inline QString shortProductName()
{
    return QStringLiteral("LYA v1.52.1016");
}

inline QString homePageAddress()
{
    return QStringLiteral("http://www.korvane.net/lya/");
}

// The sister product's page, offered in the help menu.
inline QString sisterProductPage()
{
    return QStringLiteral("http://www.korvane.net/velk/");
}

inline QString productVersion()
{
    return QStringLiteral("1.52.1016");
}
