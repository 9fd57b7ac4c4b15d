#include "engine/engine_state.h"

namespace tessivox {

EngineState::EngineState() {
    for (int k = 0; k < 4; ++k) {
        trajectoryX[k].store(kStartTrajectoryX[k], std::memory_order_relaxed);
        trajectoryY[k].store(kStartTrajectoryY[k], std::memory_order_relaxed);
    }
}

ParamId paramIdFromName(std::string_view name) {
    for (int i = 0; i < kParamCount; ++i) {
        if (name == kParamSliders[i].name) return static_cast<ParamId>(i);
    }
    return ParamId::None;
}

std::string_view paramName(ParamId id) {
    if (id == ParamId::None) return {};
    return kParamSliders[static_cast<int>(id)].name;
}

std::string_view gateTextString(GateText text) {
    return text == GateText::On ? "On" : text == GateText::Off ? "Off" : "";
}

std::atomic<float>& param(EngineState& s, ParamId id) {
    std::atomic<float>* const fields[kParamCount] = {&s.m, &s.N1, &s.N2, &s.N3, &s.A, &s.B};
    const int k = static_cast<int>(id);
    return k >= 0 && k < kParamCount ? *fields[k] : s.m;
}

std::atomic<int32_t>& envelopeSlider(EngineState& s, int k) {
    std::atomic<int32_t>* const fields[kEnvelopeSliderCount] = {&s.attackSlider, &s.decaySlider,
                                                                &s.sustainSlider, &s.releaseSlider};
    return *fields[k];
}

}  // namespace tessivox
