#include "app/command_line.h"

#include <string>
#include <string_view>

namespace tessivox {

namespace {

constexpr const char* kHelp =
    "Usage: tessivox [--help | --version]\n"
    "       tessivox [--sound NAME-OR-FILE]\n"
    "\n"
    "Tessivox is a one-voice software synthesizer whose sound is the superformula.\n"
    "Play it from a MIDI keyboard: choose the input port at the bottom right of its\n"
    "window; it plays on the default audio output. Escape or the close box quits.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "  --sound NAME-OR-FILE\n"
    "                 start with a saved sound (Ctrl+S in the window) or an LV2\n"
    "                 preset of the plugin, by name, or from a preset file\n"
    "\n"
    "Other arguments are ignored. The offline renderer is tessivox-render.\n"
    "See tessivox(1) and tessivox-render(1).\n";

}  // namespace

std::optional<int> handleCommandLine(int argc, const char* const* argv, std::FILE* out,
                                     std::FILE* err) {
    bool help = false;
    bool version = false;
    std::string ignored;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            help = true;
        } else if (options && arg == "--version") {
            version = true;
        } else if (options && arg == "--sound" && i + 1 < argc) {
            ++i;  // the sound is read by soundArgument
        } else if (!(options && arg.starts_with("--sound="))) {
            ignored += ignored.empty() ? "" : " ";
            // Kept to one line whatever the argument holds.
            for (const char c : arg) ignored += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        }
    }
    if (help || version) {
        std::fputs(help ? kHelp : "Tessivox " TESSIVOX_VERSION "\n", out);
        // A text that could not be written is a failure, not a success.
        return std::fflush(out) == 0 && !std::ferror(out) ? 0 : 1;
    }
    // Launchers may pass arguments of their own: say so, then start as usual.
    if (!ignored.empty()) std::fprintf(err, "tessivox: ignoring arguments: %s\n", ignored.c_str());
    return std::nullopt;
}

std::optional<std::string> soundArgument(int argc, const char* const* argv) {
    std::optional<std::string> sound;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "--sound" && i + 1 < argc) sound = argv[++i];
        if (arg.starts_with("--sound=")) sound = std::string(arg.substr(8));
    }
    return sound;
}

}  // namespace tessivox
