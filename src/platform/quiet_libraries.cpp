#include "platform/quiet_libraries.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <unistd.h>

#include <iostream>
#include <mutex>
#include <streambuf>

namespace tessivox {

namespace {

void silentAlsa(const char*, int, const char*, int, const char*, ...) {}
void silentJack(const char*) {}

class NullBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

struct Silence {
    std::mutex mutex;
    int holders = 0;
    NullBuffer null;
    std::streambuf* savedCerr = nullptr;
    void (*savedJackError)(const char*) = nullptr;
    void (*savedJackInfo)(const char*) = nullptr;
};

Silence& silence() {
    static Silence state;
    return state;
}

}  // namespace

QuietLibraries::QuietLibraries(bool standardErrorToo) {
    Silence& q = silence();
    {
        std::lock_guard lock(q.mutex);
        if (q.holders++ == 0) {
            q.savedCerr = std::cerr.rdbuf(&q.null);
            q.savedJackError = jack_error_callback;
            q.savedJackInfo = jack_info_callback;
            jack_set_error_function(silentJack);
            jack_set_info_function(silentJack);
            snd_lib_error_set_handler(silentAlsa);
        }
    }
    if (standardErrorToo) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            savedStandardError_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
            if (savedStandardError_ >= 0) dup2(null, STDERR_FILENO);
            close(null);
        }
    }
}

QuietLibraries::~QuietLibraries() {
    if (savedStandardError_ >= 0) {
        dup2(savedStandardError_, STDERR_FILENO);
        close(savedStandardError_);
    }
    Silence& q = silence();
    std::lock_guard lock(q.mutex);
    if (--q.holders == 0) {
        snd_lib_error_set_handler(nullptr);  // back to ALSA's own printer
        jack_set_info_function(q.savedJackInfo);
        jack_set_error_function(q.savedJackError);
        std::cerr.rdbuf(q.savedCerr);
    }
}

}  // namespace tessivox
