// tessivox-render: plays a Standard MIDI File through the synthesizer's engine
// and MIDI note rules and writes the result as a 32-bit float WAV file.

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "midi_file.h"

namespace tessivox {
namespace {

constexpr const char* kProgram = "tessivox-render";
constexpr size_t kMaxInputBytes = 64u << 20;

// Failures travel as this exception up to main, which prints them on one line.
struct RenderError {
    std::string message;
};

[[noreturn]] void fail(const std::string& message) {
    throw RenderError{message};
}

std::string errnoText() {
    return std::strerror(errno);
}

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

struct Range {
    float lo;
    float hi;
};

Range rangeOf(ParamId id) {
    switch (id) {
        case ParamId::M:
            return {0.01f, 25.0f};
        case ParamId::N1:
        case ParamId::N2:
        case ParamId::N3:
            return {0.1f, 100.0f};
        case ParamId::A:
        case ParamId::B:
        case ParamId::None:
            break;
    }
    return {0.001f, 5.0f};
}

struct Axis {
    ParamId param;
    float from;
    float to;
};

// NAME:FROM:TO; the limits must lie in the parameter's slider range, as the
// window's limits always do.
Axis parseAxis(const std::string& option, const std::string& text) {
    const std::vector<std::string> parts = split(text, ':');
    if (parts.size() != 3) fail(option + ": '" + text + "' is not NAME:FROM:TO");
    const ParamId id = paramIdFromName(parts[0]);
    if (id == ParamId::None) {
        fail(option + ": '" + parts[0] + "' is not one of m N1 N2 N3 A B");
    }
    const Range r = rangeOf(id);
    return {id, decimalInRange(option + " FROM", parts[1], r.lo, r.hi),
            decimalInRange(option + " TO", parts[2], r.lo, r.hi)};
}

struct Options {
    std::string input;
    std::string output;
    std::optional<int64_t> frames;
    int64_t block = 512;
};

std::vector<uint8_t> readInput(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) fail("cannot read " + path + ": " + errnoText());
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > kMaxInputBytes) fail(path + ": larger than 64 MiB, not a MIDI file");
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) fail("cannot read " + path + ": " + errnoText());
    return bytes;
}

// The temporary file while it exists, for removal when a signal ends the run.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
char gTempPath[4096];
volatile std::sig_atomic_t gTempExists = 0;

void removeTempAndDie(int signal) {
    if (gTempExists) unlink(gTempPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The WAV goes to a temporary file beside the output and is renamed over it
// only when complete, so a failed run leaves no output file.
class WavWriter {
  public:
    WavWriter(const std::string& path, int sampleRate) : path_(path), temp_(path + ".XXXXXX") {
        if (temp_.size() >= sizeof gTempPath) fail("cannot write " + path + ": path too long");
        std::memcpy(gTempPath, temp_.c_str(), temp_.size() + 1);
        // No signal may come between the file's creation and its registration.
        sigset_t signals, previous;
        sigemptyset(&signals);
        for (int signal : kCleanupSignals) sigaddset(&signals, signal);
        sigprocmask(SIG_BLOCK, &signals, &previous);
        fd_ = mkstemp(gTempPath);
        const int error = errno;
        if (fd_ >= 0) gTempExists = 1;
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        if (fd_ < 0) fail("cannot write " + path + ": " + std::strerror(error));
        temp_ = gTempPath;
        // mkstemp makes the file private; give it the mode a plain create would.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd_, 0666 & ~mask);
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
        if (!file_) {
            // The destructor does not run for a constructor that throws.
            const std::string reason = sf_strerror(nullptr);
            close(fd_);
            unlink(temp_.c_str());
            gTempExists = 0;
            fail("cannot write " + path + ": " + reason);
        }
        sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    }
    ~WavWriter() {
        if (file_) sf_close(file_);
        if (fd_ >= 0) close(fd_);
        if (!committed_) unlink(temp_.c_str());
        gTempExists = 0;
    }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void write(const float* frames, int64_t count) {
        if (sf_writef_float(file_, frames, count) != count) {
            fail("cannot write " + path_ + ": " + sf_strerror(file_));
        }
    }

    void commit() {
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed != 0) fail("cannot write " + path_ + ": " + sf_error_number(closed));
        int error = fsync(fd_) == 0 ? 0 : errno;
        if (close(fd_) != 0 && error == 0) error = errno;
        fd_ = -1;
        if (error != 0) fail("cannot write " + path_ + ": " + std::strerror(error));
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
            fail("cannot write " + path_ + ": " + errnoText());
        }
        committed_ = true;
        gTempExists = 0;
    }

  private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    SNDFILE* file_ = nullptr;
    bool committed_ = false;
};

