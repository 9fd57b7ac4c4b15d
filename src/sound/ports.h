#pragma once

// The plugin's ports, built from the window's control table: the plugin
// clamps to these ranges and the TTL generator writes them.

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <version>
#ifndef __cpp_lib_to_chars
#include <cstdio>
#include <cstdlib>
#endif

#include "engine/controls.h"

namespace tessivox::lv2 {

inline constexpr std::string_view kPluginUri = "urn:tessivox:synth";
inline constexpr std::string_view kUiUri = "urn:tessivox:synth:ui";
inline constexpr std::string_view kPresetUriPrefix = "urn:tessivox:preset:";

// A port value as Turtle writes it: an integer, or a decimal with its point.
inline std::string turtleNumber(float value, bool integer) {
    char text[64];
#ifdef __cpp_lib_to_chars
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    std::string s(text, end);
#else
    // Emscripten's libc++ 13 lacks it: the fewest decimals that read back as
    // the same float, which is to_chars' text for every float.
    for (int decimals = 0; decimals <= 50; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
        if (!std::isfinite(value) || std::strtof(text, nullptr) == value) break;
    }
    std::string s(text);
#endif
    if (!integer && s.find('.') == std::string::npos) s += ".0";
    return s;
}

enum Port : uint32_t {
    kMidiIn,
    kOut,
    kM,  // the six parameters, in the window's order
    kAttack = kM + kParamCount,
    kDecay,
    kSustain,
    kRelease,
    kTrajectory,
    kXParam,
    kXFrom,
    kXTo,
    kYParam,
    kYFrom,
    kYTo,
    kPad,  // x and y of the four pad points
    kChannel = kPad + 8,
    kTuning,
    kLatency,    // the one output control
    kBendRange,  // how the instrument is played: a sound's too
    kGlideTime,
    kGlideMode,
    kVelocity,
    kOnset,
    kSustainPedal,  // the player's, kept out of sounds
    kPortCount
};

enum class PortType { MidiIn, AudioOut, Control, ControlOut };
enum PortProperty : unsigned { kPlain = 0, kInteger = 1, kToggled = 2, kEnumeration = 4 };

struct PortSpec {
    std::string_view symbol;
    std::string_view name;
    PortType type;
    float minimum;
    float maximum;
    float start;
    unsigned properties;
    std::string_view unit;          // a units: name, or none
    std::string_view comment = {};  // what the number means, for hosts to show
    std::string_view group = {};    // the port group's symbol, or none
};

// The trajectory's switch, axes and pad points. The limits span every
// parameter's range; the chosen parameter's own range applies when the trajectory runs.
constexpr void addTrajectoryPorts(std::array<PortSpec, kPortCount>& p, float lowest,
                                  float highest) {
    p[kTrajectory] = {"trajectory", "Trajectory", PortType::Control, 0, 1, 0, kToggled, {}};
    const auto axis = [&](std::string_view symbol, std::string_view name, float start) {
        return PortSpec{symbol, name, PortType::Control, lowest, highest, start, kPlain, {}};
    };
    p[kXParam] = {
        "x_param", "X parameter", PortType::Control, 0, kParamCount, 0, kInteger | kEnumeration,
        {}};
    p[kXFrom] = axis("x_from", "X from", 1);
    p[kXTo] = axis("x_to", "X to", 5);
    p[kYParam] = {
        "y_param", "Y parameter", PortType::Control, 0, kParamCount, 0, kInteger | kEnumeration,
        {}};
    p[kYFrom] = axis("y_from", "Y from", 1);
    p[kYTo] = axis("y_to", "Y to", 5);
    constexpr std::string_view padSymbols[8] = {"p1_x", "p1_y", "p2_x", "p2_y",
                                                "p3_x", "p3_y", "p4_x", "p4_y"};
    constexpr std::string_view padNames[8] = {"Point 1 x", "Point 1 y", "Point 2 x", "Point 2 y",
                                              "Point 3 x", "Point 3 y", "Point 4 x", "Point 4 y"};
    for (int k = 0; k < 8; ++k) {
        const double start = k % 2 == 0 ? kStartTrajectoryX[k / 2] : kStartTrajectoryY[k / 2];
        p[kPad + k] = {padSymbols[k],
                       padNames[k],
                       PortType::Control,
                       0,
                       static_cast<float>(kPadExtent),
                       static_cast<float>(start),
                       kInteger,
                       {}};
    }
}

// How the instrument is played, in the group hosts show those ports in.
constexpr void describePlayingPorts(std::array<PortSpec, kPortCount>& p) {
    p[kBendRange].comment =
        "Semitones a full pitch bend moves the pitch, at once, also during the release; 0 ignores "
        "bends.";
    p[kGlideTime].comment =
        "Seconds the pitch takes from the note sounding before to a new one, evenly in "
        "semitones; 0 jumps.";
    p[kGlideMode].comment = "0: every new note glides; 1: only a note played while a key is held.";
    p[kVelocity].comment =
        "How much the velocity v sets a note's level, 1 - s + s (v / 127)^2; 0 plays every note "
        "at full level.";
    p[kOnset].comment =
        "0: every note starts after a 1,001-frame fade-out (at 44.1 kHz) of what sounded before; "
        "1: a note with nothing sounding before it starts on its note-on frame.";
    p[kSustainPedal].comment =
        "On: controller 64 at 64 or more holds every released key until the pedal comes up.";
    for (uint32_t k = kBendRange; k <= kSustainPedal; ++k) p[k].group = "playing";
}

// What each number means, and the groups hosts show the ports in.
constexpr void describePorts(std::array<PortSpec, kPortCount>& p) {
    constexpr std::string_view paramComments[kParamCount] = {
        "Superformula m, 0.01 to 25: the shape's rotational symmetry, m lobes per turn.",
        "Superformula n1, 0.1 to 100: the overall exponent. Small values can make samples far "
        "beyond 1, which the output clips at 0 dBFS.",
        "Superformula n2, 0.1 to 100: the exponent of the cosine term.",
        "Superformula n3, 0.1 to 100: the exponent of the sine term.",
        "Superformula a, 0.001 to 5: the scale of the cosine term.",
        "Superformula b, 0.001 to 5: the scale of the sine term."};
    for (int row = 0; row < kParamCount; ++row) {
        p[kM + row].comment = paramComments[row];
        p[kM + row].group = "shape";
    }
    p[kTuning].comment =
        "0: whole-sample periods, the program window's sound (the pitch depends on the sample "
        "rate); 1: exact pitch at every sample rate.";
    p[kTuning].group = "shape";
    p[kAttack].comment =
        "Attack time on a logarithmic scale from 1 to 2000: 0.1 ms at 1, 17 ms at 1000, 3 s at "
        "2000 (0.0995 ms times 1.00517 to the power of the position).";
    p[kDecay].comment = "Decay time from the peak to the sustain level, 1 to 5000 ms.";
    p[kSustain].comment = "Sustain level while the key is held, 0 to 100 percent of the peak.";
    p[kRelease].comment = "Release time from the key's release to silence, 1 to 5000 ms.";
    for (uint32_t k = kAttack; k <= kRelease; ++k) p[k].group = "envelope";
    p[kTrajectory].comment =
        "On: over each note the pad's path moves the X and Y parameters. It runs only when X and "
        "Y name two different parameters and each 'from' lies below its 'to'.";
    p[kXParam].comment = "The parameter the pad's X axis drives; it must differ from the Y one.";
    p[kYParam].comment = "The parameter the pad's Y axis drives; it must differ from the X one.";
    p[kXFrom].comment = "The X parameter's value at pad x = 0, within its range; below X to.";
    p[kXTo].comment = "The X parameter's value at pad x = 300, within its range; above X from.";
    p[kYFrom].comment = "The Y parameter's value at pad y = 0, within its range; below Y to.";
    p[kYTo].comment = "The Y parameter's value at pad y = 300, within its range; above Y from.";
    for (uint32_t k = kTrajectory; k <= kYTo; ++k) p[k].group = "trajectory";
    constexpr std::string_view padComments[4] = {
        "Point 1 on the pad's 0 to 300 square: where the path starts at the note-on.",
        "Point 2 on the pad's 0 to 300 square: reached at the end of the attack.",
        "Point 3 on the pad's 0 to 300 square: reached at the end of the decay, held while "
        "sustaining.",
        "Point 4 on the pad's 0 to 300 square: reached at the end of the release."};
    for (int k = 0; k < 8; ++k) {
        p[kPad + k].comment = padComments[k / 2];
        p[kPad + k].group = "pad";
    }
    p[kChannel].comment =
        "The MIDI channel that plays: 0 all, 1 to 16 that one only. Notes, All Notes Off (123) "
        "and All Sound Off (120) on other channels are ignored.";
    p[kChannel].group = "midi";
    p[kMidiIn].group = "midi";
    p[kLatency].comment =
        "Frames from a note-on to the note's first sample (the fade-out of what sounded before), "
        "for hosts to compensate; 0 with the onset at once, when only a note that interrupts a "
        "sounding one waits.";
}

constexpr std::array<PortSpec, kPortCount> makePorts() {
    std::array<PortSpec, kPortCount> p{};
    p[kMidiIn] = {"midi_in", "MIDI in", PortType::MidiIn, 0, 0, 0, kPlain, {}};
    p[kOut] = {"out", "Out", PortType::AudioOut, 0, 0, 0, kPlain, {}};
    constexpr std::string_view paramSymbols[kParamCount] = {"m", "n1", "n2", "n3", "a", "b"};
    float lowest = paramMinimum(0), highest = paramMaximum(0);
    for (int row = 0; row < kParamCount; ++row) {
        p[kM + row] = {paramSymbols[row],
                       kParamSliders[row].name,
                       PortType::Control,
                       paramMinimum(row),
                       paramMaximum(row),
                       startParamValue(row),
                       kPlain,
                       {}};
        lowest = paramMinimum(row) < lowest ? paramMinimum(row) : lowest;
        highest = paramMaximum(row) > highest ? paramMaximum(row) : highest;
    }
    constexpr std::string_view envelopeNames[kEnvelopeSliderCount] = {"Attack", "Decay", "Sustain",
                                                                      "Release"};
    // Decay and release positions are milliseconds, sustain a percentage;
    // the attack position is a step on a logarithmic time scale.
    constexpr std::string_view envelopeUnits[kEnvelopeSliderCount] = {{}, "ms", "pc", "ms"};
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        const SliderSpec& e = kEnvelopeSliders[k];
        p[kAttack + k] = {e.name,
                          envelopeNames[k],
                          PortType::Control,
                          static_cast<float>(e.minimum),
                          static_cast<float>(e.maximum),
                          static_cast<float>(e.start),
                          kInteger,
                          envelopeUnits[k]};
    }
    addTrajectoryPorts(p, lowest, highest);
    // 0 takes every channel: which channel a track sends is the host's business.
    p[kChannel] = {"channel", "MIDI channel", PortType::Control, 0, 16, 0, kInteger | kEnumeration,
                   {}};
    // 0 is the window's sound, whole-sample periods; 1 exact pitch at every rate.
    p[kTuning] = {"tuning", "Tuning", PortType::Control, 0, 1, 0, kInteger | kEnumeration, {}};
    // Frames from a note-on to its first sample; the maximum covers 192 kHz.
    p[kLatency] = {"latency", "Latency", PortType::ControlOut, 0, 8192, 0, kInteger, "frame"};
    p[kBendRange] = {"bend_range", "Pitch bend range", PortType::Control, 0, 24, 0,
                     kInteger,     "semitone12TET"};
    p[kGlideTime] = {"glide_time", "Glide time", PortType::Control, 0, 5, 0, kPlain, "s"};
    p[kGlideMode] = {
        "glide_mode", "Glide mode", PortType::Control, 0, 1, 0, kInteger | kEnumeration, {}};
    p[kVelocity] = {"velocity", "Velocity sensitivity", PortType::Control, 0, 1, 0, kPlain, {}};
    p[kOnset] = {"onset", "Onset", PortType::Control, 0, 1, 0, kInteger | kEnumeration, {}};
    p[kSustainPedal] = {"sustain_pedal", "Sustain pedal", PortType::Control, 0, 1, 0, kToggled, {}};

