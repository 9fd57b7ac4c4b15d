#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tessivox {

// The signals that end a run remove its temporary file first; a closed pipe
// or a file-size limit fail the write instead of killing the process.
void prepareOutputSignals();

// The renderer's output. A regular file (or a link to one) gets the WAV
// through a temporary file beside it, renamed over it only when complete, so
// a failed run leaves no output file. A pipe, a FIFO, a device or standard
// output ("-", /dev/stdout, /dev/fd/1, /proc/self/fd/1) get it as a stream:
// the header first, which is why a stream needs its length before any frame,
// then the frames as they come. Memory stays the same however long the run.
// Everything about the path is checked on construction, before rendering.
class WavWriter {
  public:
    WavWriter(const std::string& path, const std::string& input, int sampleRate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool needsLength() const { return streamFd_ >= 0; }
    // A stream's length in frames; writes its header.
    void setLength(int64_t frames);
    void write(const float* frames, int64_t count);
    void commit();

  private:
    void createTemp(SF_INFO& info, mode_t mode);
    void flush();

    std::string path_;
    std::string target_;
    std::string temp_;
    int sampleRate_;
    int fd_ = -1;
    int streamFd_ = -1;
    SNDFILE* file_ = nullptr;
    std::vector<char> pending_;  // a stream's bytes not yet written
    int64_t promised_ = -1;
    int64_t written_ = 0;
    bool committed_ = false;
};

}  // namespace tessivox
