#include "audio/audio_stream.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <system_error>
#include <thread>

#include <jack/jack.h>
#include <pa_jack.h>

#include "engine/engine.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"
#include "platform/shutdown_wait.h"

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

// The stream's JACK client (inside the audio library) cannot be told to report
// its server's end. So a client of our own, opened on the same server just
// before the stream and closed with it, reports it instead: a server that
// lived only between two looks is then let go of like any other. Used by
// whoever holds the stream: the UI thread at start-up, then the worker.
struct StreamClients {
    jack_client_t* sentinel = nullptr;
    uint32_t sentinelGeneration = 0;
    uint32_t streamGeneration = 0;
    std::atomic<int32_t> serverGone{0};  // the sentinel's notification thread
};

// One per started stream. Leaked on purpose, with its side, when its thread
// is left behind in a call that does not return.
struct AudioWorker {
    AudioSide* side = nullptr;
    std::atomic<int32_t> stopRequested{0};
    std::atomic<int32_t> finished{0};
    std::thread thread;
};

}  // namespace

// The stream's device and the worker that holds it once started: the UI
// thread's until then.
struct AudioSide {
    explicit AudioSide(EngineState& engine) : engine(engine) {}
    EngineState& engine;
    PaStream* stream = nullptr;
    PaError audioError = paNoError;
    PaStreamParameters outputParameters{};
    std::atomic<double> streamRate{44100.0};
    AudioOutput* owner = nullptr;  // the callback's user data
    // Bumped by every callback; the worker reads it to know the stream is alive.
    std::atomic<uint64_t> callbacks{0};
    AudioWorker* worker = nullptr;  // UI thread only
    bool leftBehind = false;        // a shutdown gave up on the worker
    StreamClients clients;          // whoever holds the stream
};

namespace {

void onServerGone(jack_status_t, const char*, void* clients) {
    static_cast<StreamClients*>(clients)->serverGone.store(1, std::memory_order_relaxed);
    jackClients::markServerLost();
}

// Holding the client lock. None answers for a device other than JACK's.
void openSentinel(StreamClients& c) {
    jack_client_t* client = jack_client_open("Tessivox-audio", JackNoStartServer, nullptr);
    if (client == nullptr) return;
    c.serverGone.store(0, std::memory_order_relaxed);
    jack_on_info_shutdown(client, onServerGone, &c);
    c.sentinel = client;
    c.sentinelGeneration = jackClients::generation();
    jackClients::held();
}

void closeSentinel(StreamClients& c) {
    if (c.sentinel == nullptr) return;
    // Already freed by libjack when its generation moved on.
    if (c.sentinelGeneration == jackClients::generation()) jack_client_close(c.sentinel);
    c.sentinel = nullptr;
    jackClients::released();
}

// Holding the client lock. The sentinel comes first, on the server the stream
// will be on; if that server went and another came meanwhile, the stream's
// open freed the sentinel and both are given up, to be tried again. At
// start-up the worker opens it later, for a quicker start: a server that went
// meanwhile is then noticed as one that came up between the two opens.
PaError openStreamAt(AudioSide& s, PaStream** stream, double rate, bool withSentinel) {
    StreamClients& c = s.clients;
    *stream = nullptr;
    if (!jackClients::mayOpen()) return paInternalError;
    c.serverGone.store(0, std::memory_order_relaxed);
    if (withSentinel) openSentinel(c);
    const uint32_t generation = jackClients::generation();
    PaError error = Pa_OpenStream(stream, nullptr, &s.outputParameters, rate,
                                  paFramesPerBufferUnspecified, paNoFlag, streamCallback, s.owner);
    if (error == paNoError && jackClients::generation() != generation) {
        Pa_CloseStream(*stream);
        error = paInternalError;
    }
    if (error != paNoError) {
        *stream = nullptr;
        closeSentinel(c);
        return error;
    }
    // A server that came up between the two opens has the stream but not yet
    // the sentinel.
    if (withSentinel && c.sentinel == nullptr) openSentinel(c);
    c.streamGeneration = generation;
    jackClients::held();
    return paNoError;
}

// Rates tried after the device's own when it refuses the engine's: a sound
// server that restarted at another rate is not seen by the library's device
// list, made once at start.
constexpr double kCommonRates[] = {48000,  44100,  96000, 88200, 32000, 22050,
                                   192000, 176400, 24000, 16000, 11025, 8000};

// At the engine's rate if the device takes it, else at one it does, where the
// engine then runs: no stream runs meanwhile, so no callback sees the change.
PaError openStream(AudioSide& s, PaStream** stream, bool withSentinel = true) {
    EngineState& engine = s.engine;
    PaError error = openStreamAt(s, stream, engine.sampleRate, withSentinel);
    if (error == paInvalidSampleRate) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(s.outputParameters.device);
        double rates[std::size(kCommonRates) + 1] = {device ? device->defaultSampleRate : 0.0};
        std::copy(std::begin(kCommonRates), std::end(kCommonRates), rates + 1);
        for (size_t k = 0; k < std::size(rates) && error == paInvalidSampleRate; ++k) {
            const double rate = rates[k];
            const bool tried =
                rate == engine.sampleRate || std::find(rates, rates + k, rate) != rates + k;
            if (tried || !(rate >= kMinSampleRate && rate <= kMaxSampleRate)) continue;
            error = openStreamAt(s, stream, rate, withSentinel);
            if (error == paNoError) setSampleRate(engine, rate);
        }
    }
    s.streamRate.store(engine.sampleRate, std::memory_order_relaxed);
    return error;
}