class Renderer {
  public:
    Renderer(SynthState& s, WavWriter& wav, int64_t block) : s_(s), wav_(wav), buffer_(block) {}

    void renderTo(int64_t frame) {
        while (position_ < frame) {
            const int64_t count = std::min<int64_t>(frame - position_, buffer_.size());
            renderFrames(s_, buffer_.data(), static_cast<unsigned long>(count));
            wav_.write(buffer_.data(), count);
            position_ += count;
        }
    }

    // With no key held, renders while the release still sounds. Each step stays short of the
    // release's end, so exactly the frames before it are rendered whatever
    // the block size.
    void renderReleaseTail() {
        while (s_.gate.load() == 0 && !releaseFinished(s_)) {
            const double remaining = s_.releaseSamples + s_.releaseStartIndex - s_.sampleIndex;
            renderTo(position_ + std::max<int64_t>(1, static_cast<int64_t>(remaining) - 1));
        }
    }

  private:
    SynthState& s_;
    WavWriter& wav_;
    std::vector<float> buffer_;
    int64_t position_ = 0;
};

constexpr const char* kFooter =
    R"(Length: without --frames the output runs through the file's last event
(End of Track included, so a file's length is kept); if no key is held
then, it goes on until the release has ended. A note still held at the end
of the file is cut there. Files lasting more than one hour are refused.

Events act at frame round(t * rate), ties to even; channel messages go
through the synthesizer's MIDI note rules (channel 1 note-on/note-off).
The trajectory follows the pad points and is enabled by giving both axes.
Errors: one line on stderr, exit status 2, no output file.)";

