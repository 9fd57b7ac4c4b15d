#pragma once

#include <iosfwd>
#include <streambuf>

namespace tessivox {

// While alive, the ALSA library, the JACK client library and RtMidi (which
// writes to std::cerr) print nothing. Their probing of absent devices is
// noise to a user; real failures come back as results. UI thread only.
class QuietLibraries {
  public:
    QuietLibraries();
    ~QuietLibraries();
    QuietLibraries(const QuietLibraries&) = delete;
    QuietLibraries& operator=(const QuietLibraries&) = delete;

  private:
    class NullBuffer : public std::streambuf {
      protected:
        int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    };

    NullBuffer null_;
    std::streambuf* savedCerr_;
    void (*savedJackError_)(const char*);
    void (*savedJackInfo_)(const char*);
};

}  // namespace tessivox
