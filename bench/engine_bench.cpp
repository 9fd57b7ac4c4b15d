// Frames per second of the frame loop, and the real-time factor
// (frames per second / 44100), with a held note.

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/engine.h"
#include "midi/midi_rules.h"

namespace tessivox {
namespace {

constexpr unsigned long kBlock = 512;

enum class Setup { Defaults, Trajectory, Extreme };

void renderHeldNote(benchmark::State& bench, Setup setup) {
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    if (setup == Setup::Trajectory) {
        enableTrajectory(s, ParamId::M, ParamId::N1, 1.0f, 12.0f, 1.0f, 8.0f);
    } else if (setup == Setup::Extreme) {
        s.A.store(5.0f);
        s.B.store(5.0f);
        s.N1.store(100.0f);
        s.N2.store(100.0f);
        s.N3.store(100.0f);
    }
    handleMidiShortMessage(s, packShortMessage(0x90, 60, 100));
    std::vector<float> out(kBlock);
    // Past the fade-out and into the note before timing.
    for (int i = 0; i < 8; ++i) renderFrames(s, out.data(), kBlock);

    for (auto _ : bench) {
        renderFrames(s, out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double frames = static_cast<double>(bench.iterations()) * kBlock;
    bench.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    bench.counters["realtime_factor"] =
        benchmark::Counter(frames / kSampleRate, benchmark::Counter::kIsRate);
}

void BM_RenderFramesDefaults(benchmark::State& bench) {
    renderHeldNote(bench, Setup::Defaults);
}
void BM_RenderFramesTrajectory(benchmark::State& bench) {
    renderHeldNote(bench, Setup::Trajectory);
}
void BM_RenderFramesA5B5N100(benchmark::State& bench) {
    renderHeldNote(bench, Setup::Extreme);
}

BENCHMARK(BM_RenderFramesDefaults);
BENCHMARK(BM_RenderFramesTrajectory);
BENCHMARK(BM_RenderFramesA5B5N100);

}  // namespace
}  // namespace tessivox
