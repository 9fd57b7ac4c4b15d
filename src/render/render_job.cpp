#include "render/render_job.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine/engine.h"
#include "midi/midi_file.h"
#include "sound/playing_ports.h"
#include "sound/sound.h"

namespace tessivox {

void fail(const std::string& message) {
    throw RenderError{message};
}

namespace {

// A decimal read the way the program reads its value texts: as a double,
// then rounded to float32.
float parseDecimal(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = text.empty() || std::isspace(static_cast<unsigned char>(text[0]))
                             ? NAN
                             : std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) {
        fail(option + ": '" + text + "' is not a decimal number");
    }
    return static_cast<float>(value);
}

float decimalInRange(const std::string& option, const std::string& text, float lo, float hi) {
    const float value = parseDecimal(option, text);
    if (!(value >= lo && value <= hi)) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", lo, hi);
        fail(option + ": " + text + " is out of range (" + range + ")");
    }
    return value;
}

// Base 10 only: a leading zero is no octal prefix.
int64_t integerInRange(const std::string& option, const std::string& text, int64_t lo, int64_t hi) {
    char* end = nullptr;
    errno = 0;
    const bool plausible = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) ||
                                             text[0] == '-' || text[0] == '+');
    const long long value = plausible ? std::strtoll(text.c_str(), &end, 10) : 0;
    if (!plausible || end != text.c_str() + text.size()) {
        fail(option + ": '" + text + "' is not an integer");
    }
    if (errno == ERANGE || value < lo || value > hi) {
        fail(option + ": " + text + " is out of range (" + std::to_string(lo) + " to " +
             std::to_string(hi) + ")");
    }
    return value;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

// NAME:FROM:TO; the limits must lie in the parameter's slider range, as the
// window's limits always do.
AxisChoice parseAxis(const std::string& option, const std::string& text) {
    const std::vector<std::string> parts = split(text, ':');
    if (parts.size() != 3) fail(option + ": '" + text + "' is not NAME:FROM:TO");
    const ParamId id = paramIdFromName(parts[0]);
    if (id == ParamId::None) {
        fail(option + ": '" + parts[0] + "' is not one of m N1 N2 N3 A B");
    }
    const int row = static_cast<int>(id);
    return {id, decimalInRange(option + " FROM", parts[1], paramMinimum(row), paramMaximum(row)),
            decimalInRange(option + " TO", parts[2], paramMinimum(row), paramMaximum(row))};
}

std::array<PadPoint, 4> parsePad(const std::string& text) {
    const std::vector<std::string> parts = split(text, ',');
    if (parts.size() != 8) fail("--pad: '" + text + "' is not 8 comma-separated integers");
    std::array<PadPoint, 4> points{};
    for (int k = 0; k < 4; ++k) {
        points[k] = {static_cast<double>(integerInRange("--pad", parts[2 * k], 0, kPadExtent)),
                     static_cast<double>(integerInRange("--pad", parts[2 * k + 1], 0, kPadExtent))};
    }
    return points;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// --m, --n1, ..., --attack: the table's names in lower case.
std::string optionName(std::string_view name) {
    std::string option = "--";
    for (const char c : name)
        option += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return option;
}

// An option read by `read` twice: as CLI11 validates it, so a fault is told in
// the renderer's words, and when its value is stored.
template <class Read, class Store>
void addOption(CLI::App& app, const std::string& name, const std::string& help,
               const std::string& valueText, Read read, Store store) {
    app.add_option_function<std::string>(
           name, [read, store](const std::string& text) { store(read(text)); }, help)
        ->check(CLI::Validator(
            [read](std::string& text) {
                read(text);
                return std::string();
            },
            valueText))
        ->option_text(valueText);
}

constexpr const char* kFooter =
    R"(Length: without --frames the output runs through the file's last event
(End of Track included, so a file's length is kept); if no key is held
then, it goes on until the release has ended. A note still held at the end
of the file is cut there. Files lasting more than one hour are refused.

Events act at frame round(t * rate), ties to even; channel messages go
through the synthesizer's MIDI note rules (channel 1 note-on/note-off with
their velocities, pitch bend, the sustain pedal (controller 64), All Notes
Off and All Sound Off).
The trajectory follows the pad points and is enabled by giving both axes.
A peak beyond 1.0 is told on stderr in dBFS; the file keeps it unless --clip.
Errors: one line on stderr, exit status 2, no output file.)";

