// tessivox-render: plays a Standard MIDI File through the synthesizer's engine
// and MIDI note rules and writes the result as a 32-bit float WAV file.

#include <fcntl.h>
#include <poll.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "midi_file.h"
#include "render_job.h"

namespace tessivox {
namespace {

constexpr size_t kMaxInputBytes = 64u << 20;

std::string errnoText() {
    return std::strerror(errno);
}

std::vector<uint8_t> readInput(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) fail("cannot read " + path + ": " + errnoText());
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > kMaxInputBytes) fail(path + ": larger than 64 MiB, not a MIDI file");
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) fail("cannot read " + path + ": " + errnoText());
    return bytes;
}

// The temporary file while it exists, for removal when a signal ends the run.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
char gTempPath[4096];
volatile std::sig_atomic_t gTempExists = 0;

void removeTempAndDie(int signal) {
    if (gTempExists) unlink(gTempPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A WAV rendered for a pipe or a device is held here: its header sizes are
// only known at the end, and a stream cannot be rewound to patch them.
struct MemoryFile {
    std::vector<char> bytes;
    sf_count_t position = 0;
};

MemoryFile& memoryOf(void* user) {
    return *static_cast<MemoryFile*>(user);
}

SF_VIRTUAL_IO memoryIo = {
    [](void* user) -> sf_count_t { return memoryOf(user).bytes.size(); },
    [](sf_count_t offset, int whence, void* user) -> sf_count_t {
        MemoryFile& m = memoryOf(user);
        const sf_count_t base = whence == SEEK_CUR   ? m.position
                                : whence == SEEK_END ? static_cast<sf_count_t>(m.bytes.size())
                                                     : 0;
        if (base + offset < 0) return -1;
        return m.position = base + offset;
    },
    [](void* data, sf_count_t count, void* user) -> sf_count_t {
        MemoryFile& m = memoryOf(user);
        const sf_count_t size = m.bytes.size();
        const sf_count_t got = std::clamp<sf_count_t>(size - m.position, 0, count);
        if (got > 0) std::memcpy(data, m.bytes.data() + m.position, got);
        m.position += got;
        return got;
    },
    [](const void* data, sf_count_t count, void* user) -> sf_count_t {
        MemoryFile& m = memoryOf(user);
        try {  // no exception may cross the library
            if (m.position + count > static_cast<sf_count_t>(m.bytes.size())) {
                m.bytes.resize(m.position + count);
            }
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return 0;
        }
        std::memcpy(m.bytes.data() + m.position, data, count);
        m.position += count;
        return count;
    },
    [](void* user) -> sf_count_t { return memoryOf(user).position; }};

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
            fail("cannot write " + path + ": " + errnoText());
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
        if (hops == 40) fail("cannot write " + path + ": " + std::strerror(ELOOP));
        std::string target(4096, '\0');
        const ssize_t length = readlink(at.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<size_t>(length) == target.size()) {
            fail("cannot write " + path + ": " + errnoText());
        }
        target.resize(static_cast<size_t>(length));
        const std::filesystem::path dir = std::filesystem::path(at).parent_path();
        at = target[0] == '/' || dir.empty() ? target : (dir / target).string();
    }
}

// A regular file (or a link to one) gets the WAV through a temporary file
// beside it, renamed over it only when complete, so a failed run leaves no
// output file. A pipe, a device or "-" (standard output) get the finished
// WAV as one stream.
class WavWriter {
  public:
    WavWriter(const std::string& path, const std::string& input, int sampleRate) : path_(path) {
        struct stat st;
        bool exists = false;
        if (path == "-") {
            streamFd_ = STDOUT_FILENO;
            exists = fstat(streamFd_, &st) == 0;
        } else {
            target_ = followLinks(path);
            exists = stat(target_.c_str(), &st) == 0;
        }
        struct stat in;
        if (exists && stat(input.c_str(), &in) == 0 && st.st_dev == in.st_dev &&
            st.st_ino == in.st_ino) {
            fail("cannot write " + path + ": it is the input file");
        }
        if (exists && streamFd_ < 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            // Blocks until a FIFO has a reader, as a shell redirection does.
            streamFd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
            if (streamFd_ < 0) fail("cannot write " + path + ": " + errnoText());
        }
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        if (streamFd_ >= 0) {
            file_ = sf_open_virtual(&memoryIo, SFM_WRITE, &info, &memory_);
            if (!file_) fail("cannot write " + path + ": " + sf_strerror(nullptr));
        } else {
            const mode_t mask = umask(0);
            umask(mask);
            createTemp(info, exists && S_ISREG(st.st_mode) ? st.st_mode & 0777 : 0666 & ~mask);
        }
        sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    }
    ~WavWriter() {
        if (file_) sf_close(file_);
        if (fd_ >= 0) close(fd_);
        if (streamFd_ > STDOUT_FILENO) close(streamFd_);
        if (!temp_.empty() && !committed_) unlink(temp_.c_str());
        gTempExists = 0;
    }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void write(const float* frames, int64_t count) {
        if (sf_writef_float(file_, frames, count) != count) {
            fail("cannot write " + path_ + ": " + sf_strerror(file_));
        }
    }

