#pragma once

#include <QString>

class QWidget;

namespace tessivox {

QString aboutText();
QString helpText();

// Modal "About" box; returns when it is closed.
void showAboutBox(QWidget* owner);

// Opens the help window and returns once it has been closed. Meanwhile no
// other window of the program takes input.
void showHelpWindow();

}  // namespace tessivox
