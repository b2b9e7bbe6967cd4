#pragma once

#include <QFont>

// The windows' font: an 8-point sans serif of classic dialog proportions, for which their pixel
// positions were made.
inline QFont classicDialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPointSize(8);
    return font;
}
