#pragma once
// The look the window's layout was drawn for: classic controls (group titles on the frame line,
// sunken text boxes, raised buttons) and a CJK font whose Latin letters and blanks are half as wide
// as a Han character, at 9 pt.
#include <QFont>

// "SimSun" ("宋体") where it is installed, else "Noto Sans Mono CJK SC", else the application's default font.
QFont classicFont();

// Gives the whole application, message boxes included, Qt's "Windows" style and classicFont().
void useClassicLook();

// Qt's own texts ("确定" in message boxes, the file dialogs, the boxes' edit menu) in Chinese like the
// tool's, whatever the system's language: from translations/ beside the program (the Windows build),
// else from Qt's. False when neither has them.
bool useChineseQtTexts();
