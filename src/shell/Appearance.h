#pragma once
// How the wizard's windows look: design colours, the button-face colours
// applied at load, the optional skin of the first screen, and the fonts.

#include "platform/FileSystem.h"

#include <QColor>
#include <QString>

class QWidget;

namespace shell {

// The system colour of button faces.
QColor ButtonFaceColor();

// White background on the form and on its frames, labels, check boxes and
// option buttons, as the screens are designed.
void ApplyDesignColors(QWidget* form);

// The button-face colour on the form and on its frames, labels, check boxes
// and option buttons.
void ApplyFormColors(QWidget* form);

// When the skin file "x/o.cjs" lies beside the program (a regular file, its
// name in any letter case): the button-face colours on `form`, then the skin
// (a Qt style sheet) on `form` alone. Without the file nothing changes.
// Throws when the file exists but cannot be read.
void LoadSkin(QWidget* form, const platform::FileSystem& files, const QString& programFolder);

// Arial (or its metric twin) bold on every control, 11.25 pt on push buttons
// and 9 pt elsewhere; the form's own font 9 pt, bold when `boldForm`.
void ApplyFonts(QWidget* form, bool boldForm);

}  // namespace shell
