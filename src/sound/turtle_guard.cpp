#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "sound/sound_files.h"

namespace tessivox::sound {

namespace {

// A preset is a few kilobytes. The Turtle reader recurses once per nested
// list or blank node and looks each prefix up among all the others, so files
// beyond these would crash it or take minutes.
constexpr off_t kMaxTurtleBytes = 1 << 20;
constexpr int kMaxNesting = 100;
constexpr int kMaxPrefixes = 1000;

// Skips from `at` (just past an opening quote) to just past the closing one.
size_t skipString(const std::string& text, size_t at, char quote) {
    const bool longString = text.compare(at, 2, std::string(2, quote)) == 0;
    if (longString) at += 2;
    for (; at < text.size(); ++at) {
        if (text[at] == '\\') {
            ++at;
        } else if (text[at] == quote &&
                   (!longString || text.compare(at, 3, std::string(3, quote)) == 0)) {
            return at + (longString ? 3 : 1);
        }
    }
    return at;
}

bool startsWord(const std::string& text, size_t at, const char* word) {
    const size_t n = std::strlen(word);
    if (at > 0 && !std::isspace(static_cast<unsigned char>(text[at - 1]))) return false;
    return text.size() - at >= n && strncasecmp(text.c_str() + at, word, n) == 0;
}

// Why `text` would overwhelm the reader, or empty.
std::string shapeProblem(const std::string& text) {
    int depth = 0, prefixes = 0;
    for (size_t at = 0; at < text.size();) {
        const char c = text[at++];
        if (c == '#' || c == '<') {
            at = text.find(c == '#' ? '\n' : '>', at);
            if (at == std::string::npos) break;
        } else if (c == '"' || c == '\'') {
            at = skipString(text, at, c);
        } else if (c == '(' || c == '[') {
            if (++depth > kMaxNesting)
                return "nested more than " + std::to_string(kMaxNesting) + " deep";
        } else if (c == ')' || c == ']') {
            --depth;
        } else if ((c == '@' && startsWord(text, at - 1, "@prefix")) ||
                   startsWord(text, at - 1, "prefix ")) {
            if (++prefixes > kMaxPrefixes)
                return "more than " + std::to_string(kMaxPrefixes) + " prefixes";
        }
    }
    return {};
}

}  // namespace

std::string turtleProblem(const std::string& path) {
    // Non-blocking, so that a FIFO cannot hold the open.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return "cannot read " + path + ": " + std::strerror(errno);
    struct stat st;
    std::string problem;
    if (fstat(fd, &st) != 0) {
        problem = "cannot read " + path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        problem = path + ": not a regular file";
    } else if (st.st_size == 0) {
        problem = path + ": the file is empty";
    } else if (st.st_size > kMaxTurtleBytes) {
        problem = path + ": larger than " + std::to_string(kMaxTurtleBytes >> 20) +
                  " MB, too large for a sound";
    } else {
        std::string text(static_cast<size_t>(st.st_size), '\0');
        const ssize_t got = pread(fd, text.data(), text.size(), 0);
        if (got < 0) {
            problem = "cannot read " + path + ": " + std::strerror(errno);
        } else {
            text.resize(static_cast<size_t>(got));
            if (const std::string shape = shapeProblem(text); !shape.empty())
                problem = path + ": " + shape + ", more than a sound needs";
        }
    }
    close(fd);
    return problem;
}

}  // namespace tessivox::sound
