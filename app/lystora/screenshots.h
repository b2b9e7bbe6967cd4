#pragma once

#include <QString>

class Forms;

// Writes pictures of the windows into dir, as a user sees them, for the documentation: the splash
// screen when it is on, the main window, the three option tabs and the about box, in the language
// in force and then in the other one (main-window-fr.png, options-2-en.png, ...). Nothing is saved.
// Returns the number of pictures that could not be written.
int takeScreenshots(Forms &forms, const QString &dir);
