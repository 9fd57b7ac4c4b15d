#include <clocale>
#include <memory>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include "audio/audio_stream.h"
#include "engine/synth_state.h"
#include "midi/midi_input.h"
#include "ui/main_window.h"

using namespace tessivox;

namespace {

void showAudioError(const char* text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("PortAudio"), QString::fromLocal8Bit(text),
                    QMessageBox::Ok);
    box.exec();
}

// Lets the window system work for at most 1 ms.
void pumpWindowEvents() {
    QEventLoop wait;
    QTimer::singleShot(1, &wait, &QEventLoop::quit);
    wait.exec();
}

}  // namespace

int main(int, char**) {
    // The program takes no arguments: the toolkit gets only the name.
    int argc = 1;
    char name[] = "tessivox";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    // Numbers in texts always use the decimal point.
    std::setlocale(LC_NUMERIC, "C");

    // Construction gives every field its start value.
    auto state = std::make_unique<SynthState>();
    SynthState& s = *state;

    if (!openAudioStream(s, showAudioError)) return 0;

    s.midiPortIndex = 0;
    s.midiInHandle = nullptr;
    std::unique_ptr<MainWindow> window = createMainWindow(s);
    if (window) {
        window->setStatusText(0, openMidiPort(s));
        updateDisplays(s, *window);
        s.gate.store(0, std::memory_order_release);
        startAudioStream(s);
        runEventLoop(s, *window);
        // From here on the window only repaints; no handler runs.
        window->setDroppingEvents(true);
    }

    shutDownAudio(s, pumpWindowEvents);
    // Stopped before the window goes, so no MIDI callback can still write
    // a status text.
    closeMidiPort(s);
    window.reset();
    return 0;
}
