#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/controls.h"
#include "engine/engine_state.h"

namespace tessivox {

inline constexpr const char* kRenderProgram = "tessivox-render";

// Failures travel as this exception up to main, which prints them on one line.
struct RenderError {
    std::string message;
};
[[noreturn]] void fail(const std::string& message);

inline constexpr int kPlayingSettings = 6;

struct AxisChoice {
    ParamId param;
    float from;
    float to;
};

// What the command line asks for. Whatever is not given keeps the program's
// start value.
struct RenderJob {
    std::string input;
    std::string output;
    std::optional<int64_t> frames;  // else to the file's end, then through the release
    int64_t block = 512;
    int64_t rate = kDefaultRate;  // frames per second
    std::array<std::optional<float>, kParamCount> params;
    std::array<std::optional<int32_t>, kEnvelopeSliderCount> envelope;
    std::optional<std::array<PadPoint, 4>> pad;
    std::optional<AxisChoice> xAxis;  // both axes or neither
    std::optional<AxisChoice> yAxis;
    std::optional<bool> exactPitch;  // --tuning exact; else the sound's, else periods
    // How the instrument is played: the ports from lv2::kBendRange on, as
    // the plugin takes their values.
    std::array<std::optional<float>, kPlayingSettings> playing;
    bool clip = false;        // write what a device would play
    std::optional<std::string> sound;  // NAME-OR-FILE; already merged into the fields above
};

// Reads the command line; nullopt once --help or --version has been printed.
std::optional<RenderJob> parseRenderJob(int argc, char** argv);

// Sets the controls of a fresh state as the job asks.
void applyRenderJob(const RenderJob& job, EngineState& s);

}  // namespace tessivox