bool streamClientFreed(const AudioSide& s) {
    return s.clients.streamGeneration != jackClients::generation();
}

void closeStream(AudioSide& s) {
    jackClients::Lock held = jackClients::lock();
    QuietLibraries quiet;
    // The stream's JACK client was freed under it: only the abort, which
    // stops the library's thread and leaves the client alone, is made; the
    // close would touch the client, so the stream is left unclosed.
    const bool freed = streamClientFreed(s);
    Pa_AbortStream(s.stream);
    if (!freed) {
        const auto deadline = Clock::now() + kInactiveWaitLimit;
        // Any answer but 1 (inactive, or an error for a dead stream) ends the wait.
        while (Pa_IsStreamActive(s.stream) == 1 && Clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(1));
        }
        // Releases the device and its connection to a sound server.
        Pa_CloseStream(s.stream);
    }
    s.stream = nullptr;
    jackClients::released();
    closeSentinel(s.clients);
}

// The worker thread: the only one that calls the audio library once the
// stream has been handed to it.
void keepStreamPlaying(AudioWorker& w) {
    AudioSide& s = *w.side;
    auto stopping = [&w] { return w.stopRequested.load(std::memory_order_acquire) != 0; };
    if (s.stream != nullptr && !stopping()) {
        jackClients::Lock held = jackClients::lock();
        if (s.clients.sentinel == nullptr) openSentinel(s.clients);
        if (!streamClientFreed(s)) Pa_StartStream(s.stream);
    }

    uint64_t seen = s.callbacks.load(std::memory_order_relaxed);
    Clock::time_point lastSign = Clock::now();
    Clock::time_point nextReopen = lastSign;
    while (!stopping()) {
        std::this_thread::sleep_for(kWatchStep);
        const Clock::time_point now = Clock::now();
        if (s.stream == nullptr) {
            if (now < nextReopen) continue;
            nextReopen = now + kReopenInterval;
            PaStream* stream = nullptr;
            jackClients::Lock held = jackClients::lock();
            QuietLibraries quiet(true);
            if (openStream(s, &stream) != paNoError) continue;
            Pa_StartStream(stream);
            s.stream = stream;
            lastSign = Clock::now();
            continue;
        }
        const uint64_t count = s.callbacks.load(std::memory_order_relaxed);
        const bool lost =
            jackClients::serverLost() || s.clients.serverGone.load(std::memory_order_relaxed) != 0;
        if (lost && !jackClients::lossSettled()) continue;
        // A lost server is let go soon, so that new JACK clients can be opened.
        if (lost || streamClientFreed(s) || (count == seen && now - lastSign >= kSilenceLimit)) {
            closeStream(s);
            nextReopen = Clock::now();
        } else if (count != seen) {
            seen = count;
            lastSign = now;
        }
    }
    if (s.stream != nullptr) closeStream(s);
    w.finished.store(1, std::memory_order_release);
}