int run(int argc, char** argv) {
    CLI::App app{
        "Renders a Standard MIDI File (format 0 or 1) with the Tessivox engine to a\n"
        "mono 32-bit float WAV file at 44100 Hz (or --rate).",
        kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + TESSIVOX_VERSION);
    app.footer(kFooter);
    app.get_formatter()->column_width(30);

    Options o;
    app.add_option("INPUT", o.input, "Standard MIDI File to render")->required();
    app.add_option("OUTPUT", o.output, "WAV file to write")->required();
    std::string framesText, blockText, rateText;
    app.add_option("--frames", framesText, "exact output length in frames (at most one hour)")
        ->option_text("N");
    const std::pair<const char*, const char*> paramOptions[kParamCount] = {
        {"--m", "m, 0.01 to 25 (default 6.03)"},  {"--n1", "N1, 0.1 to 100 (default 4.2)"},
        {"--n2", "N2, 0.1 to 100 (default 0.1)"}, {"--n3", "N3, 0.1 to 100 (default 71.6)"},
        {"--a", "A, 0.001 to 5 (default 0.3)"},   {"--b", "B, 0.001 to 5 (default 0.767)"}};
    std::string paramTexts[kParamCount];
    for (int i = 0; i < kParamCount; ++i) {
        app.add_option(paramOptions[i].first, paramTexts[i], paramOptions[i].second)
            ->option_text("V");
    }
    struct SliderOption {
        const char* name;
        const char* help;
        int64_t lo, hi;
        std::atomic<int32_t> SynthState::*field;
        std::string text;
    };
    SliderOption sliders[] = {{"--attack",
                               "attack slider, 1 to 2000 (default 1)",
                               1,
                               2000,
                               &SynthState::attackSlider,
                               {}},
                              {"--decay",
                               "decay slider, 1 to 5000 (default 1000)",
                               1,
                               5000,
                               &SynthState::decaySlider,
                               {}},
                              {"--sustain",
                               "sustain slider, 0 to 100 (default 50)",
                               0,
                               100,
                               &SynthState::sustainSlider,
                               {}},
                              {"--release",
                               "release slider, 1 to 5000 (default 1500)",
                               1,
                               5000,
                               &SynthState::releaseSlider,
                               {}}};
    for (SliderOption& slider : sliders) {
        app.add_option(slider.name, slider.text, slider.help)->option_text("N");
    }
    std::string padText, xText, yText;
    app.add_option("--pad", padText,
                   "the four pad points, integers 0 to 300\n"
                   "(default 50,50,150,150,200,100,250,75)")
        ->option_text("x1,y1,...,x4,y4");
    auto* xAxis = app.add_option("--x-axis", xText,
                                 "X-axis parameter (m N1 N2 N3 A B) and its limits;\n"
                                 "with --y-axis, enables the trajectory")
                      ->option_text("NAME:FROM:TO");
    auto* yAxis = app.add_option("--y-axis", yText, "Y-axis parameter and its limits")
                      ->option_text("NAME:FROM:TO");
    app.add_option("--block", blockText, "frames per engine call, 1 to 65536 (default 512)")
        ->option_text("N");
    app.add_option("--rate", rateText, "sample rate in Hz, 8000 to 192000 (default 44100)")
        ->option_text("HZ");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help, --version
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        std::replace(message.begin(), message.end(), '\n', ' ');
        fail(message + " (see --help)");
    }

    auto state = std::make_unique<SynthState>();
    SynthState& s = *state;
    int64_t rate = 44100;
    if (app.get_option("--rate")->count()) {
        rate = integerInRange("--rate", rateText, static_cast<int64_t>(kMinSampleRate),
                              static_cast<int64_t>(kMaxSampleRate));
    }
    setSampleRate(s, static_cast<double>(rate));
    if (app.get_option("--frames")->count()) {
        o.frames = integerInRange("--frames", framesText, 0, 3600 * rate);
    }
    if (app.get_option("--block")->count()) {
        o.block = integerInRange("--block", blockText, 1, 65536);
    }
    for (int i = 0; i < kParamCount; ++i) {
        if (!app.get_option(paramOptions[i].first)->count()) continue;
        const ParamId id = static_cast<ParamId>(i);
        const Range r = rangeOf(id);
        param(s, id).store(decimalInRange(paramOptions[i].first, paramTexts[i], r.lo, r.hi));
    }
    for (SliderOption& slider : sliders) {
        if (!app.get_option(slider.name)->count()) continue;
        (s.*slider.field)
            .store(static_cast<int32_t>(
                integerInRange(slider.name, slider.text, slider.lo, slider.hi)));
    }
    if (app.get_option("--pad")->count()) {
        const std::vector<std::string> parts = split(padText, ',');
        if (parts.size() != 8) fail("--pad: '" + padText + "' is not 8 comma-separated integers");
        for (int k = 0; k < 4; ++k) {
            const double x = static_cast<double>(integerInRange("--pad", parts[2 * k], 0, 300));
            const double y = static_cast<double>(integerInRange("--pad", parts[2 * k + 1], 0, 300));
            s.trajectoryX[k].store(x);
            s.trajectoryY[k].store(y);
            s.padPoints[k] = {x, y};
        }
    }
    if (xAxis->count() != yAxis->count()) fail("--x-axis and --y-axis go together");
    if (xAxis->count()) {
        const Axis x = parseAxis("--x-axis", xText);
        const Axis y = parseAxis("--y-axis", yText);
        enableTrajectory(s, x.param, y.param, x.from, x.to, y.from, y.to);
    }

    const std::vector<uint8_t> bytes = readInput(o.input);
    MidiSchedule schedule;
    std::string error;
    if (!readMidiFile(bytes, schedule, error, rate)) fail(o.input + ": " + error);

    WavWriter wav(o.output, static_cast<int>(rate));
    Renderer renderer(s, wav, o.block);
    const int64_t end = o.frames.value_or(schedule.endFrame);
    for (const ScheduledMessage& m : schedule.messages) {
        // An event at the output's last frame boundary acts on nothing more.
        if (o.frames && m.frame >= end) break;
        renderer.renderTo(m.frame);
        handleMidiShortMessage(s, m.message);
    }
    renderer.renderTo(end);
    if (!o.frames) renderer.renderReleaseTail();
    wav.commit();
    return 0;
}

}  // namespace
}  // namespace tessivox

int main(int argc, char** argv) {
    for (int signal : tessivox::kCleanupSignals) std::signal(signal, tessivox::removeTempAndDie);
    try {
        return tessivox::run(argc, argv);
    } catch (const tessivox::RenderError& e) {
        std::fprintf(stderr, "%s: %s\n", tessivox::kProgram, e.message.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", tessivox::kProgram, e.what());
    }
    return 2;
}
