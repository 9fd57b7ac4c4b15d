#include "render/wav_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "render/render_job.h"
#include "sound/file_beside.h"

namespace tessivox {

namespace {

// Fails the run with "cannot write PATH: REASON".
[[noreturn]] void failWrite(const std::string& path, const std::string& reason) {
    fail("cannot write " + path + ": " + reason);
}

// Past this many bytes a stream's pending bytes are written out.
constexpr size_t kStreamChunk = 1 << 16;

// The temporary file while it exists, for removal when a signal ends the run.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
char gTempPath[4096];
volatile std::sig_atomic_t gTempExists = 0;

void removeTempAndDie(int signal) {
    if (gTempExists) unlink(gTempPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool isStandardOutput(const std::string& path) {
    return path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

void writeAll(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t wrote = ::write(fd, data, size);
        if (wrote > 0) {
            data += wrote;
            size -= static_cast<size_t>(wrote);
        } else if (wrote < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, -1);
        } else if (wrote < 0 && errno != EINTR) {
            failWrite(path, std::strerror(errno));
        }
    }
}

// The file a chain of symbolic links ends at, existing or not (a dangling
// link is written through, as a shell redirection would).
std::string followLinks(const std::string& path) {
    std::string at = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        if (hops == 40) failWrite(path, std::strerror(ELOOP));
        std::string target(4096, '\0');
        const ssize_t length = readlink(at.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<size_t>(length) == target.size()) {
            failWrite(path, std::strerror(errno));
        }
        target.resize(static_cast<size_t>(length));
        const std::filesystem::path dir = std::filesystem::path(at).parent_path();
        at = target[0] == '/' || dir.empty() ? target : (dir / target).string();
    }
}

// Packs a chunk ID as the header's bytes stand, little-endian.
constexpr uint32_t fourCC(const char* id) {
    return static_cast<uint8_t>(id[0]) | static_cast<uint8_t>(id[1]) << 8 |
           static_cast<uint8_t>(id[2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[3])) << 24;
}

SF_INFO monoFloat(int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    return info;
}

constexpr uint32_t kHeaderBytes = 80;

// The header of a stream, and of a file once the audio file library has
// written it: the library's 80 bytes (RIFF, fmt, fact, a PAD chunk, data), but
// a fmt chunk with the extension size that readers expect of a float format,
// taken from the PAD chunk. So a stream is byte for byte the file a path gets.
std::vector<char> wavHeader(int sampleRate, int64_t frames, const std::string& path) {
    const uint64_t dataBytes = static_cast<uint64_t>(frames) * sizeof(float);
    if (dataBytes + kHeaderBytes - 8 > UINT32_MAX) failWrite(path, "too long for a WAV stream");
    const auto rate = static_cast<uint32_t>(sampleRate);
    const auto data = static_cast<uint32_t>(dataBytes);
    // Each field's value and its width in bytes: the format is 3 (float),
    // one channel of 32 bits, no extension; the PAD chunk holds 14 zero bytes.
    // clang-format off
    const std::pair<uint32_t, int> fields[] = {
        {fourCC("RIFF"), 4}, {kHeaderBytes - 8 + data, 4}, {fourCC("WAVE"), 4},
        {fourCC("fmt "), 4}, {18, 4}, {3, 2}, {1, 2}, {rate, 4}, {rate * 4, 4}, {4, 2}, {32, 2},
        {0, 2},
        {fourCC("fact"), 4}, {4, 4}, {static_cast<uint32_t>(frames), 4},
        {fourCC("PAD "), 4}, {14, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 2},
        {fourCC("data"), 4}, {data, 4}};
    // clang-format on
    std::vector<char> header;
    for (const auto& [value, bytes] : fields) {
        for (int k = 0; k < bytes; ++k) header.push_back(static_cast<char>(value >> (8 * k)));
    }
    return header;
}

}  // namespace

void prepareOutputSignals() {
    for (int signal : kCleanupSignals) std::signal(signal, removeTempAndDie);
    // A file-size limit or a closed pipe then fails the write (EFBIG, EPIPE)
    // and is reported like any other write error.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

WavWriter::WavWriter(const std::string& path, const std::string& input, int sampleRate)
    : path_(path), sampleRate_(sampleRate) {
    struct stat st;
    bool exists = false;
    // Standard output by any of its names: through the descriptor, which a
    // pipe's name in /proc could not be opened again by.
    if (isStandardOutput(path)) {
        streamFd_ = STDOUT_FILENO;
        exists = fstat(streamFd_, &st) == 0;
    } else {
        target_ = followLinks(path);
        exists = stat(target_.c_str(), &st) == 0;
    }
    struct stat in;
    if (exists && stat(input.c_str(), &in) == 0 && st.st_dev == in.st_dev &&
        st.st_ino == in.st_ino) {
        failWrite(path, "it is the input file");
    }
    if (exists && S_ISDIR(st.st_mode)) failWrite(path, std::strerror(EISDIR));
    if (exists && streamFd_ < 0 && !S_ISREG(st.st_mode)) {
        // Blocks until a FIFO has a reader, as a shell redirection does.
        streamFd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (streamFd_ < 0) failWrite(path, std::strerror(errno));
    }
    if (streamFd_ >= 0) {
        pending_.reserve(2 * kStreamChunk);
        return;
    }
    SF_INFO info = monoFloat(sampleRate);
    // The replaced file's mode, or the one a plain create would give.
    createTemp(info, exists ? st.st_mode & 0777 : plainCreateMode());
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

WavWriter::~WavWriter() {
    if (file_) sf_close(file_);
    if (fd_ >= 0) close(fd_);
    if (streamFd_ > STDOUT_FILENO) close(streamFd_);
    if (!temp_.empty() && !committed_) unlink(temp_.c_str());
    gTempExists = 0;
}

void WavWriter::setLength(int64_t frames) {
    if (streamFd_ < 0) return;
    promised_ = frames;
    pending_ = wavHeader(sampleRate_, frames, path_);
    flush();
}

void WavWriter::flush() {
    writeAll(streamFd_, pending_.data(), pending_.size(), path_);
    pending_.clear();
}

void WavWriter::write(const float* frames, int64_t count) {
    if (streamFd_ < 0) {
        if (sf_writef_float(file_, frames, count) != count) failWrite(path_, sf_strerror(file_));
        written_ += count;
        return;
    }
    // The WAV's floats are little-endian, as this machine's are.
    const char* bytes = reinterpret_cast<const char*>(frames);
    pending_.insert(pending_.end(), bytes, bytes + count * sizeof(float));
    written_ += count;
    if (pending_.size() >= kStreamChunk) flush();
}

void WavWriter::commit() {
    if (streamFd_ >= 0) {
        flush();
        // The header promised this many; anything else would be a broken WAV.
        if (written_ != promised_) {
            failWrite(path_, std::to_string(written_) + " frames, not the " +
                                 std::to_string(promised_) + " its header says");
        }
        committed_ = true;
        return;
    }
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) failWrite(path_, sf_error_number(closed));
    // The library's data chunk starts where the header puts it; the
    // header then takes its place.
    char data[8];
    const std::vector<char> header = wavHeader(sampleRate_, written_, path_);
    if (pread(fd_, data, sizeof data, kHeaderBytes - 8) != sizeof data ||
        std::memcmp(data, header.data() + kHeaderBytes - 8, sizeof data) != 0) {
        failWrite(path_, "the audio file library laid out its header otherwise");
    }
    if (pwrite(fd_, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) {
        failWrite(path_, std::strerror(errno));
    }
    int error = fsync(fd_) == 0 ? 0 : errno;
    if (close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    if (error != 0) failWrite(path_, std::strerror(error));
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) failWrite(path_, std::strerror(errno));
    committed_ = true;
    gTempExists = 0;
}

// The temporary file sits beside the link's target, so the rename stays on
// one file system and replaces the target, not the link.
void WavWriter::createTemp(SF_INFO& info, mode_t mode) {
    // No signal may come between the file's creation and its registration.
    sigset_t signals, previous;
    sigemptyset(&signals);
    for (int signal : kCleanupSignals) sigaddset(&signals, signal);
    sigprocmask(SIG_BLOCK, &signals, &previous);
    fd_ = createBeside(target_, mode, gTempPath, sizeof gTempPath);
    const int error = errno;
    if (fd_ >= 0) gTempExists = 1;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (fd_ < 0) failWrite(path_, std::strerror(error));
    temp_ = gTempPath;
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
    if (!file_) {
        // The destructor does not run for a constructor that throws.
        const std::string reason = sf_strerror(nullptr);
        close(fd_);
        unlink(temp_.c_str());
        gTempExists = 0;
        failWrite(path_, reason);
    }
}

}  // namespace tessivox
