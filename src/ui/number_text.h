#pragma once

#include <QString>

class QWidget;

namespace tessivox {

// Exactly three decimals, whatever the locale.
QString valueText(float value);
// The standard decimal conversion of a limit text (leading number, else 0),
// whatever the locale, rounded to float32.
float limitValue(const QString& text);

// Places a top-level window in the middle of its screen, its outer size
// first limited to the screen.
void centreOnScreen(QWidget& window);

}  // namespace tessivox
