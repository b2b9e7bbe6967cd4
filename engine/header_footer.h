#pragma once

#include "settings/listing_settings.h"

#include <QDate>
#include <QString>
#include <QTime>

// The header that opens every list and the footer that closes it: text or HTML (HTML), French or
// English (FileLangue exactly 1 is French), the header with or without date and time (ShowTime).
// The HTML header leaves a "<big>" open for the entries; neither piece of HTML closes the page.
QString listHeader(const ListingSettings &settings, const QDate &date, const QTime &time);
QString listFooter(const ListingSettings &settings);
