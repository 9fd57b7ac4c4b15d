#include "audio/audio_stream.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <system_error>
#include <thread>

#include "engine/engine.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"

namespace tessivox {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kSuggestedLatency = 0.075;
// An aborted stream is inactive at once; this only guards against a driver
// that never says so.
constexpr auto kInactiveWaitLimit = milliseconds(200);
// The worker's pace: how soon it sees a stop request.
constexpr auto kWatchStep = milliseconds(10);
// Callbacks come every few tens of milliseconds; a second without one means
// the device has gone (a dead JACK server leaves the stream "active" forever).
constexpr auto kSilenceLimit = milliseconds(1000);
constexpr auto kReopenInterval = milliseconds(500);
constexpr auto kShutdownLimit = milliseconds(400);

// Bumped by every callback; the worker reads it to know the stream is alive.
std::atomic<uint64_t> gCallbacks{0};

// One per started stream. Leaked on purpose when its thread is left behind
// in a call that does not return.
struct AudioWorker {
    SynthState* state = nullptr;
    std::atomic<int32_t> stopRequested{0};
    std::atomic<int32_t> finished{0};
    std::thread thread;
};

AudioWorker* gWorker = nullptr;  // UI thread only

PaError openStream(SynthState& s, PaStream** stream) {
    return Pa_OpenStream(stream, nullptr, &s.outputParameters, kSampleRate,
                         paFramesPerBufferUnspecified, paNoFlag, streamCallback, &s);
}

void closeStream(PaStream*& stream) {
    QuietLibraries quiet;
    Pa_AbortStream(stream);
    const auto deadline = Clock::now() + kInactiveWaitLimit;
    // Any answer but 1 (inactive, or an error for a dead stream) ends the wait.
    while (Pa_IsStreamActive(stream) == 1 && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(1));
    }
    // Releases the device and its connection to a sound server.
    Pa_CloseStream(stream);
    stream = nullptr;
    jackClients::released();
}

// The worker thread: the only one that calls the audio library once the
// stream has been handed to it.
void keepStreamPlaying(AudioWorker& w) {
    SynthState& s = *w.state;
    auto stopping = [&w] { return w.stopRequested.load(std::memory_order_acquire) != 0; };
    if (s.stream != nullptr && !stopping()) Pa_StartStream(s.stream);

    uint64_t seen = gCallbacks.load(std::memory_order_relaxed);
    Clock::time_point lastSign = Clock::now();
    Clock::time_point nextReopen = lastSign;
    while (!stopping()) {
        std::this_thread::sleep_for(kWatchStep);
        const Clock::time_point now = Clock::now();
        if (s.stream == nullptr) {
            if (now < nextReopen || !jackClients::mayOpen()) continue;
            nextReopen = now + kReopenInterval;
            PaStream* stream = nullptr;
            QuietLibraries quiet(true);
            if (openStream(s, &stream) != paNoError) continue;
            jackClients::held();
            Pa_StartStream(stream);
            s.stream = stream;
            lastSign = Clock::now();
            continue;
        }
        const uint64_t count = gCallbacks.load(std::memory_order_relaxed);
        // A lost server is let go at once, so that new JACK clients can be opened.
        if (jackClients::serverLost() || (count == seen && now - lastSign >= kSilenceLimit)) {
            closeStream(s.stream);
            nextReopen = Clock::now();
        } else if (count != seen) {
            seen = count;
            lastSign = now;
        }
    }
    if (s.stream != nullptr) closeStream(s.stream);
    w.finished.store(1, std::memory_order_release);
}

void startWorker(SynthState& s, bool stopAtOnce) {
    auto* w = new AudioWorker;
    w->state = &s;
    w->stopRequested.store(stopAtOnce ? 1 : 0, std::memory_order_relaxed);
    try {
        w->thread = std::thread(keepStreamPlaying, std::ref(*w));
        gWorker = w;
        return;
    } catch (const std::system_error&) {
    }
    // No thread to be had: the work is done here, unwatched.
    if (stopAtOnce) {
        keepStreamPlaying(*w);
        gWorker = w;
    } else {
        Pa_StartStream(s.stream);
        delete w;
    }
}

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
            s.audioError = openStream(s, &s.stream);
            if (s.audioError != paNoError) s.stream = nullptr;
            if (s.stream != nullptr) jackClients::held();
        }
    }
    if (s.audioError == paNoError) return true;
    if (report) report(Pa_GetErrorText(s.audioError));
    return false;
}

void startAudioStream(SynthState& s) {
    if (s.stream != nullptr && gWorker == nullptr) startWorker(s, false);
}

bool shutDownAudio(SynthState& s, const std::function<void()>& pumpWindowEvents) {
    if (gWorker == nullptr) {
        if (s.stream == nullptr) return true;
        // Opened but never started: the worker only closes it.
        startWorker(s, true);
    }
    AudioWorker* w = gWorker;
    w->stopRequested.store(1, std::memory_order_release);
    const auto deadline = Clock::now() + kShutdownLimit;
    while (w->finished.load(std::memory_order_acquire) == 0 && Clock::now() < deadline) {
        if (pumpWindowEvents) {
            pumpWindowEvents();
        } else {
            std::this_thread::sleep_for(milliseconds(1));
        }
    }
    gWorker = nullptr;
    if (w->finished.load(std::memory_order_acquire) == 0) {
        w->thread.detach();
        return false;
    }
    if (w->thread.joinable()) w->thread.join();
    delete w;
    return true;
}

int streamCallback(const void* /*input*/, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* /*timeInfo*/,
                   PaStreamCallbackFlags /*statusFlags*/, void* userData) {
    RealtimeScope scope;
    renderFrames(*static_cast<SynthState*>(userData), static_cast<float*>(output), frameCount);
    limitToDeviceRange(static_cast<float*>(output), frameCount);
    gCallbacks.fetch_add(1, std::memory_order_relaxed);
    return paContinue;
}

}  // namespace tessivox
