// Shows the message box the program must show when the audio library finds
// no device, built independently, so a screenshot of it can be compared
// with one of the program's box. Runs until killed.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("PortAudio"),
                    QStringLiteral("Invalid device"), QMessageBox::Ok);
    box.show();
    return app.exec();
}
