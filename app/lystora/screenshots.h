#pragma once

#include <QString>

class Form1;

// Writes pictures of the windows into dir (main-window.png, ...), as a user sees them, for the
// documentation. Returns the number of pictures that could not be written.
int takeScreenshots(Form1 &form, const QString &dir);
