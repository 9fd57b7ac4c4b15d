// A JACK MIDI source for the end-to-end tests, with its timing under control.
//
//   jack_midi_sender NAME note
//     One MIDI port NAME:out and one audio port NAME:marker. Reads lines
//     "on" and "off" from stdin; each sends note-on 69 (velocity 100) or
//     note-off 69 at the first frame of the next cycle and writes +0.5 (on) or
//     -1 (off) into the marker at that same frame, so a recording of the
//     marker shows when the note was sent. Prints "sent on"/"sent off".
//   jack_midi_sender NAME flood RATE PORTS
//     PORTS MIDI ports NAME:out1...; each sends RATE messages a second,
//     spread over every cycle: note-ons and note-offs of its own note, and
//     timing clocks, until stdin closes or a line arrives.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

enum class Mode { Note, Flood };

struct Sender {
    Mode mode = Mode::Note;
    jack_client_t* client = nullptr;
    std::vector<jack_port_t*> midiPorts;
    jack_port_t* marker = nullptr;
    // Note mode: 1 = note-on asked, 2 = note-off asked; the process thread
    // clears it once sent and sets `sent`.
    std::atomic<int> request{0};
    std::atomic<int> sent{0};
    // Flood mode.
    double rate = 0.0;
    std::vector<double> owed;
    std::vector<uint64_t> counter;
    std::atomic<uint64_t> total{0};
};

int process(jack_nframes_t frames, void* arg) {
    auto& s = *static_cast<Sender*>(arg);
    if (s.mode == Mode::Note) {
        void* midi = jack_port_get_buffer(s.midiPorts[0], frames);
        jack_midi_clear_buffer(midi);
        auto* marker = static_cast<float*>(jack_port_get_buffer(s.marker, frames));
        std::memset(marker, 0, frames * sizeof(float));
        const int request = s.request.load(std::memory_order_acquire);
        if (request != 0) {
            const unsigned char on[3] = {0x90, 69, 100};
            const unsigned char off[3] = {0x80, 69, 0};
            if (jack_midi_event_write(midi, 0, request == 1 ? on : off, 3) == 0) {
                marker[0] = request == 1 ? 0.5f : -0.5f;
                s.request.store(0, std::memory_order_relaxed);
                s.sent.store(request, std::memory_order_release);
            }
        }
        return 0;
    }
    const double sampleRate = jack_get_sample_rate(s.client);
    for (size_t p = 0; p < s.midiPorts.size(); ++p) {
        void* midi = jack_port_get_buffer(s.midiPorts[p], frames);
        jack_midi_clear_buffer(midi);
        s.owed[p] += s.rate * frames / sampleRate;
        const int n = static_cast<int>(s.owed[p]);
        s.owed[p] -= n;
        for (int k = 0; k < n; ++k) {
            const auto frame = static_cast<jack_nframes_t>(static_cast<uint64_t>(k) * frames / n);
            const uint64_t c = s.counter[p]++;
            const auto note = static_cast<unsigned char>(60 + p);
            unsigned char message[3] = {0x90, note, 100};
            size_t size = 3;
            switch (c % 4) {
                case 0:
                    break;
                case 1:
                    message[0] = 0x80;
                    message[2] = 0;
                    break;
                case 2:
                    message[0] = 0xF8;
                    size = 1;
                    break;
                default:
                    message[0] = 0x90;
                    message[2] = 0;
                    break;  // note-on, velocity 0
            }
            if (jack_midi_event_write(midi, frame, message, size) == 0) {
                s.total.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }
    return 0;
}

bool lineOrEnd(std::string& line) {
    line.clear();
    char c;
    while (read(STDIN_FILENO, &c, 1) == 1) {
        if (c == '\n') return true;
        line += c;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s NAME note | NAME flood RATE PORTS\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    Sender s;
    int portCount = 1;
    if (std::strcmp(argv[2], "flood") == 0 && argc == 5) {
        s.mode = Mode::Flood;
        s.rate = std::atof(argv[3]);
        portCount = std::atoi(argv[4]);
    } else if (std::strcmp(argv[2], "note") != 0) {
        std::fprintf(stderr, "unknown mode %s\n", argv[2]);
        return 2;
    }

    s.client = jack_client_open(argv[1], JackNoStartServer, nullptr);
    if (s.client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    for (int p = 0; p < portCount; ++p) {
        const std::string name = s.mode == Mode::Note ? "out" : "out" + std::to_string(p + 1);
        s.midiPorts.push_back(jack_port_register(s.client, name.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                                 JackPortIsOutput, 0));
    }
    if (s.mode == Mode::Note) {
        s.marker =
            jack_port_register(s.client, "marker", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    s.owed.assign(portCount, 0.0);
    s.counter.assign(portCount, 0);
    jack_set_process_callback(s.client, process, &s);
    if (jack_activate(s.client) != 0) return 1;
    std::printf("ready\n");
    std::fflush(stdout);

    std::string line;
    if (s.mode == Mode::Note) {
        while (lineOrEnd(line)) {
            const int request = line == "on" ? 1 : line == "off" ? 2 : 0;
            if (request == 0) continue;
            s.sent.store(0, std::memory_order_relaxed);
            s.request.store(request, std::memory_order_release);
            while (s.sent.load(std::memory_order_acquire) != request) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::printf("sent %s\n", line.c_str());
            std::fflush(stdout);
        }
    } else {
        lineOrEnd(line);
        std::printf("flood sent: %llu\n",
                    static_cast<unsigned long long>(s.total.load(std::memory_order_relaxed)));
    }
    jack_client_close(s.client);
    return 0;
}
