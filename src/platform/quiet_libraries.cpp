#include "platform/quiet_libraries.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <iostream>
#include <mutex>
#include <streambuf>

#include "platform/jack_clients.h"

namespace tessivox {

namespace {

void silentAlsa(const char*, int, const char*, int, const char*, ...) {}

class NullBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

struct Silence {
    std::mutex mutex;
    int holders = 0;
    NullBuffer null;
    std::streambuf* savedCerr = nullptr;
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
            // libjack's stay quiet for good: its threads report a dead
            // server's sockets at any time.
            jackClients::quietMessages();
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
        std::cerr.rdbuf(q.savedCerr);
    }
}

}  // namespace tessivox
