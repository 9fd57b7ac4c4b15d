#pragma once

// PortAudio's own names for its handle and error code, declared as the library
// declares them, so that holding the device needs no PortAudio header (the
// plugin builds without one).
typedef void PaStream;
typedef int PaError;

#include <atomic>

namespace tessivox {

// The stream's output parameters, field for field as the library's
// PaStreamParameters; the stream code copies them into one when it opens.
struct OutputParameters {
    int device = 0;
    int channelCount = 0;
    unsigned long sampleFormat = 0;
    double suggestedLatency = 0.0;
    void* hostApiSpecificStreamInfo = nullptr;
};

// The audio device's part of the shared record: the UI thread's until the
// stream is handed to its worker.
struct AudioDeviceState {
    PaStream* stream = nullptr;
    PaError audioError = 0;  // paNoError
    OutputParameters outputParameters{};
    // The rate the stream plays at, for the UI to show: the device's own
    // where it refuses 44100. Written by whoever opens the stream.
    std::atomic<double> streamRate{44100.0};
};

}  // namespace tessivox
