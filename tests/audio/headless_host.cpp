// What the program does minus its window: opens the audio stream, lists and
// opens the first MIDI port, plays until SIGTERM, SIGINT or a line on stdin,
// then shuts down in the program's order. With --switch N it changes between
// the first two ports N times instead, then shuts down.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_stream.h"
#include "midi/midi_input.h"
#include "platform/realtime_scope.h"
#include "realtime_counter.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

// True once a whole line arrived on stdin; end of input is not a request.
bool stdinLineArrived(bool& stdinOpen) {
    if (!stdinOpen) return false;
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    if (poll(&fd, 1, 0) <= 0) return false;
    char buffer[256];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        stdinOpen = false;
        return false;
    }
    return std::memchr(buffer, '\n', static_cast<size_t>(n)) != nullptr;
}

void printText(const char* label, std::string_view text) {
    std::printf("%s: %.*s\n", label, static_cast<int>(text.size()), text.data());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int switches = 0;
    int switchIntervalMs = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--switch") == 0 && i + 1 < argc) {
            switches = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--switch-interval-ms") == 0 && i + 1 < argc) {
            switchIntervalMs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--switch N] [--switch-interval-ms MS]\n", argv[0]);
            return 2;
        }
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    auto s = std::make_unique<tessivox::EngineState>();
    tessivox::AudioOutput audio(*s);
    tessivox::MidiPorts ports(*s);
    const bool opened = audio.openAudioStream([](const char* text) {
        std::printf("PortAudio: %s\n", text);
        std::fflush(stdout);
    });

    std::vector<std::string> names;
    const int count = ports.listMidiPorts(names);
    std::printf("ports: %d\n", count);
    for (size_t k = 0; k < names.size(); ++k) std::printf("port %zu: %s\n", k, names[k].c_str());
    const uint32_t listSerial = ports.midiPortListSerial();
    ports.midiPortIndex = count > 0 ? 0 : -1;
    printText("status", ports.openMidiPort());

    if (!opened) {
        // The program ends after the message box; the MIDI part was only
        // exercised here to show it behaves without devices too.
        ports.closeMidiPort();
        return 0;
    }

    s->gate.store(0, std::memory_order_release);
    audio.startAudioStream();
    std::printf("playing\n");
    std::fflush(stdout);

    bool stdinOpen = true;
    if (switches > 0) {
        for (int k = 0; k < switches && gStop == 0; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(switchIntervalMs));
            // As the window asks: on the MIDI side's own thread.
            ports.askMidiPortChange(listSerial, (k + 1) % 2);
            std::string_view text;
            for (int wait = 0; wait < 2000 && text.empty(); ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                text = ports.takeMidiPortNews().status;
            }
            if (text != tessivox::kMidiInText) printText("switch failed", text);
        }
        std::printf("switched: %d\n", switches);
    } else {
        while (gStop == 0 && !stdinLineArrived(stdinOpen)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::string_view text = ports.followMidiPort();
            if (!text.empty()) printText("status", text);
        }
    }

    // The program's order: the port starts closing, the stream comes down,
    // then the port's close is waited for.
    ports.beginMidiShutdown();
    if (!audio.shutDownAudio([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); })) {
        std::printf("audio shutdown timed out\n");
    }
    if (!ports.finishMidiShutdown({})) std::printf("MIDI shutdown timed out\n");

    const tessivox::MidiInputStats midi = ports.midiInputStats();
    const tessivox::testing::RealtimeViolations rt = tessivox::testing::realtimeViolations();
    std::printf("midi accepted: %llu\n", static_cast<unsigned long long>(midi.messagesAccepted));
    std::printf("midi deliveries while stopped: %llu\n",
                static_cast<unsigned long long>(midi.callbacksWhileShut));
    std::printf("midi accepted after close: %llu\n",
                static_cast<unsigned long long>(midi.acceptedAfterClose));
    std::printf("realtime callbacks: %llu\n",
                static_cast<unsigned long long>(
                    tessivox::gRealtimeScopesEntered.load(std::memory_order_relaxed)));
    std::printf("realtime allocations: %llu\n", static_cast<unsigned long long>(rt.allocations));
    std::printf("realtime frees: %llu\n", static_cast<unsigned long long>(rt.frees));
    std::printf("realtime locks: %llu\n", static_cast<unsigned long long>(rt.locks));
    std::printf("stopped\n");
    return 0;
}
