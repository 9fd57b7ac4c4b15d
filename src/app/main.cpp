#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include "app/command_line.h"
#include "audio/audio_stream.h"
#include "midi/midi_input.h"
#include "ui/main_window.h"
#include "ui/program_icon.h"
#include "ui/synth_state.h"

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

// Ctrl+C in a terminal or a session's SIGTERM ends the program the way the
// close box does, so the stream and the MIDI port are taken down in order.
// The handler only sets a flag and writes to a pipe; the UI thread reads it.
int gSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t gTerminationSignalled = 0;

void onTerminationSignal(int) {
    gTerminationSignalled = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
}

// Installed before anything else, so that no moment of start-up is left to
// the default action, which would kill the program without its shutdown.
void catchTerminationSignals() {
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) gSignalPipe[0] = gSignalPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // libjack writes to its server's socket with write(), and blocks SIGPIPE
    // only in the thread that first opened a client: a request from any other
    // thread just as the server dies would end the program silently.
    signal(SIGPIPE, SIG_IGN);
}

bool terminationSignalled() {
    return gTerminationSignalled != 0;
}

// Whenever an event loop runs: a signal closes the main window as its close
// box does (Help or About first); before the main window exists it only
// closes the "PortAudio" box, if that is up.
std::unique_ptr<QSocketNotifier> watchTerminationSignals(
    const std::unique_ptr<MainWindow>& window) {
    if (gSignalPipe[0] < 0) return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [&window] {
        char bytes[16];
        while (read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        if (window) {
            window->requestTermination();
        } else if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
    return notifier;
}

// The toolkit aborts when it can reach no display. Its own messages are held
// while it starts, so that case leaves only this line; otherwise they are
// passed on.
QStringList gHeldMessages;

// The first display variable set, or null.
const char* namedDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return name;
    }
    return nullptr;
}

void needDisplay() {
    if (const char* name = namedDisplay()) {
        std::fprintf(stderr, "tessivox: needs a graphical display; cannot open %s=%s\n", name,
                     std::getenv(name));
        std::_Exit(1);
    }
    std::fputs(
        "tessivox: needs a graphical display; none found (DISPLAY and WAYLAND_DISPLAY "
        "are not set)\n",
        stderr);
    std::_Exit(1);
}

void holdToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) needDisplay();
    gHeldMessages << qFormatLogMessage(type, context, text);
}

// Only the window systems that need a server are checked here; any other
// platform the toolkit is told to use (offscreen, vnc) is left to it.
bool displayNamed() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string_view p = platform ? platform : "";
    const bool needsServer = p.empty() || p.starts_with("xcb") || p.starts_with("wayland");
    return namedDisplay() != nullptr || !needsServer;
}

// The sound at quit, kept as a user sound while the devices come down.
std::thread gKeeper;

void keepLastSession(sound::Sound sound) {
    sound.name = sound::kLastSessionName;
    const auto keep = [sound] {
        std::string error;
        if (sound::saveSound(sound, true, error) != sound::SaveResult::Saved)
            std::fprintf(stderr, "tessivox: %s\n", error.c_str());
    };
    try {
        gKeeper = std::thread(keep);
    } catch (const std::system_error&) {
        keep();
    }
}

// What start-up makes, in the order it is taken down backwards: the engine
// outlives the objects that play it.
struct Program {
    SynthState s;
    AudioOutput audio{s};
    MidiPorts midi{s};
};

// Shows the window with its sound, opens the MIDI port and plays until the
// user or a signal ends it; the sound at the end is kept.
void playUntilQuit(Program& p, MainWindow* window, const std::optional<std::string>& sound) {
    if (window && !terminationSignalled()) {
        showCentred(*window);
        window->listMidiPorts();
    }
    if (window && sound) window->startWithSound(*sound);
    if (window && !terminationSignalled()) {
        // Shut before the port delivers: a note-on from then on is counted with its gate.
        p.s.gate.store(0, std::memory_order_release);
        window->setStatusText(0, p.midi.openMidiPort());
        updateDisplays(p.s, *window);
        p.audio.startAudioStream();
        runEventLoop(p.s, *window);
        keepLastSession(window->currentSound());
    }
}

