#include "ui/program_icon.h"

#include <QGuiApplication>
#include <QIcon>

namespace tessivox {

void setProgramIcon() {
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/tessivox.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessivox"));
}

}  // namespace tessivox
