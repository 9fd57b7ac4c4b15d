#pragma once

#include <array>
#include <cstdint>

#include "engine/engine_state.h"

namespace tessivox {

// Which pad point a drag holds: point k is state k + 1.
enum class PadDragState : int32_t { Unpressed, FirstPoint, SecondPoint, ThirdPoint, FourthPoint };

inline constexpr int kShapePoints = 202;

// The editor's part of the shared record: the pad, the shape display's points
// and the window's event code. UI thread only.
struct EditorState {
    // The editor's pad points start from the synthesis copy.
    EditorState() {
        for (int k = 0; k < 4; ++k) padPoints[k] = {kStartTrajectoryX[k], kStartTrajectoryY[k]};
    }

    std::array<PadPoint, 4> padPoints{};
    PadDragState padDragState = PadDragState::Unpressed;
    int32_t padMouseX = 0;
    int32_t padMouseY = 0;
    int32_t shapeSteps = 200;
    std::array<int32_t, kShapePoints> shapeX{};
    std::array<int32_t, kShapePoints> shapeY{};
    int32_t quitRequested = 0;
    int32_t windowEvent = 0;
};

}  // namespace tessivox
