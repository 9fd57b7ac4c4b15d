#pragma once

#include <functional>

#include <portaudio.h>

#include "engine/synth_state.h"

namespace tessivox {

// Receives the audio library's own error text; the program shows it in a
// message box titled "PortAudio" and then ends.
using AudioErrorReporter = std::function<void(const char* text)>;

// Initialises the audio library and opens the default output stream (not yet
// started). On failure calls `report` with the library's text and returns false.
bool openAudioStream(SynthState& s, const AudioErrorReporter& report);

// Starts the stream; a failure is not reported (the program runs silent).
void startAudioStream(SynthState& s);

// Aborts the stream, calls `pumpWindowEvents` (which lets the window system
// work for at most 1 ms) until the stream is inactive, then terminates the
// audio library.
void shutDownAudio(SynthState& s, const std::function<void()>& pumpWindowEvents);

// The library's stream callback; user data is the SynthState.
int streamCallback(const void* input, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                   void* userData);

}  // namespace tessivox
