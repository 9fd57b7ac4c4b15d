#pragma once

#include <functional>
#include <memory>

#include <portaudio.h>

#include "engine/engine_state.h"

namespace tessivox {

// Receives the audio library's own error text; the program shows it in a
// message box titled "PortAudio" and then ends.
using AudioErrorReporter = std::function<void(const char* text)>;

struct AudioSide;  // the stream's worker and JACK clients, private to the audio module

// The program's audio output: the default output stream, playing the
// engine, and the worker that keeps it going. Made by whoever holds the
// engine, once; UI thread.
class AudioOutput {
  public:
    explicit AudioOutput(EngineState& engine);
    // Takes the stream down as shutDownAudio does, if nobody did.
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Initialises the audio library and opens the default output stream (not
    // yet started). On failure calls `report` with the library's text and
    // returns false.
    bool openAudioStream(const AudioErrorReporter& report);

    // Starts the stream on a worker thread that from then on makes every audio
    // library call, so that none can hang the caller. The worker keeps the sound
    // going: when the callback stops being called (the sound server stopped,
    // died or restarted), or a JACK client of the program heard its server go,
    // it closes the stream and opens it again on the same device once that is
    // back. Failures are not reported.
    void startAudioStream();

    // Has the worker abort and close the stream, calling `pumpWindowEvents`
    // (which lets the window system work for at most 1 ms) while it waits.
    // Returns false if a library call has not returned within 0.4 s: the
    // worker is then left to it, and the caller must end the process without
    // running static destructors under it. The library is never terminated: its
    // JACK part aborts the process once the server it talked to has gone, and the
    // process ends next anyway.
    bool shutDownAudio(const std::function<void()>& pumpWindowEvents);

    // The library's answer to the last open; paNoError once it worked.
    PaError audioError() const;
    bool streamOpen() const;
    // The rate the stream plays at, for the UI to show: the device's own
    // where it refuses 44100. Any thread.
    double streamRate() const;

  private:
    friend int streamCallback(const void*, void*, unsigned long, const PaStreamCallbackTimeInfo*,
                              PaStreamCallbackFlags, void*);
    std::unique_ptr<AudioSide> side_;
};

// The library's stream callback; user data is the AudioOutput.
int streamCallback(const void* input, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                   void* userData);

}  // namespace tessivox
