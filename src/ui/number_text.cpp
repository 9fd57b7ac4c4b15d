#include "ui/number_text.h"

#include <charconv>

#include <QByteArray>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tessivox {

QString valueText(float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::fixed, 3);
    return QString::fromLatin1(buffer, result.ec == std::errc{} ? result.ptr - buffer : 0);
}

float limitValue(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    if (p != end && *p == '+') ++p;
    double value = 0.0;
    if (std::from_chars(p, end, value).ec != std::errc{}) value = 0.0;
    return static_cast<float>(value);
}

void centreOnScreen(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize outer = window.frameGeometry().size().boundedTo(area.size());
    window.move(area.x() + (area.width() - outer.width()) / 2,
                area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace tessivox
