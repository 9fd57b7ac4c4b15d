#pragma once

// PortAudio's own names for its handle and error code, declared as the library
// declares them, so that holding the device needs no PortAudio header (the
// plugin builds without one).
typedef void PaStream;
typedef int PaError;

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

// The audio device's part of the shared record: UI thread only.
struct AudioDeviceState {
    PaStream* stream = nullptr;
    PaError audioError = 0;  // paNoError
    OutputParameters outputParameters{};
};

}  // namespace tessivox
