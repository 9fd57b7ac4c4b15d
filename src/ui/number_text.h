#pragma once

#include <QString>

class QWidget;

namespace tessivox {

// Exactly three decimals, whatever the locale.
QString valueText(float value);

// Shows a top-level window in the middle of its screen, its outer size
// first limited to the screen.
void showCentred(QWidget& window);

}  // namespace tessivox
