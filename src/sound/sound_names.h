#pragma once

#include <cstddef>
#include <string>

namespace tessivox::sound {

inline constexpr std::size_t kMaxNameLength = 100;  // characters

// A file name part from a sound's name, as hosts make them: letters, digits
// and '_' only.
inline std::string symbolOf(const std::string& name) {
    std::string symbol;
    for (const char c : name) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        symbol += plain ? c : '_';
        if (symbol.size() == 48) break;
    }
    if (symbol.find_first_not_of('_') == std::string::npos) symbol = "sound";
    return symbol;
}

// Empty for a name a sound may have, else why not.
inline std::string nameProblem(const std::string& name) {
    if (name.find_first_not_of(" \t") == std::string::npos) return "a sound needs a name";
    size_t characters = 0;
    for (size_t i = 0; i < name.size(); ++characters) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F)
            return "a sound's name is one line of text, without control characters";
        const size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        bool utf8 = length != 0 && i + length <= name.size();
        for (size_t k = 1; utf8 && k < length; ++k)
            utf8 = (static_cast<unsigned char>(name[i + k]) & 0xC0) == 0x80;
        if (!utf8) return "a sound's name must be UTF-8 text";
        i += length;
    }
    if (characters > kMaxNameLength)
        return "a sound's name has at most " + std::to_string(kMaxNameLength) + " characters";
    return {};
}

}  // namespace tessivox::sound
