#pragma once

#include <QFont>

#include <functional>

// The windows' font. Their pixel positions were made for 8-point Liberation Sans, which whatever
// installs the program installs too; where another sans serif stands in for it, the size is the
// largest, from 8 down to 7 points by quarters, at which every caption still fits
// (chooseDialogFont).
QFont classicDialogFont();

// Settles the font for the program's run: the design's font when it is installed, else the
// stand-in at the largest size for which `fits` holds (7 points when none does). Returns it.
QFont chooseDialogFont(const std::function<bool(const QFont &font)> &fits);
