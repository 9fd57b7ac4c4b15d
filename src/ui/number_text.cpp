#include "ui/number_text.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "picture/editor_rules.h"

namespace tessivox {

QString valueText(float value) {
    return QString::fromStdString(valueString(value));
}

void showCentred(QWidget& window) {
    const auto centre = [&window] {
        QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
        if (!screen) return;
        const QRect area = screen->geometry();
        const QSize outer = window.frameGeometry().size().boundedTo(area.size());
        window.move(area.x() + (area.width() - outer.width()) / 2,
                    area.y() + (area.height() - outer.height()) / 2);
    };
    centre();
    window.show();
    // A window manager adds its frame only once the window is shown.
    centre();
}

}  // namespace tessivox
