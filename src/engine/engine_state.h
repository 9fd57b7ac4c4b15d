#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "engine/controls.h"
#include "engine/superformula.h"

namespace tessivox {

// The six superformula parameters, in the order the window lists them.
// `None` is what any other axis name resolves to: it drives nothing.
enum class ParamId : int32_t { None = -1, M = 0, N1, N2, N3, A, B };

// Exact, case-sensitive lookup; anything else is `None`.
ParamId paramIdFromName(std::string_view name);
std::string_view paramName(ParamId id);  // "" for None

enum class GateText : int32_t { Empty, Off, On };
std::string_view gateTextString(GateText text);

struct PadPoint {
    double x;
    double y;
    bool operator==(const PadPoint&) const = default;
};

// Start values of the controls that the synthesis reads.
inline constexpr float kStartParams[kParamCount] = {startParamValue(0), startParamValue(1),
                                                    startParamValue(2), startParamValue(3),
                                                    startParamValue(4), startParamValue(5)};

// The fades before and after a note, at kSampleRate; setSampleRate keeps
// their length in time.
inline constexpr int32_t kFadeOutLast = 1000;  // the fade-out's last counter value
inline constexpr int32_t kFadeInFrames = 100;

// What the synthesis reads and writes: the part of the shared record that
// the engine owns. Construction gives every field its start value. Fields
// that cross threads are atomics; the rest belong to a single thread, named
// in the comment of their block.
struct EngineState {
    EngineState();
    EngineState(const EngineState&) = delete;
    EngineState& operator=(const EngineState&) = delete;

    // --- set once before rendering (setSampleRate) -------------------------
    double sampleRate = kSampleRate;
    // The fade-out's last counter value and the fade-in's length, in frames
    // at sampleRate.
    int32_t fadeOutLast = kFadeOutLast;
    int32_t fadeInFrames = kFadeInFrames;

    // --- audio thread only -------------------------------------------------
    double lastReleaseLevel = 0.0;
    double attackSeconds = 0.0;
    double decaySeconds = 0.0;
    double sustainFraction = 0.0;
    double releaseSeconds = 0.0;
    double attackSamples = 0.0;
    double decaySamples = 0.0;
    double sustainLevel = 0.0;
    double releaseSamples = 0.0;
    double envelopeLevel = 0.0;
    double releaseStartLevel = 0.0;
    double releaseStartY = 0.0;
    double releaseStartX = 0.0;
    double padPositionY = 50.0;
    double padPositionX = 50.0;
    float phase = 0.0f;
    int32_t periodSamples = 0;
    int32_t sampleIndex = 0;
    int32_t fadeCounter = 0;
    int32_t releaseStartIndex = 0;
    float xParamValue = 0.0f;
    float yParamValue = 0.0f;
    float oscillatorOutput = 0.0f;
    // The parameters last classified for silent frames, and what they gave.
    // (as bits; a NaN pattern no parameter store makes, so the first frame classifies).
    uint32_t classifiedParams[6] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    Finiteness shapeFiniteness = Finiteness::Mixed;
    // The pitch of the last silent frame and the period and phase step it gave.
    double silentFrequency = 0.0;
    double silentRate = 0.0;
    double silentStep = 0.0;
    int32_t silentExact = 0;
    int32_t silentPeriod = 0;
    // The note's level from its velocity, taken when the note starts.
    double noteLevel = 1.0;
    // The sounding note's pitch on its way from glideFrom to glideTo, at step
    // glideStep of glideFrames; pitchNow 0 until a note has sounded.
    double pitchNow = 0.0;
    double glideFrom = 0.0;
    double glideTo = 0.0;
    int32_t glideStep = 0;
    int32_t glideFrames = 0;
    // The bend and range the factor was last computed for.
    int32_t bendSeen = 8192;
    int32_t bendRangeSeen = 0;
    double bendFactor = 1.0;

    // --- written by MIDI, read by audio -------------------------------------
    std::atomic<double> noteFrequency{0.0};
    std::atomic<double> previousFrequency{100.0};
    // Released after noteFrequency is stored; acquired by the envelope step.
    std::atomic<int32_t> gate{0};
    // Cleared by MIDI, set by audio.
    std::atomic<int32_t> envelopeLatched{0};
    std::atomic<int32_t> noteStarted{0};
    // Set by MIDI after it closes the gate, cleared by audio once the sound
    // fades out over the fade-out length instead of the release.
    std::atomic<int32_t> soundOffRequested{0};
    // The 14-bit pitch bend, 8192 at rest.
    std::atomic<int32_t> pitchBend{8192};
    // The velocity of the note-on that began the note, and whether the
    // newest note-on came while a key was held.
    std::atomic<int32_t> noteVelocity{100};
    std::atomic<int32_t> noteLegato{0};