// Returns main()'s exit code, or ends the process when a device library's
// call never returned.
int shutDown(Program& p, std::unique_ptr<MainWindow>& window) {
    // From here on the window only repaints; no handler runs.
    if (window) window->setDroppingEvents(true);

    // Stopped before the window goes, so no MIDI callback can still write
    // a status text; closed while the audio side comes down.
    p.midi.beginMidiShutdown();
    const bool audioDown = p.audio.shutDownAudio(pumpWindowEvents);
    const bool midiDown = p.midi.finishMidiShutdown(pumpWindowEvents);
    window.reset();
    if (gKeeper.joinable()) gKeeper.join();
    // A library call that never returned still runs on its thread: end
    // without the static destructors it could trip over.
    if (!audioDown || !midiDown) std::_Exit(0);
    return 0;
}

// The toolkit came up, so a display is there: what was held for that goes
// out, then the program's own settings. The note's text is known only once
// its stream is closed.
void finishToolkitStart(QApplication& app, std::FILE* noteStream, char*& argumentNote) {
    if (noteStream) {
        std::fclose(noteStream);
        std::fputs(argumentNote, stderr);
        std::free(argumentNote);
    }
    for (const QString& message : gHeldMessages) std::fprintf(stderr, "%s\n", qPrintable(message));
    app.setQuitOnLastWindowClosed(false);
    setProgramIcon();
    // Numbers in texts always use the decimal point.
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace

int main(int argCount, char** args) {
    // Answered before the toolkit starts, so they never open a window.
    // Its note on ignored arguments waits until a display is known to be there.
    char* argumentNote = nullptr;
    std::size_t argumentNoteSize = 0;
    std::FILE* noteStream = open_memstream(&argumentNote, &argumentNoteSize);
    if (const auto code =
            handleCommandLine(argCount, args, stdout, noteStream ? noteStream : stderr))
        return *code;
    if (!displayNamed()) needDisplay();
    catchTerminationSignals();
    // A signal during start-up skips the remaining steps and goes straight
    // to the shutdown, as a window that cannot be made does; one that comes
    // after the last check ends the event loop as soon as it runs.
    if (terminationSignalled()) return 0;

    // Construction gives every field its start value; the first port is chosen.
    auto program = std::make_unique<Program>();
    // The audio output opens on a thread of its own from the start, while the
    // toolkit starts and the window is built; the window is shown only once
    // the output is open, so that when it cannot be the "PortAudio" box comes
    // alone.
    std::string audioErrorText;
    bool audioOpen = false;
    std::thread audioOpener([&program, &audioErrorText, &audioOpen] {
        audioOpen = program->audio.openAudioStream(
            [&audioErrorText](const char* text) { audioErrorText = text; });
    });

    // Nothing else is read from the command line: the toolkit gets only the name.
    int argc = 1;
    char name[] = "tessivox";
    char* argv[] = {name, nullptr};
    const QtMessageHandler toolkitHandler = qInstallMessageHandler(holdToolkitMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(toolkitHandler);
    finishToolkitStart(app, noteStream, argumentNote);

    std::unique_ptr<MainWindow> window;
    const auto signalNotifier = watchTerminationSignals(window);

    if (!terminationSignalled()) {
        window = std::make_unique<MainWindow>(program->s, program->midi, &program->audio);
        // Its native window too, while the output opens: showing it then only maps it.
        window->winId();
    }
    audioOpener.join();
    if (!audioOpen) {
        window.reset();
        // No MIDI client is open yet: the ports are listed only once shown.
        showAudioError(audioErrorText.c_str());
        return 0;
    }
    playUntilQuit(*program, window.get(), soundArgument(argCount, args));
    return shutDown(*program, window);
}
