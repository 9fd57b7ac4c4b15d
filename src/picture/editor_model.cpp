#include "picture/editor_model.h"

#include <array>

namespace tessivox {

namespace {

}  // namespace

namespace {
// The texts the rules read, p's value text being `value`.
AxisTexts axisTexts(const EditorModel& m, std::string_view value) {
    return {value, m.xFrom, m.xTo, m.yFrom, m.yTo, m.xLabel};
}
}  // namespace

std::string axisButtonTip(const EditorModel& m, ParamId p, std::string_view value) {
    return axisButtonTip(axisTexts(m, value), p);
}

AxisStep clickAxisButton(EditorModel& m, ParamId p, std::string_view value) {
    const AxisStep step = decideAxisStep(axisTexts(m, value), p).step;
    if (step == AxisStep::Reset) {
        m = {};
        return step;
    }
    *axisTextsOf(m)[static_cast<int>(step)] = value;
    const bool x = step == AxisStep::XFrom || step == AxisStep::XTo;
    (x ? m.xLabel : m.yLabel) = paramName(p);
    return step;
}

bool tickEnable(EditorModel& m, bool ticked) {
    const bool limits = !m.xFrom.empty() && !m.xTo.empty() && !m.yFrom.empty() && !m.yTo.empty();
    m.enable = ticked && limits;
    return m.enable;
}

Trajectory trajectoryOf(const EditorModel& m) {
    return {paramIdFromName(m.xLabel), paramIdFromName(m.yLabel), limitNumber(m.xFrom),
            limitNumber(m.xTo),        limitNumber(m.yFrom),      limitNumber(m.yTo)};
}

void showAxis(EditorModel& m, bool x, ParamId p, float from, float to) {
    std::string& label = x ? m.xLabel : m.yLabel;
    std::string& fromText = x ? m.xFrom : m.yFrom;
    std::string& toText = x ? m.xTo : m.yTo;
    if (p == ParamId::None) {
        label.clear(), fromText.clear(), toText.clear();
        return;
    }
    label = paramName(p);
    fromText = valueString(from);
    toText = valueString(to);
}

std::string joinedTexts(const EditorModel& m) {
    return m.xFrom + '\n' + m.xTo + '\n' + m.yFrom + '\n' + m.yTo + '\n' + m.xLabel + '\n' +
           m.yLabel;
}

bool takeJoinedTexts(EditorModel& m, std::string_view joined) {
    std::array<std::string_view, 6> pieces;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const size_t end = joined.find('\n');
        if ((end == std::string_view::npos) != (i + 1 == pieces.size())) return false;
        pieces[i] = joined.substr(0, end);
        joined.remove_prefix(end == std::string_view::npos ? joined.size() : end + 1);
    }
    for (size_t i = 0; i < pieces.size(); ++i) *axisTextsOf(m)[i] = pieces[i];
    return true;
}

}  // namespace tessivox
