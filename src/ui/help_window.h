#pragma once

#include <QString>

class QWidget;

namespace tessivox {

QString aboutText();
QString helpText();

// Modal "About" box; returns when it is closed.
void showAboutBox(QWidget* owner);

// Opens the help window and returns once it has been closed. Meanwhile the
// main window's handlers must not run (the caller drops its events).
void showHelpWindow();

}  // namespace tessivox
