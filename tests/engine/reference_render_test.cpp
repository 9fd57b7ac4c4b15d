// Whole renders of render_scenarios.txt against reference_engine.py, an
// independent model of the engine run at build time: every frame must match
// bit for bit, so a rounding point or segment bound in the wrong place shows.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "midi/midi_rules.h"

namespace tessivox {
namespace {

struct Event {
    long frame;
    uint8_t status, data1, data2;
};

struct Scenario {
    std::string name;
    long frames = 0;
    std::vector<double> sliders{1, 1000, 50, 1500};
    std::vector<double> params;  // empty: the start values
    std::vector<double> pad{50, 50, 150, 150, 200, 100, 250, 75};
    ParamId xParam = ParamId::None, yParam = ParamId::None;
    std::vector<double> xLimits{0, 0}, yLimits{0, 0};
    bool trajectory = false;
    // How it is played: exact, bend, glide, velocity, onset, pedal.
    std::map<std::string, std::vector<double>> playing{{"exact", {0}},    {"bend", {0}},
                                                       {"glide", {0, 0}}, {"velocity", {0}},
                                                       {"onset", {0}},    {"pedal", {0}}};
    std::vector<Event> events;
};

std::vector<double> numbers(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) out.push_back(std::stod(item));
    return out;
}

// The same line format reference_engine.py reads.
Scenario parseScenario(const std::string& line) {
    std::istringstream in(line);
    Scenario sc;
    in >> sc.name;
    for (std::string token; in >> token;) {
        const auto eq = token.find('=');
        const std::string key = token.substr(0, eq), value = token.substr(eq + 1);
        if (key == "on" || key == "off" || key == "pb" || key == "cc") {
            const auto at = value.find('@');
            std::string data = value.substr(0, at);
            std::replace(data.begin(), data.end(), ':', ',');
            std::vector<double> d = numbers(data);
            if (key == "pb") d = {static_cast<double>(static_cast<int>(d[0]) & 127), d[0] / 128};
            if (d.size() == 1) d.push_back(key == "on" ? 100 : 64);
            const uint8_t status = key == "on"    ? 0x90
                                   : key == "off" ? 0x80
                                   : key == "pb"  ? 0xE0
                                                  : 0xB0;
            sc.events.push_back({std::stol(value.substr(at + 1)), status,
                                 static_cast<uint8_t>(d[0]), static_cast<uint8_t>(d[1])});
        } else if (sc.playing.count(key) != 0) {
            sc.playing[key] = numbers(value);
        } else if (key == "x" || key == "y") {
            const auto comma = value.find(',');
            const ParamId id = paramIdFromName(value.substr(0, comma));
            const auto limits = numbers(value.substr(comma + 1));
            (key == "x" ? sc.xParam : sc.yParam) = id;
            (key == "x" ? sc.xLimits : sc.yLimits) = limits;
            sc.trajectory = true;
        } else if (key == "frames") {
            sc.frames = std::stol(value);
        } else if (key == "sliders" || key == "params" || key == "pad") {
            (key == "sliders" ? sc.sliders : key == "params" ? sc.params : sc.pad) = numbers(value);
        } else {
            ADD_FAILURE() << "unknown key " << key << " in " << sc.name;
        }
    }
    return sc;
}

std::vector<float> renderScenario(const Scenario& sc) {
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    s.attackSlider = static_cast<int32_t>(sc.sliders[0]);
    s.decaySlider = static_cast<int32_t>(sc.sliders[1]);
    s.sustainSlider = static_cast<int32_t>(sc.sliders[2]);
    s.releaseSlider = static_cast<int32_t>(sc.sliders[3]);
    for (int i = 0; i < static_cast<int>(sc.params.size()); ++i) {
        param(s, static_cast<ParamId>(i)) = static_cast<float>(sc.params[i]);
    }
    for (int k = 0; k < 4; ++k) {
        s.trajectoryX[k] = sc.pad[2 * k];
        s.trajectoryY[k] = sc.pad[2 * k + 1];
    }
    if (sc.trajectory) {
        enableTrajectory(s, sc.xParam, sc.yParam, static_cast<float>(sc.xLimits[0]),
                         static_cast<float>(sc.xLimits[1]), static_cast<float>(sc.yLimits[0]),
                         static_cast<float>(sc.yLimits[1]));
    }
    s.exactPitch = static_cast<int32_t>(sc.playing.at("exact")[0]);
    s.bendRange = static_cast<int32_t>(sc.playing.at("bend")[0]);
    s.glideTime = static_cast<float>(sc.playing.at("glide")[0]);
    s.glideLegato = static_cast<int32_t>(sc.playing.at("glide")[1]);
    s.velocitySensitivity = static_cast<float>(sc.playing.at("velocity")[0]);
    s.onsetAtOnce = static_cast<int32_t>(sc.playing.at("onset")[0]);
    s.sustainPedal = static_cast<int32_t>(sc.playing.at("pedal")[0]);
    std::vector<float> out(sc.frames);
    long done = 0;
    auto renderTo = [&](long frame) {
        frame = std::min(frame, sc.frames);
        if (frame > done) renderFrames(s, out.data() + done, frame - done);
        done = std::max(done, frame);
    };
    for (const Event& e : sc.events) {
        renderTo(e.frame);
        handleMidiShortMessage(s, packShortMessage(e.status, e.data1, e.data2));
    }
    renderTo(sc.frames);
    return out;
}

TEST(ReferenceRender, EveryFrameOfEveryScenarioMatches) {
    std::ifstream table(TESSIVOX_RENDER_SCENARIOS);
    std::ifstream golden(TESSIVOX_RENDER_GOLDEN, std::ios::binary);
    ASSERT_TRUE(table && golden) << "missing " TESSIVOX_RENDER_SCENARIOS
                                    " or " TESSIVOX_RENDER_GOLDEN;
    int scenarios = 0;
    for (std::string line; std::getline(table, line);) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        const Scenario sc = parseScenario(line);
        ++scenarios;
        std::vector<uint32_t> expected(sc.frames);
        golden.read(reinterpret_cast<char*>(expected.data()), sc.frames * 4);
        ASSERT_EQ(golden.gcount(), sc.frames * 4) << "golden file too short at " << sc.name;
        const std::vector<float> actual = renderScenario(sc);
        long differing = 0, first = -1;
        for (long i = 0; i < sc.frames; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &actual[i], 4);
            if (bits != expected[i] && differing++ == 0) first = i;
        }
        if (differing > 0) {
            float want;
            std::memcpy(&want, &expected[first], 4);
            ADD_FAILURE() << sc.name << ": " << differing << " of " << sc.frames
                          << " frames differ, first at frame " << first << ": engine "
                          << std::hexfloat << actual[first] << ", reference " << want;
        }
    }
    EXPECT_GE(scenarios, 4);
    EXPECT_EQ(golden.peek(), std::char_traits<char>::eof()) << "golden file longer than the table";
}

}  // namespace
}  // namespace tessivox
