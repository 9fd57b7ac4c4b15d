#include "ui/help_window.h"

namespace tessivox {

// Placeholders until the About box and the help window land.
QString aboutText() { return {}; }
QString helpText() { return {}; }
void showAboutBox(QWidget*) {}
void showHelpWindow() {}

}  // namespace tessivox