    describePorts(p);
    describePlayingPorts(p);
    return p;
}

inline constexpr std::array<PortSpec, kPortCount> kPorts = makePorts();

// A value as the plugin takes it: NaN to the minimum, into the range, whole
// numbers rounded.
inline float clampToPort(uint32_t port, float value) {
    const PortSpec& spec = kPorts[port];
    if (!(value >= spec.minimum)) value = spec.minimum;
    if (value > spec.maximum) value = spec.maximum;
    if (spec.properties & (kInteger | kToggled)) value = std::nearbyint(value);
    return value;
}

// One axis of the trajectory as its ports set it, from port values as the
// plugin takes them: the parameter's row (-1 when unset) and its limits held
// in the parameter's range.
struct AxisPorts {
    int row = -1;
    float from = 0.0f, to = 0.0f;
};
inline AxisPorts axisFromPorts(const float* values, bool x) {
    const int row = static_cast<int>(values[x ? kXParam : kYParam]) - 1;
    if (row < 0) return {};
    return {row, clampToParam(row, values[x ? kXFrom : kYFrom]),
            clampToParam(row, values[x ? kXTo : kYTo])};
}
// The window's rule for a running trajectory: a parameter on each axis, two
// different ones, and 'from' below 'to' on both.
inline bool trajectoryAllowed(const AxisPorts& x, const AxisPorts& y) {
    return x.row >= 0 && y.row >= 0 && x.row != y.row && x.from < x.to && y.from < y.to;
}