// What the command line leaves open is taken from the sound, the trajectory
// as the plugin runs it: on, two different parameters, limits in their
// ranges and 'from' below 'to'.
void mergeSound(RenderJob& job, const sound::Sound& sound) {
    using lv2::kM, lv2::kPad, lv2::kTrajectory, lv2::AxisPorts;
    const auto& v = sound.values;
    for (int row = 0; row < kParamCount; ++row) {
        if (!job.params[row]) job.params[row] = v[kM + row];
    }
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        if (!job.envelope[k]) job.envelope[k] = static_cast<int32_t>(v[lv2::kAttack + k]);
    }
    if (!job.exactPitch) job.exactPitch = v[lv2::kTuning] == 1.0f;
    for (int k = 0; k < kPlayingSettings; ++k) {
        if (!job.playing[k]) job.playing[k] = v[lv2::kBendRange + k];
    }
    if (!job.pad) {
        job.pad.emplace();
        for (int k = 0; k < 4; ++k) (*job.pad)[k] = {v[kPad + 2 * k], v[kPad + 2 * k + 1]};
    }
    const AxisPorts x = lv2::axisFromPorts(v.data(), true), y = lv2::axisFromPorts(v.data(), false);
    const auto choice = [](const AxisPorts& a) -> std::optional<AxisChoice> {
        if (a.row < 0) return std::nullopt;
        return AxisChoice{static_cast<ParamId>(a.row), a.from, a.to};
    };
    if (job.xAxis || job.yAxis) {
        if (!job.xAxis) job.xAxis = choice(x);
        if (!job.yAxis) job.yAxis = choice(y);
    } else if (v[kTrajectory] == 1.0f && lv2::trajectoryAllowed(x, y)) {
        job.xAxis = choice(x);
        job.yAxis = choice(y);
    }
}

// The length and rate of the output.
void addTimeOptions(CLI::App& app, RenderJob& job) {
    // Read before --frames, whose limit is an hour at this rate.
    addOption(
        app, "--rate",
        "sample rate in Hz, " + number(kMinSampleRate) + " to " + number(kMaxSampleRate) +
            " (default " + std::to_string(kDefaultRate) + ")",
        "HZ",
        [](const std::string& t) {
            return integerInRange("--rate", t, static_cast<int64_t>(kMinSampleRate),
                                  static_cast<int64_t>(kMaxSampleRate));
        },
        [&job](int64_t v) { job.rate = v; });
    addOption(
        app, "--frames", "exact output length in frames (at most one hour)", "N",
        [&job](const std::string& t) {
            return integerInRange("--frames", t, 0, kMaxRenderSeconds * job.rate);
        },
        [&job](int64_t v) { job.frames = v; });
}

