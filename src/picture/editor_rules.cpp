#include "picture/editor_rules.h"

#include <charconv>
#include <cmath>
#include <version>
#ifndef __cpp_lib_to_chars
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#endif

#include "engine/engine.h"

namespace tessivox {

#ifndef __cpp_lib_to_chars
// Emscripten's libc++ 13 converts no floating point with to_chars and
// from_chars: the C library gives the same text and the same values.
namespace {

struct ToChars {
    char* ptr;
    std::errc ec;
};
ToChars fixedChars(char* first, char* last, double value, int decimals) {
    const int n = std::snprintf(first, static_cast<size_t>(last - first), "%.*f", decimals, value);
    if (n < 0 || n >= last - first) return {last, std::errc::value_too_large};
    return {first + n, std::errc{}};
}

// from_chars' pattern is strtod's without leading space, '+' or hexadecimal,
// and a value beyond the double's range is an error.
bool readDouble(const char* first, const char* last, double& value) {
    if (first == last || *first == ' ' || (*first >= '\t' && *first <= '\r') || *first == '+')
        return false;
    const std::string text(first, last);
    const char* p = text.c_str();
    const bool negative = *p == '-';
    if (p[negative] == '0' && (p[negative + 1] == 'x' || p[negative + 1] == 'X')) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(p, &end);
    if (end == p || (errno == ERANGE && (v == 0.0 || std::isinf(v)))) return false;
    value = v;
    return true;
}

}  // namespace
#endif

int32_t paramPosition(int row, float value) {
    const SliderSpec& spec = kParamSliders[row];
    const double p = std::round(static_cast<double>(value) * spec.divisor);
    if (!(p > spec.minimum)) return spec.minimum;  // NaN too
    return p < spec.maximum ? static_cast<int32_t>(p) : spec.maximum;
}

std::string valueString(float value) {
    char buffer[64];
#ifdef __cpp_lib_to_chars
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::fixed, 3);
#else
    const ToChars result = fixedChars(buffer, buffer + sizeof buffer, value, 3);
#endif
    return std::string(buffer, result.ec == std::errc{} ? result.ptr - buffer : 0);
}

std::string axisButtonTip(const AxisTexts& t, ParamId p) {
    static constexpr const char* kLimits[] = {"X from", "X to", "Y from", "Y to"};
    const AxisRuling r = decideAxisStep(t, p);
    if (r.step == AxisStep::Reset) return "Click: clear the axes and untick Enable (" + r.why + ")";
    return "Click: take " + std::string(t.value) + " (" + std::string(paramName(p)) + ") as " +
           kLimits[static_cast<int>(r.step)];
}

std::string envelopeTip(int k, int32_t value) {
    switch (k) {
        case kAttack: {
            char ms[64];
#ifdef __cpp_lib_to_chars
            const auto end = std::to_chars(ms, ms + sizeof ms, attackMilliseconds(value),
                                           std::chars_format::fixed, 1);
#else
            const ToChars end = fixedChars(ms, ms + sizeof ms, attackMilliseconds(value), 1);
#endif
            return "Attack: " + std::string(ms, end.ptr) + " ms";
        }
        case kDecay:
            return "Decay: " + std::to_string(value) + " ms";
        case kSustain:
            return "Sustain: " + std::to_string(value) + " % of the peak level";
        default:
            return "Release: " + std::to_string(value) + " ms";
    }
}

float limitNumber(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    if (p != end && *p == '+') ++p;
    double value = 0.0;
#ifdef __cpp_lib_to_chars
    if (std::from_chars(p, end, value).ec != std::errc{}) value = 0.0;
#else
    if (!readDouble(p, end, value)) value = 0.0;
#endif
    return static_cast<float>(value);
}

namespace {

// Inclusive float32 bounds: the values of the slider's ends.
bool acceptedAsFrom(ParamId p, float f) {
    if (p == ParamId::None) return false;
    const int row = static_cast<int>(p);
    return paramMinimum(row) <= f &&
           (!kParamSliders[row].fromCappedAtMaximum || f <= paramMaximum(row));
}

// Strictly within 4 pixels in both directions: a 9 x 9 box around the point.
bool inPickBox(const PadPoint& p, int32_t x, int32_t y) {
    return p.x - 5 < x && x < p.x + 5 && p.y - 5 < y && y < p.y + 5;
}

}  // namespace

AxisRuling decideAxisStep(const AxisTexts& t, ParamId p) {
    const std::string n(paramName(p));
    const bool xFromEmpty = t.xFrom.empty();
    const bool xToEmpty = t.xTo.empty();
    const bool yFromEmpty = t.yFrom.empty();
    const bool yToEmpty = t.yTo.empty();

    // What makes a 'to' refused, in the order the rules are read.
    auto refusedTo = [&](std::string_view fromText) -> std::string {
        const float from = limitNumber(fromText);
        if (!(from < limitNumber(t.value))) {
            return std::string(t.value) + " is not above 'from' " + std::string(fromText);
        }
        if (!acceptedAsFrom(p, from)) {
            return "'from' " + std::string(fromText) + " lies outside the range of " + n;
        }
        return {};
    };
    // The step, unless something refused it.
    const auto unless = [](AxisStep step, std::string why) -> AxisRuling {
        if (why.empty()) return {step, {}};
        return {AxisStep::Reset, std::move(why)};
    };
    const std::string onX = t.xLabel == n ? n + " is on the X axis already" : "";
    if (xFromEmpty && xToEmpty && yFromEmpty && yToEmpty) return {AxisStep::XFrom, {}};
    if (!xFromEmpty && xToEmpty && yFromEmpty && yToEmpty) {
        return unless(AxisStep::XTo, refusedTo(t.xFrom));
    }
    if (!xFromEmpty && !xToEmpty && yFromEmpty && yToEmpty) return unless(AxisStep::YFrom, onX);
    if (!xFromEmpty && !xToEmpty && !yFromEmpty && yToEmpty) {
        return unless(AxisStep::YTo, onX.empty() ? refusedTo(t.yFrom) : onX);
    }
    return {AxisStep::Reset, "both axes are assigned"};
}

void pickPadPoint(EditorState& s, int32_t x, int32_t y) {
    if (s.padDragState != PadDragState::Unpressed) return;
    for (int k = 0; k < 4; ++k) {
        if (inPickBox(s.padPoints[k], x, y)) {
            s.padDragState = static_cast<PadDragState>(k + 1);
            return;
        }
    }
}

bool movePadPoint(EngineState& engine, EditorState& s, int32_t x, int32_t y) {
    s.padMouseX = x;
    s.padMouseY = y;
    pickPadPoint(s, x, y);
    if (s.padMouseX < 0 || s.padMouseX > kPadExtent || s.padMouseY < 0 ||
        s.padMouseY > kPadExtent) {
        return false;
    }
    const int k = static_cast<int>(s.padDragState) - 1;
    if (k >= 0) {
        const double px = s.padMouseX;
        const double py = s.padMouseY;
        s.padPoints[k] = {px, py};
        setPadPoint(engine, k, px, py);
    }
    return true;
}

}  // namespace tessivox
