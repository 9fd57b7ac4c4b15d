// The plugin's run() against the program's frame loop on the same held
// note, per frame at 44100 Hz; prints the ratio of the two at the end.

#include <dlfcn.h>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "sound/ports.h"

namespace tessivox {
namespace {

constexpr uint32_t kBlock = 512;

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    static std::map<std::string, LV2_URID> table;
    return table.try_emplace(uri, static_cast<LV2_URID>(table.size() + 1)).first->second;
}

const LV2_Descriptor* descriptor() {
    static const LV2_Descriptor* d = [] {
        void* so = dlopen(TESSIVOX_LV2_BINARY, RTLD_NOW | RTLD_LOCAL);
        if (so == nullptr) return static_cast<const LV2_Descriptor*>(nullptr);
        auto get = reinterpret_cast<LV2_Descriptor_Function>(dlsym(so, "lv2_descriptor"));
        return get != nullptr ? get(0) : nullptr;
    }();
    return d;
}

// At 48 kHz: a held note, the silence once its release has ended, and an
// instance that has never played.
enum class Mode { Held44100, Held48000, Released48000, Idle48000 };

void BM_PluginRun(benchmark::State& bench, bool trajectory, Mode mode = Mode::Held44100) {
    const double rate = mode == Mode::Held44100 ? 44100 : 48000;
    const LV2_Descriptor* d = descriptor();
    if (d == nullptr) {
        bench.SkipWithError("cannot load " TESSIVOX_LV2_BINARY);
        return;
    }
    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2_Handle h = d->instantiate(d, rate, "", features);
    std::vector<float> controls(lv2::kPortCount), out(kBlock);
    for (uint32_t p = lv2::kM; p < lv2::kPortCount; ++p) {
        controls[p] = lv2::kPorts[p].start;
        d->connect_port(h, p, &controls[p]);
    }
    if (trajectory) {
        controls[lv2::kTrajectory] = 1;
        controls[lv2::kXParam] = 1;
        controls[lv2::kXFrom] = 1;
        controls[lv2::kXTo] = 12;
        controls[lv2::kYParam] = 2;
        controls[lv2::kYFrom] = 1;
        controls[lv2::kYTo] = 8;
    }
    // One note-on in the first block, an empty sequence afterwards.
    alignas(8) unsigned char buffer[256] = {};
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(buffer);
    seq->atom.type = mapUri(nullptr, LV2_ATOM__Sequence);
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body) + sizeof(LV2_Atom_Event) + 8;
    auto* ev = reinterpret_cast<LV2_Atom_Event*>(seq + 1);
    ev->body.type = mapUri(nullptr, LV2_MIDI__MidiEvent);
    ev->body.size = 3;
    const unsigned char noteOn[3] = {0x90, 60, 100};
    std::memcpy(ev + 1, noteOn, 3);
    d->connect_port(h, lv2::kMidiIn, seq);
    d->connect_port(h, lv2::kOut, out.data());
    if (mode == Mode::Idle48000) seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
    d->activate(h);
    d->run(h, kBlock);
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
    // Past the fade-out and into the note before timing.
    for (int i = 0; i < 8; ++i) d->run(h, kBlock);
    if (mode == Mode::Released48000) {
        const unsigned char noteOff[3] = {0x80, 60, 0};
        std::memcpy(ev + 1, noteOff, 3);
        seq->atom.size = sizeof(LV2_Atom_Sequence_Body) + sizeof(LV2_Atom_Event) + 8;
        d->run(h, kBlock);
        seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
        // The release slider's 1500 ms, and more.
        for (int i = 0; i < 2 * 48000 / static_cast<int>(kBlock); ++i) d->run(h, kBlock);
    }

    for (auto _ : bench) {
        d->run(h, kBlock);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(static_cast<int64_t>(bench.iterations()) * kBlock);
    // CPU time per second of audio, in ms.
    bench.counters["cpu_ms_per_s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()) * kBlock / rate / 1000.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (d->deactivate != nullptr) d->deactivate(h);
    d->cleanup(h);
}

void BM_RenderFrames(benchmark::State& bench, bool trajectory) {
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    if (trajectory) enableTrajectory(s, ParamId::M, ParamId::N1, 1.0f, 12.0f, 1.0f, 8.0f);
    handleMidiShortMessage(s, packShortMessage(0x90, 60, 100));
    std::vector<float> out(kBlock);
    for (int i = 0; i < 9; ++i) renderFrames(s, out.data(), kBlock);
    for (auto _ : bench) {
        renderFrames(s, out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(static_cast<int64_t>(bench.iterations()) * kBlock);
}

BENCHMARK_CAPTURE(BM_RenderFrames, defaults, false);
BENCHMARK_CAPTURE(BM_PluginRun, defaults, false);
BENCHMARK_CAPTURE(BM_RenderFrames, trajectory, true);
BENCHMARK_CAPTURE(BM_PluginRun, trajectory, true);
BENCHMARK_CAPTURE(BM_PluginRun, held_48k, false, Mode::Held48000);
BENCHMARK_CAPTURE(BM_PluginRun, released_48k, false, Mode::Released48000);
BENCHMARK_CAPTURE(BM_PluginRun, released_48k_trajectory, true, Mode::Released48000);
BENCHMARK_CAPTURE(BM_PluginRun, never_played_48k, false, Mode::Idle48000);

// Keeps each run's CPU time per frame, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                perFrame_[r.benchmark_name()] =
                    r.GetAdjustedCPUTime() / static_cast<double>(kBlock);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        for (const char* setup : {"defaults", "trajectory"}) {
            const auto plugin = perFrame_.find(std::string("BM_PluginRun/") + setup);
            const auto engine = perFrame_.find(std::string("BM_RenderFrames/") + setup);
            if (plugin == perFrame_.end() || engine == perFrame_.end()) continue;
            std::printf("%s: run() %.2f ns/frame, renderFrames %.2f ns/frame, ratio %.3f\n", setup,
                        plugin->second, engine->second, plugin->second / engine->second);
        }
    }

  private:
    std::map<std::string, double> perFrame_;
};

}  // namespace
}  // namespace tessivox

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tessivox::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