struct PortGroup {
    std::string_view symbol;
    std::string_view label;
};
inline constexpr std::array<PortGroup, 6> kPortGroups{{{"shape", "Shape"},
                                                       {"envelope", "Envelope"},
                                                       {"trajectory", "Trajectory"},
                                                       {"pad", "Pad"},
                                                       {"midi", "MIDI"},
                                                       {"playing", "Playing"}}};

// Ports of the player's set-up rather than of a sound: a saved sound leaves
// them as the player has them.
constexpr bool playersPort(uint32_t port) {
    return port == kChannel || port == kSustainPedal;
}

// The named values of the playing choices, from 0: as the renderer's options
// take them, and as the hosts' lists and the window show them.
inline constexpr std::string_view kGlideModeNames[] = {"always", "legato"};
inline constexpr std::string_view kOnsetNames[] = {"fade", "at-once"};
inline constexpr std::string_view kTuningLabels[] = {"Whole-sample periods", "Exact pitch"};
inline constexpr std::string_view kGlideModeLabels[] = {"Always",
                                                        "Only between held keys (legato)"};
inline constexpr std::string_view kOnsetLabels[] = {"After a fade", "At once when silent"};
inline std::span<const std::string_view> choiceLabels(uint32_t port) {
    if (port == kTuning) return kTuningLabels;
    if (port == kGlideMode) return kGlideModeLabels;
    if (port == kOnset) return kOnsetLabels;
    return {};
}

}  // namespace tessivox::lv2