void startWorker(AudioSide& s, bool stopAtOnce) {
    auto* w = new AudioWorker;
    w->side = &s;
    w->stopRequested.store(stopAtOnce ? 1 : 0, std::memory_order_relaxed);
    try {
        w->thread = std::thread(keepStreamPlaying, std::ref(*w));
        s.worker = w;
        return;
    } catch (const std::system_error&) {
    }
    // No thread to be had: the work is done here, unwatched.
    if (stopAtOnce) {
        keepStreamPlaying(*w);
        s.worker = w;
    } else {
        jackClients::Lock held = jackClients::lock();
        if (!streamClientFreed(s)) Pa_StartStream(s.stream);
        delete w;
    }
}

}  // namespace

AudioOutput::AudioOutput(EngineState& engine) : side_(std::make_unique<AudioSide>(engine)) {
    side_->owner = this;
}

AudioOutput::~AudioOutput() {
    // A worker left in a call that never returned still holds the side.
    if (!shutDownAudio({})) (void)side_.release();
}

PaError AudioOutput::audioError() const {
    return side_->audioError;
}

bool AudioOutput::streamOpen() const {
    return side_->stream != nullptr;
}

double AudioOutput::streamRate() const {
    return side_->streamRate.load(std::memory_order_relaxed);
}

bool AudioOutput::openAudioStream(const AudioErrorReporter& report) {
    AudioSide& s = *side_;
    {
        jackClients::Lock held = jackClients::lock();
        QuietLibraries quiet;
        // The audio library's JACK host opens a client of its own at start-up
        // that nothing uses (the stream goes to the system's default device)
        // and that is never closed: after a server dies, libjack then frees
        // it, and every client still open beside it, at the next open. The
        // library takes names up to jack_client_name_size() characters,
        // libjack only shorter ones; one of exactly that length keeps the
        // host from opening a client at all.
        static const std::string refusedName(static_cast<size_t>(jack_client_name_size()), 'x');
        PaJack_SetClientName(refusedName.c_str());
        s.audioError = Pa_Initialize();
        // The audio library's JACK part sets libjack's message functions.
        jackClients::quietMessages();
        if (s.audioError == paNoError) {
            s.outputParameters = {Pa_GetDefaultOutputDevice(), 1, paFloat32, kSuggestedLatency,
                                  nullptr};
            s.audioError = openStream(s, &s.stream, false);
        }
    }
    if (s.audioError == paNoError) return true;
    if (report) report(Pa_GetErrorText(s.audioError));
    return false;
}

void AudioOutput::startAudioStream() {
    if (side_->stream != nullptr && side_->worker == nullptr) startWorker(*side_, false);
}

bool AudioOutput::shutDownAudio(const std::function<void()>& pumpWindowEvents) {
    AudioSide& s = *side_;
    if (s.leftBehind) return false;
    if (s.worker == nullptr) {
        if (s.stream == nullptr) return true;
        // Opened but never started: the worker only closes it.
        startWorker(s, true);
    }
    AudioWorker* w = s.worker;
    w->stopRequested.store(1, std::memory_order_release);
    const bool finished = waitWhilePumping(
        [w] { return w->finished.load(std::memory_order_acquire) != 0; },
        Clock::now() + kShutdownLimit, pumpWindowEvents);
    s.worker = nullptr;
    if (!finished) {
        s.leftBehind = true;
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
    AudioSide& s = *static_cast<AudioOutput*>(userData)->side_;
    renderFrames(s.engine, static_cast<float*>(output), frameCount);
    limitToDeviceRange(static_cast<float*>(output), frameCount);
    s.callbacks.fetch_add(1, std::memory_order_relaxed);
    return paContinue;
}

}  // namespace tessivox
