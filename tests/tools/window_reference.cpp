// Reference pictures for the end-to-end tests' screenshots, shown under the
// same X server as the program under test.
//
//   window_reference box
//     The message box the program must show when the audio library finds no
//     device, built independently. Runs until killed.
//   window_reference status FILE TEXT [FILE TEXT ...]
//     The real main window with TEXT in status field 0: saves that field as
//     the X server shows it into FILE, for each pair. Prints the field's
//     place in the client area as WxH+X+Y.
#include <cstdio>
#include <cstring>
#include <memory>

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "ui/main_window.h"

namespace {

void settle(int ms) {
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "box") == 0) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("PortAudio"),
                        QStringLiteral("Invalid device"), QMessageBox::Ok);
        box.show();
        return app.exec();
    }
    if (argc < 4 || argc % 2 != 0 || std::strcmp(argv[1], "status") != 0) {
        std::fprintf(stderr, "usage: %s box | status FILE TEXT [FILE TEXT ...]\n", argv[0]);
        return 2;
    }
    auto s = std::make_unique<tessivox::SynthState>();
    std::unique_ptr<tessivox::MainWindow> window = tessivox::createMainWindow(*s);
    QLabel* field = window ? window->statusField(0) : nullptr;
    if (field == nullptr) return 1;
    const QRect place(field->mapTo(window.get(), QPoint(0, 0)), field->size());
    std::printf("%dx%d+%d+%d\n", place.width(), place.height(), place.x(), place.y());
    for (int i = 2; i + 1 < argc; i += 2) {
        window->setStatusText(0, argv[i + 1]);
        settle(300);
        const QPixmap shot = window->screen()->grabWindow(window->winId(), place.x(), place.y(),
                                                          place.width(), place.height());
        if (!shot.save(QString::fromLocal8Bit(argv[i]))) return 1;
    }
    return 0;
}