// The sound's own settings, each overriding the sound's.
void addSoundOptions(CLI::App& app, RenderJob& job) {
    for (int row = 0; row < kParamCount; ++row) {
        const SliderSpec& spec = kParamSliders[row];
        const std::string name = optionName(spec.name);
        addOption(
            app, name,
            std::string(spec.name) + ", " + number(paramMinimum(row)) + " to " +
                number(paramMaximum(row)) + " (default " + number(startParamValue(row)) + ")",
            "V",
            [name, row](const std::string& t) {
                return decimalInRange(name, t, paramMinimum(row), paramMaximum(row));
            },
            [&job, row](float v) { job.params[row] = v; });
    }
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        const SliderSpec& spec = kEnvelopeSliders[k];
        const std::string name = optionName(spec.name);
        addOption(
            app, name,
            std::string(spec.name) + " slider, " + std::to_string(spec.minimum) + " to " +
                std::to_string(spec.maximum) + " (default " + std::to_string(spec.start) + ")",
            "N",
            [name, spec](const std::string& t) {
                return static_cast<int32_t>(integerInRange(name, t, spec.minimum, spec.maximum));
            },
            [&job, k](int32_t v) { job.envelope[k] = v; });
    }
    std::string padDefault;
    for (int k = 0; k < 4; ++k) {
        padDefault +=
            (k ? "," : "") + number(kStartTrajectoryX[k]) + "," + number(kStartTrajectoryY[k]);
    }
    addOption(app, "--pad",
              "the four pad points, integers 0 to " + std::to_string(kPadExtent) + "\n(default " +
                  padDefault + ")",
              "x1,y1,...,x4,y4", parsePad,
              [&job](const std::array<PadPoint, 4>& v) { job.pad = v; });
    addOption(
        app, "--x-axis",
        "X-axis parameter (m N1 N2 N3 A B) and its limits;\nwith --y-axis, enables the trajectory",
        "NAME:FROM:TO", [](const std::string& t) { return parseAxis("--x-axis", t); },
        [&job](const AxisChoice& v) { job.xAxis = v; });
    addOption(
        app, "--y-axis", "Y-axis parameter and its limits", "NAME:FROM:TO",
        [](const std::string& t) { return parseAxis("--y-axis", t); },
        [&job](const AxisChoice& v) { job.yAxis = v; });
}

// How the instrument is played, one option a port (--bend-range, ...), a
// choice by its name.
void addPlayingOptions(CLI::App& app, RenderJob& job) {
    static_assert(lv2::kBendRange + kPlayingSettings == lv2::kPortCount);
    struct Setting {
        const char* help;
        std::vector<std::string_view> choices;  // by value from 0; none: a number
    };
    const Setting settings[kPlayingSettings] = {
        {"semitones a full pitch bend moves the pitch, 0 to 24\n(default 0: bends ignored)", {}},
        {"seconds the pitch takes from one note to the next,\n0 to 5 (default 0)", {}},
        {"always: every new note glides (default);\nlegato: only one played while a key is held",
         {std::begin(lv2::kGlideModeNames), std::end(lv2::kGlideModeNames)}},
        {"velocity sensitivity s, 0 to 1: a note's level is\n1 - s + s (v / 127)^2 (default 0)",
         {}},
        {"fade: a note starts after the fade-out of what sounded\n(default); at-once: after "
         "silence it starts on its note-on",
         {std::begin(lv2::kOnsetNames), std::end(lv2::kOnsetNames)}},
        {"on: controller 64 at 64 or more holds released keys\n(default off)", {"off", "on"}}};
    for (int k = 0; k < kPlayingSettings; ++k) {
        const lv2::PortSpec& p = lv2::kPorts[lv2::kBendRange + k];
        const std::vector<std::string_view>& choices = settings[k].choices;
        std::string name = "--" + std::string(p.symbol);
        std::replace(name.begin(), name.end(), '_', '-');
        std::string valueText = p.properties & lv2::kInteger ? "N" : "V";
        if (!choices.empty()) valueText = std::string(choices[0]) + "|" + std::string(choices[1]);
        const auto read = [name, p, choices](const std::string& text) -> float {
            for (size_t c = 0; c < choices.size(); ++c) {
                if (text == choices[c]) return static_cast<float>(c);
            }
            if (!choices.empty()) {
                fail(name + ": '" + text + "' is not " + std::string(choices[0]) + " or " +
                     std::string(choices[1]));
            }
            if (!(p.properties & lv2::kInteger)) {
                return decimalInRange(name, text, p.minimum, p.maximum);
            }
            return static_cast<float>(integerInRange(name, text, static_cast<int64_t>(p.minimum),
                                                     static_cast<int64_t>(p.maximum)));
        };
        addOption(app, name, settings[k].help, valueText, read,
                  [&job, k](float v) { job.playing[k] = v; });
    }
}

