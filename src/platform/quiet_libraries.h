#pragma once

namespace tessivox {

// While alive, the ALSA library and RtMidi (which writes to std::cerr) print
// nothing; the JACK client library prints nothing from the first one on. Their probing of absent devices is
// noise to a user; real failures come back as results. The silence is
// process-wide and counted, so the UI thread and the audio worker may hold
// one each at the same time. Never in a real-time callback.
class QuietLibraries {
  public:
    // `standardErrorToo` also silences the error stream itself, for the audio
    // library, which prints its failures there directly.
    explicit QuietLibraries(bool standardErrorToo = false);
    ~QuietLibraries();
    QuietLibraries(const QuietLibraries&) = delete;
    QuietLibraries& operator=(const QuietLibraries&) = delete;

  private:
    int savedStandardError_ = -1;
};

}  // namespace tessivox
