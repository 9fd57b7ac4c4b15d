#include "audio/audio_stream.h"

#include <chrono>
#include <thread>

#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"
#include "engine/engine.h"

namespace tessivox {

namespace {
constexpr double kSuggestedLatency = 0.075;
// An aborted stream is inactive at once; this only guards against a driver
// that never says so.
constexpr auto kInactiveWaitLimit = std::chrono::seconds(2);
}  // namespace

bool openAudioStream(SynthState& s, const AudioErrorReporter& report) {
    {
        QuietLibraries quiet;
        s.audioError = Pa_Initialize();
        if (s.audioError == paNoError) {
            s.outputParameters.device = Pa_GetDefaultOutputDevice();
            s.outputParameters.channelCount = 1;
            s.outputParameters.sampleFormat = paFloat32;
            s.outputParameters.suggestedLatency = kSuggestedLatency;
            s.outputParameters.hostApiSpecificStreamInfo = nullptr;
            s.audioError =
                Pa_OpenStream(&s.stream, nullptr, &s.outputParameters, kSampleRate,
                              paFramesPerBufferUnspecified, paNoFlag, streamCallback, &s);
            if (s.audioError != paNoError) s.stream = nullptr;
        }
    }
    if (s.audioError == paNoError) return true;
    if (report) report(Pa_GetErrorText(s.audioError));
    return false;
}

void startAudioStream(SynthState& s) {
    if (s.stream != nullptr) Pa_StartStream(s.stream);
}

void shutDownAudio(SynthState& s, const std::function<void()>& pumpWindowEvents) {
    if (s.stream != nullptr) {
        Pa_AbortStream(s.stream);
        const auto deadline = std::chrono::steady_clock::now() + kInactiveWaitLimit;
        // Any answer but 1 (inactive, or an error for a dead stream) ends the wait.
        while (Pa_IsStreamActive(s.stream) == 1 && std::chrono::steady_clock::now() < deadline) {
            if (pumpWindowEvents) {
                pumpWindowEvents();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    // Terminating the library closes the stream as well.
    QuietLibraries quiet;
    Pa_Terminate();
    s.stream = nullptr;
}

int streamCallback(const void* /*input*/, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* /*timeInfo*/,
                   PaStreamCallbackFlags /*statusFlags*/, void* userData) {
    RealtimeScope scope;
    renderFrames(*static_cast<SynthState*>(userData), static_cast<float*>(output), frameCount);
    return paContinue;
}

}  // namespace tessivox