    // --- MIDI rules (MIDI thread, and the UI thread when it closes a port) --
    std::atomic<int32_t> keysHeld{0};
    std::atomic<GateText> gateText{GateText::Empty};
    // Bumped after every short message, so the UI knows to show gateText again.
    std::atomic<uint32_t> shortMessageCount{0};
    // The sustain pedal is down; released keys it holds, still in keysHeld.
    std::atomic<int32_t> pedalDown{0};
    std::atomic<int32_t> keysSustained{0};
    // The last value of every controller the rules leave alone, the one moved
    // last and how many moves there were: what the window's learned sliders follow.
    std::array<std::atomic<uint8_t>, 128> controllerValues{};
    std::atomic<int32_t> lastController{-1};
    std::atomic<uint32_t> controllerMoves{0};

    // --- written by UI (and audio while the trajectory runs) ---------------
    std::atomic<float> m{kStartParams[0]};
    std::atomic<float> N1{kStartParams[1]};
    std::atomic<float> N2{kStartParams[2]};
    std::atomic<float> N3{kStartParams[3]};
    std::atomic<float> A{kStartParams[4]};
    std::atomic<float> B{kStartParams[5]};

    // --- written by UI, read by audio ----------------------------------------
    std::array<std::atomic<double>, 4> trajectoryX;
    std::array<std::atomic<double>, 4> trajectoryY;
    // The axis names, resolved once when Enable copies them.
    std::atomic<ParamId> xParam{ParamId::None};
    std::atomic<ParamId> yParam{ParamId::None};
    std::atomic<float> xFrom{0.0f};
    std::atomic<float> xTo{0.0f};
    std::atomic<float> yFrom{0.0f};
    std::atomic<float> yTo{0.0f};
    // Released after the names and limits; acquired before they are read.
    std::atomic<int32_t> trajectoryEnabled{0};
    // Set by the audio thread around each trajectory step, so that switching
    // the trajectory off can wait for a step already under way.
    std::atomic<int32_t> trajectoryStepRunning{0};
    // 1: the phase advances by f / rate each frame instead of whole-sample periods.
    std::atomic<int32_t> exactPitch{0};
    // Envelope slider values, mirrored by whoever owns the sliders.
    std::atomic<int32_t> attackSlider{kEnvelopeSliders[kAttack].start};
    std::atomic<int32_t> decaySlider{kEnvelopeSliders[kDecay].start};
    std::atomic<int32_t> sustainSlider{kEnvelopeSliders[kSustain].start};
    std::atomic<int32_t> releaseSlider{kEnvelopeSliders[kRelease].start};

    // --- how the instrument is played: written by UI, read by MIDI and audio.
    // Each start value plays as the instrument always did.
    // Semitones a full bend moves the pitch; 0 ignores bends.
    std::atomic<int32_t> bendRange{0};
    // Seconds the pitch takes from one note to the next; 0 jumps.
    std::atomic<float> glideTime{0.0f};
    // 1: a glide only from a key still held to the next one.
    std::atomic<int32_t> glideLegato{0};
    // 0 to 1: how much the velocity sets a note's level.
    std::atomic<float> velocitySensitivity{0.0f};
    // 1: a note with nothing sounding before it starts on its note-on frame.
    std::atomic<int32_t> onsetAtOnce{0};
    // 1: controller 64 at 64 or more holds released keys until it comes up.
    std::atomic<int32_t> sustainPedal{0};
    // The window's MIDI channel, 1 to 16, or 0 for every channel.
    std::atomic<int32_t> midiChannel{1};
};

static_assert(std::atomic<double>::is_always_lock_free);
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<ParamId>::is_always_lock_free);
static_assert(std::atomic<GateText>::is_always_lock_free);

// The parameter field an id names; id must not be None.
std::atomic<float>& param(EngineState& s, ParamId id);

// The mirror of envelope slider k (kAttack..kRelease).
std::atomic<int32_t>& envelopeSlider(EngineState& s, int k);

}  // namespace tessivox
