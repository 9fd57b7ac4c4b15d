#include "engine/synth_state.h"

namespace tessivox {

SynthState::SynthState() {
    for (int k = 0; k < 4; ++k) {
        trajectoryX[k].store(kStartTrajectoryX[k], std::memory_order_relaxed);
        trajectoryY[k].store(kStartTrajectoryY[k], std::memory_order_relaxed);
    }
    // The editor's copy starts from the synthesis copy.
    for (int k = 0; k < 4; ++k) {
        padPoints[k] = {trajectoryX[k].load(std::memory_order_relaxed),
                        trajectoryY[k].load(std::memory_order_relaxed)};
    }
}

ParamId paramIdFromName(std::string_view name) {
    for (int i = 0; i < kParamCount; ++i) {
        if (name == kParamNames[i]) return static_cast<ParamId>(i);
    }
    return ParamId::None;
}

std::string_view paramName(ParamId id) {
    if (id == ParamId::None) return {};
    return kParamNames[static_cast<int>(id)];
}

std::string_view gateTextString(GateText text) {
    switch (text) {
        case GateText::On:
            return "On";
        case GateText::Off:
            return "Off";
        case GateText::Empty:
            break;
    }
    return {};
}

std::atomic<float>& param(SynthState& s, ParamId id) {
    switch (id) {
        case ParamId::N1:
            return s.N1;
        case ParamId::N2:
            return s.N2;
        case ParamId::N3:
            return s.N3;
        case ParamId::A:
            return s.A;
        case ParamId::B:
            return s.B;
        case ParamId::M:
        case ParamId::None:
            break;
    }
    return s.m;
}

}  // namespace tessivox
