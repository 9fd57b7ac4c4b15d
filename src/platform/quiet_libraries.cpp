#include "platform/quiet_libraries.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <iostream>

namespace tessivox {

namespace {
void silentAlsa(const char*, int, const char*, int, const char*, ...) {}
void silentJack(const char*) {}
}  // namespace

QuietLibraries::QuietLibraries()
    : savedCerr_(std::cerr.rdbuf(&null_)),
      savedJackError_(jack_error_callback),
      savedJackInfo_(jack_info_callback) {
    jack_set_error_function(silentJack);
    jack_set_info_function(silentJack);
    snd_lib_error_set_handler(silentAlsa);
}

QuietLibraries::~QuietLibraries() {
    snd_lib_error_set_handler(nullptr);  // back to ALSA's own printer
    jack_set_info_function(savedJackInfo_);
    jack_set_error_function(savedJackError_);
    std::cerr.rdbuf(savedCerr_);
}

}  // namespace tessivox
