#pragma once

#include <QString>

class QWidget;

namespace tessivox {

// At another rate than 44100 Hz a third line names it.
QString aboutText(double sampleRate = 44100.0);
QString helpText();
// What the keys, MIDI, the envelope and sounds do.
QString playingText();

// Modal "About" box; returns when it is closed.
void showAboutBox(QWidget* owner, double sampleRate = 44100.0);

// Opens the help window and returns once it has been closed. Meanwhile no
// other window of the program takes input.
void showHelpWindow(const QString& text = helpText());

}  // namespace tessivox
