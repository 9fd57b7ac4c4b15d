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
//   window_reference displays FILE [SETTING ...]
//     The real main window after each SETTING: SYMBOL=VALUE sets a parameter
//     slider (m, n1 .. b) or a pad point (p1_x .. p4_y), axis=NAME clicks that
//     parameter's axis button, enable clicks Enable. Saves the displays and
//     the pad (client 10,10 to 815,310) into FILE and prints the axis texts.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>

#include "midi/midi_input.h"
#include "ui/main_window.h"
#include "ui/pad_editor.h"

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
    if (argc >= 3 && std::strcmp(argv[1], "displays") == 0) {
        using namespace tessivox;
        auto s = std::make_unique<SynthState>();
        MidiPorts midi(*s);
        std::unique_ptr<MainWindow> window = createMainWindow(*s, midi);
        updateDisplays(*s, *window);
        constexpr const char* kSymbols[] = {"m", "n1", "n2", "n3", "a", "b"};
        for (int i = 3; i < argc; ++i) {
            const std::string a = argv[i], key = a.substr(0, a.find('='));
            const std::string value = a.substr(std::min(a.size(), key.size() + 1));
            if (a == "enable") window->enableBox()->click();
            for (int row = 0; row < kParamCount; ++row) {
                if (key == kSymbols[row])
                    window->slider(kFirstParamSlider + row)
                        ->setValue(
                            static_cast<int>(std::stod(value) * kParamSliders[row].divisor + 0.5));
                if (key == "axis" && value == kParamSliders[row].name)
                    static_cast<QPushButton*>(window->control(kFirstAxisButton + row))->click();
            }
            if (key.size() == 4 && key[0] == 'p') {
                PadPoint& p = s->padPoints[(key[1] - '1') & 3];
                (key[3] == 'x' ? p.x : p.y) = std::stod(value);
                if (window->pad().beginDrawing()) drawPad(*s, window->pad());
                window->pad().endDrawing();
            }
        }
        settle(300);
        QWidget* client = window->centralWidget();
        if (!client->grab(QRect(10, 10, 805, 300)).save(QString::fromLocal8Bit(argv[2]))) return 1;
        for (int id = kXFromText; id <= kYLabel; ++id)
            std::printf("%s ", qPrintable(window->label(id)->text()));
        std::printf("\n");
        return 0;
    }
    if (argc < 4 || argc % 2 != 0 || std::strcmp(argv[1], "status") != 0) {
        std::fprintf(stderr, "usage: %s box | status FILE TEXT [FILE TEXT ...]\n", argv[0]);
        return 2;
    }
    auto s = std::make_unique<tessivox::SynthState>();
    tessivox::MidiPorts midi(*s);
    std::unique_ptr<tessivox::MainWindow> window = tessivox::createMainWindow(*s, midi);
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