// How the engine runs and what the file keeps.
void addEngineOptions(CLI::App& app, RenderJob& job) {
    addOption(
        app, "--block", "frames per engine call, 1 to 65536 (default 512)", "N",
        [](const std::string& t) { return integerInRange("--block", t, 1, 65536); },
        [&job](int64_t v) { job.block = v; });

    addOption(
        app, "--tuning",
        "periods: whole-sample periods, the window's sound (default);\n"
        "exact: every note in tune at every rate",
        "periods|exact",
        [](const std::string& t) {
            if (t != "periods" && t != "exact") {
                fail("--tuning: '" + t + "' is not periods or exact");
            }
            return t == "exact";
        },
        [&job](bool v) { job.exactPitch = v; });
    app.add_flag("--clip", job.clip,
                 "write what a sound device would play: samples held within -1 to 1,\n"
                 "non-finite ones 0 (default: the engine's exact samples)");
}

}  // namespace

std::optional<RenderJob> parseRenderJob(int argc, char** argv) {
    CLI::App app{
        "Renders a Standard MIDI File (format 0 or 1) with the Tessivox engine to a\n"
        "mono 32-bit float WAV file at " +
            std::to_string(kDefaultRate) + " Hz (or --rate).",
        kRenderProgram};
    app.set_version_flag("--version", std::string(kRenderProgram) + " " + TESSIVOX_VERSION);
    app.footer(kFooter);
    app.get_formatter()->column_width(30);

    RenderJob job;
    app.add_option("INPUT", job.input, "Standard MIDI File to render")->required();
    app.add_option("OUTPUT", job.output, "WAV file to write")->required();
    app.add_option("--sound", job.sound,
                   "start from this sound: the name of a saved sound or\n"
                   "LV2 preset of the plugin, or a preset file; the\n"
                   "options below override it")
        ->option_text("NAME-OR-FILE");
    addTimeOptions(app, job);
    addSoundOptions(app, job);
    addPlayingOptions(app, job);
    addEngineOptions(app, job);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        app.exit(e);  // --help, --version
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        std::replace(message.begin(), message.end(), '\n', ' ');
        fail(message + " (see --help)");
    }
    if (job.sound) {
        std::string error;
        const std::optional<sound::Sound> sound = sound::loadSound(*job.sound, error);
        if (!sound) fail("--sound: " + error);
        mergeSound(job, *sound);
    }
    if (job.xAxis.has_value() != job.yAxis.has_value()) fail("--x-axis and --y-axis go together");
    return job;
}

void applyRenderJob(const RenderJob& job, EngineState& s) {
    setSampleRate(s, static_cast<double>(job.rate));
    for (int row = 0; row < kParamCount; ++row) {
        if (job.params[row]) param(s, static_cast<ParamId>(row)).store(*job.params[row]);
    }
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        if (job.envelope[k]) envelopeSlider(s, k).store(*job.envelope[k]);
    }
    if (job.pad) {
        for (int k = 0; k < 4; ++k) setPadPoint(s, k, (*job.pad)[k].x, (*job.pad)[k].y);
    }
    s.exactPitch.store(job.exactPitch.value_or(false) ? 1 : 0);
    for (int k = 0; k < kPlayingSettings; ++k) {
        if (job.playing[k]) lv2::applyPlayingPort(s, lv2::kBendRange + k, *job.playing[k]);
    }
    if (job.xAxis && job.yAxis) {
        enableTrajectory(s, job.xAxis->param, job.yAxis->param, job.xAxis->from, job.xAxis->to,
                         job.yAxis->from, job.yAxis->to);
    }
}

}  // namespace tessivox
