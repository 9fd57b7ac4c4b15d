// The window's costs: one parameter slider event (handler, displays, both
// repaints) and building the window until it is shown.
#include <cstdio>
#include <fstream>
#include <string>

#include <QApplication>
#include <QSlider>
#include <QTest>

#include <benchmark/benchmark.h>

#include "midi/midi_input.h"
#include "ui/main_window.h"

namespace {

using namespace tessivox;

double residentKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::string(key).size()));
    }
    return 0.0;
}

void BM_ParameterSliderEvent(benchmark::State& state) {
    SynthState s;
    MidiPorts midi(s);
    auto window = createMainWindow(s, midi);
    if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("window not shown");
    QSlider* m = window->slider(kFirstParamSlider);
    int position = 603;
    for (auto _ : state) {
        position = position == 603 ? 604 : 603;
        m->setValue(position);  // handler and updateDisplays
        window->shapeDisplay().repaint();
        window->waveformDisplay().repaint();
    }
    state.counters["RSS_KiB"] = residentKiB("VmRSS:");
}
BENCHMARK(BM_ParameterSliderEvent)->Unit(benchmark::kMicrosecond);

void BM_WindowShown(benchmark::State& state) {
    for (auto _ : state) {
        SynthState s;
        MidiPorts midi(s);
        auto window = createMainWindow(s, midi);
        updateDisplays(s, *window);
        if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("window not shown");
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_WindowShown)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