    void commit() {
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed != 0) fail("cannot write " + path_ + ": " + sf_error_number(closed));
        if (streamFd_ >= 0) {
            writeAll(streamFd_, memory_.bytes.data(), memory_.bytes.size(), path_);
            committed_ = true;
            return;
        }
        int error = fsync(fd_) == 0 ? 0 : errno;
        if (close(fd_) != 0 && error == 0) error = errno;
        fd_ = -1;
        if (error != 0) fail("cannot write " + path_ + ": " + std::strerror(error));
        if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
            fail("cannot write " + path_ + ": " + errnoText());
        }
        committed_ = true;
        gTempExists = 0;
    }

  private:
    // The temporary file sits beside the link's target, so the rename stays
    // on one file system and replaces the target, not the link.
    void createTemp(SF_INFO& info, mode_t mode) {
        const std::string temp = target_ + ".XXXXXX";
        if (temp.size() >= sizeof gTempPath) fail("cannot write " + path_ + ": path too long");
        std::memcpy(gTempPath, temp.c_str(), temp.size() + 1);
        // No signal may come between the file's creation and its registration.
        sigset_t signals, previous;
        sigemptyset(&signals);
        for (int signal : kCleanupSignals) sigaddset(&signals, signal);
        sigprocmask(SIG_BLOCK, &signals, &previous);
        fd_ = mkstemp(gTempPath);
        const int error = errno;
        if (fd_ >= 0) gTempExists = 1;
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        if (fd_ < 0) fail("cannot write " + path_ + ": " + std::strerror(error));
        temp_ = gTempPath;
        // mkstemp makes the file private; give it the replaced file's mode,
        // or the one a plain create would.
        fchmod(fd_, mode);
        file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
        if (!file_) {
            // The destructor does not run for a constructor that throws.
            const std::string reason = sf_strerror(nullptr);
            close(fd_);
            unlink(temp_.c_str());
            gTempExists = 0;
            fail("cannot write " + path_ + ": " + reason);
        }
    }

    std::string path_;
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int streamFd_ = -1;
    MemoryFile memory_;
    SNDFILE* file_ = nullptr;
    bool committed_ = false;
};

class Renderer {
  public:
    Renderer(SynthState& s, WavWriter& wav, int64_t block, bool clip)
        : s_(s), wav_(wav), buffer_(block), clip_(clip) {}

    // The largest magnitude the engine made, before any clipping; NaN counts as infinite.
    float peak() const { return peak_; }

    void renderTo(int64_t frame) {
        while (position_ < frame) {
            const int64_t count = std::min<int64_t>(frame - position_, buffer_.size());
            renderFrames(s_, buffer_.data(), static_cast<unsigned long>(count));
            for (int64_t i = 0; i < count; ++i) {
                const float v = std::fabs(buffer_[i]);
                peak_ = std::isnan(v) ? INFINITY : std::max(peak_, v);
            }
            if (clip_) limitToDeviceRange(buffer_.data(), static_cast<unsigned long>(count));
            wav_.write(buffer_.data(), count);
            position_ += count;
        }
    }

    // With no key held, renders while the release still sounds. Each step stays short of the
    // release's end, so exactly the frames before it are rendered whatever
    // the block size.
    void renderReleaseTail() {
        while (s_.gate.load() == 0 && !releaseFinished(s_)) {
            const double remaining = s_.releaseSamples + s_.releaseStartIndex - s_.sampleIndex;
            renderTo(position_ + std::max<int64_t>(1, static_cast<int64_t>(remaining) - 1));
        }
    }

  private:
    SynthState& s_;
    WavWriter& wav_;
    std::vector<float> buffer_;
    bool clip_;
    float peak_ = 0.0f;
    int64_t position_ = 0;
};

int run(int argc, char** argv) {
    const std::optional<RenderJob> job = parseRenderJob(argc, argv);
    if (!job) return 0;  // --help, --version
    auto state = std::make_unique<SynthState>();
    SynthState& s = *state;
    applyRenderJob(*job, s);
    const RenderJob& o = *job;
    const int64_t rate = o.rate;

    const std::vector<uint8_t> bytes = readInput(o.input);
    MidiSchedule schedule;
    std::string error;
    if (!readMidiFile(bytes, schedule, error, rate)) fail(o.input + ": " + error);

    WavWriter wav(o.output, o.input, static_cast<int>(rate));
    Renderer renderer(s, wav, o.block, o.clip);
    const int64_t end = o.frames.value_or(schedule.endFrame);
    for (const ScheduledMessage& m : schedule.messages) {
        // An event at the output's last frame boundary acts on nothing more.
        if (o.frames && m.frame >= end) break;
        renderer.renderTo(m.frame);
        handleMidiShortMessage(s, m.message);
    }
    renderer.renderTo(end);
    if (!o.frames) renderer.renderReleaseTail();
    wav.commit();
    if (renderer.peak() > 1.0f) {
        std::fprintf(
            stderr, "%s: peak %+.1f dBFS%s\n", kRenderProgram,
            20.0 * std::log10(static_cast<double>(renderer.peak())),
            o.clip ? ", clipped to 0 dBFS" : " (a sound device would clip it; see --clip)");
    }
    return 0;
}

}  // namespace
}  // namespace tessivox

int main(int argc, char** argv) {
    for (int signal : tessivox::kCleanupSignals) std::signal(signal, tessivox::removeTempAndDie);
    // A file-size limit or a closed pipe then fails the write (EFBIG, EPIPE)
    // and is reported like any other write error.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return tessivox::run(argc, argv);
    } catch (const tessivox::RenderError& e) {
        std::fprintf(stderr, "%s: %s\n", tessivox::kRenderProgram, e.message.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", tessivox::kRenderProgram, e.what());
    }
    return 2;
}
