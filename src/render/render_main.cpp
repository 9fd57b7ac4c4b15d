// tessivox-render: plays a Standard MIDI File through the synthesizer's engine
// and MIDI note rules and writes the result as a 32-bit float WAV file.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "midi/midi_file.h"
#include "midi/midi_rules.h"
#include "midi/schedule_play.h"
#include "render/render_job.h"
#include "render/wav_output.h"

namespace tessivox {
namespace {

constexpr size_t kMaxInputBytes = 64u << 20;

std::vector<uint8_t> readInput(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) fail("cannot read " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > kMaxInputBytes) fail(path + ": larger than 64 MiB, not a MIDI file");
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) fail("cannot read " + path + ": " + std::strerror(errno));
    return bytes;
}

class Renderer {
  public:
    Renderer(EngineState& s, WavWriter& wav, int64_t block, bool clip)
        : s_(s), wav_(wav), buffer_(block), clip_(clip) {}

    // The largest magnitude the engine made, before any clipping; NaN counts as infinite.
    float peak() const { return peak_; }

    void renderTo(int64_t frame) {
        while (position_ < frame) {
            const int64_t count = std::min<int64_t>(frame - position_, buffer_.size());
            renderFrames(s_, buffer_.data(), static_cast<unsigned long>(count));
            for (int64_t i = 0; i < count; ++i) {
                const float v = std::fabs(buffer_[i]);
                peak_ = std::isnan(v) ? INFINITY : std::max(peak_, v);
            }
            if (clip_) limitToDeviceRange(buffer_.data(), static_cast<unsigned long>(count));
            wav_.write(buffer_.data(), count);
            position_ += count;
        }
    }

  private:
    EngineState& s_;
    WavWriter& wav_;
    std::vector<float> buffer_;
    bool clip_;
    float peak_ = 0.0f;
    int64_t position_ = 0;
};

// The output's length in frames, for a stream's header.
int64_t outputLength(const RenderJob& job, const MidiSchedule& schedule) {
    auto state = std::make_unique<EngineState>();
    applyRenderJob(job, *state);
    return scheduleLength(*state, schedule, job.frames);
}

int run(int argc, char** argv) {
    const std::optional<RenderJob> job = parseRenderJob(argc, argv);
    if (!job) return 0;  // --help, --version
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    applyRenderJob(*job, s);
    const RenderJob& o = *job;
    const int64_t rate = o.rate;

    const std::vector<uint8_t> bytes = readInput(o.input);
    MidiSchedule schedule;
    std::string error;
    if (!readMidiFile(bytes, schedule, error, rate)) fail(o.input + ": " + error);

    WavWriter wav(o.output, o.input, static_cast<int>(rate));
    if (wav.needsLength()) wav.setLength(outputLength(o, schedule));
    Renderer renderer(s, wav, o.block, o.clip);
    playSchedule(s, schedule, o.frames, [&renderer](int64_t frame) { renderer.renderTo(frame); });
    wav.commit();
    if (renderer.peak() > 1.0f) {
        std::fprintf(
            stderr, "%s: peak %+.1f dBFS%s\n", kRenderProgram,
            20.0 * std::log10(static_cast<double>(renderer.peak())),
            o.clip ? ", clipped to 0 dBFS" : " (a sound device would clip it; see --clip)");
    }
    return 0;
}

}  // namespace
}  // namespace tessivox

int main(int argc, char** argv) {
    tessivox::prepareOutputSignals();
    try {
        return tessivox::run(argc, argv);
    } catch (const tessivox::RenderError& e) {
        std::fprintf(stderr, "%s: %s\n", tessivox::kRenderProgram, e.message.c_str());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", tessivox::kRenderProgram);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", tessivox::kRenderProgram, e.what());
    }
    return 2;
}
