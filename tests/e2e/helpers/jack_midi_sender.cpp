// A JACK MIDI source for the end-to-end tests, with its timing under control.
//
//   jack_midi_sender NAME keys
//     One MIDI port NAME:out and one audio port NAME:marker. Reads lines
//     "on NOTE" and "off NOTE" from stdin; each sends note-on NOTE (velocity
//     100) or note-off NOTE at the first frame of the next cycle and writes
//     +0.5 (on) or -0.5 (off) into the marker at that same frame, so a
//     recording of the marker shows when the note was sent. Prints "ready"
//     once the ports exist and "sent on NOTE"/"sent off NOTE" once sent.
//     "raw HEX..." sends those bytes (at most 16) as one event, unchecked,
//     and prints "sent raw HEX...". The program ends when stdin closes.
//   jack_midi_sender NAME flood RATE PORTS
//     PORTS MIDI ports NAME:out1...; each sends RATE messages a second,
//     spread over every cycle: note-ons and note-offs of its own note, and
//     timing clocks, until stdin closes or a line arrives.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRawRequest = 0x10000;

struct Sender {
    bool flood = false;
    jack_client_t* client = nullptr;
    std::vector<jack_port_t*> midiPorts;
    jack_port_t* marker = nullptr;
    // Keys: status << 8 | note asked for; the process thread clears it once
    // sent and sets `sent`.
    std::atomic<int> request{0};
    std::atomic<int> sent{0};
    // Raw: the bytes, filled before `request` is set to kRawRequest.
    unsigned char raw[16] = {};
    size_t rawSize = 0;
    // Flood.
    double rate = 0.0;
    std::vector<double> owed;
    std::vector<uint64_t> counter;
    std::atomic<uint64_t> total{0};
};

void sendKey(Sender& s, jack_nframes_t frames) {
    void* midi = jack_port_get_buffer(s.midiPorts[0], frames);
    jack_midi_clear_buffer(midi);
    auto* marker = static_cast<float*>(jack_port_get_buffer(s.marker, frames));
    std::memset(marker, 0, frames * sizeof(float));
    const int request = s.request.load(std::memory_order_acquire);
    if (request == 0) return;
    if (request == kRawRequest) {
        if (jack_midi_event_write(midi, 0, s.raw, s.rawSize) == 0) {
            s.request.store(0, std::memory_order_relaxed);
            s.sent.store(request, std::memory_order_release);
        }
        return;
    }
    const bool on = (request >> 8) == 0x90;
    const unsigned char message[3] = {static_cast<unsigned char>(request >> 8),
                                      static_cast<unsigned char>(request & 0x7F),
                                      static_cast<unsigned char>(on ? 100 : 0)};
    if (jack_midi_event_write(midi, 0, message, 3) == 0) {
        marker[0] = on ? 0.5f : -0.5f;
        s.request.store(0, std::memory_order_relaxed);
        s.sent.store(request, std::memory_order_release);
    }
}

int process(jack_nframes_t frames, void* arg) {
    auto& s = *static_cast<Sender*>(arg);
    if (!s.flood) {
        sendKey(s, frames);
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
            // Note-on, note-off, clock, note-on with velocity 0.
            const unsigned char messages[4][3] = {
                {0x90, note, 100}, {0x80, note, 0}, {0xF8, 0, 0}, {0x90, note, 0}};
            if (jack_midi_event_write(midi, frame, messages[c % 4], c % 4 == 2 ? 1 : 3) == 0) {
                s.total.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    Sender s;
    int portCount = 1;
    if (argc == 5 && std::strcmp(argv[2], "flood") == 0) {
        s.flood = true;
        s.rate = std::atof(argv[3]);
        portCount = std::atoi(argv[4]);
    } else if (argc != 3 || std::strcmp(argv[2], "keys") != 0) {
        std::fprintf(stderr, "usage: %s NAME keys | NAME flood RATE PORTS\n", argv[0]);
        return 2;
    }

    s.client = jack_client_open(argv[1], JackNoStartServer, nullptr);
    if (s.client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    for (int p = 0; p < portCount; ++p) {
        const std::string name = s.flood ? "out" + std::to_string(p + 1) : "out";
        s.midiPorts.push_back(jack_port_register(s.client, name.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                                 JackPortIsOutput, 0));
    }
    if (!s.flood) {
        s.marker =
            jack_port_register(s.client, "marker", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    s.owed.assign(portCount, 0.0);
    s.counter.assign(portCount, 0);
    jack_set_process_callback(s.client, process, &s);
    if (jack_activate(s.client) != 0) return 1;
    std::cout << "ready" << std::endl;

    std::string line;
    if (s.flood) {
        std::getline(std::cin, line);
        std::cout << "flood sent: " << s.total.load(std::memory_order_relaxed) << std::endl;
    }
    while (!s.flood && std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string verb;
        int note = -1;
        int request = 0;
        words >> verb;
        if (verb == "raw") {
            s.rawSize = 0;
            unsigned int byte = 0;
            while (s.rawSize < sizeof s.raw && words >> std::hex >> byte) {
                s.raw[s.rawSize++] = static_cast<unsigned char>(byte);
            }
            request = s.rawSize > 0 ? kRawRequest : 0;
        } else if ((verb == "on" || verb == "off") && words >> note && note >= 0 && note <= 127) {
            request = (verb == "on" ? 0x90 : 0x80) << 8 | note;
        }
        if (request == 0) {
            std::cerr << "bad command: " << line << std::endl;
            continue;
        }
        s.sent.store(0, std::memory_order_relaxed);
        s.request.store(request, std::memory_order_release);
        while (s.sent.load(std::memory_order_acquire) != request) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (request == kRawRequest) {
            std::cout << "sent " << line << std::endl;
        } else {
            std::cout << "sent " << verb << ' ' << note << std::endl;
        }
    }
    jack_client_close(s.client);
    return 0;
}
