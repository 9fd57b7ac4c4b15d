#pragma once

#include "audio/audio_device_state.h"
#include "engine/engine_state.h"
#include "midi/midi_port_state.h"
#include "picture/editor_state.h"

namespace tessivox {

// The one record shared by the UI, MIDI and audio threads, in parts named by
// their owner. The engine sees only its own part; the other parts hold no
// device library's types, so the plugin needs none of those headers.
struct SynthState : EngineState, AudioDeviceState, MidiPortState, EditorState {};

}  // namespace tessivox
