#pragma once

#include <cstddef>
#include <cstdint>

#include "midi/midi_rules.h"

namespace tessivox {

// How many data bytes follow a status byte; 0 for sysex and real-time bytes.
constexpr int dataBytesFor(uint8_t status) {
    switch (status & 0xF0) {
        case 0xC0:
        case 0xD0:
            return 1;
        case 0xF0:
            return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
        default:
            return 2;
    }
}

// Turns a MIDI byte stream into packed short messages: expands running
// status, passes real-time bytes through at once (also in the middle of a
// message) and drops system-exclusive data. Holds a few bytes of state, so
// running status carries over from one delivery to the next. Real-time safe.
class MidiByteParser {
  public:
    template <class Deliver>
    void feed(const unsigned char* bytes, size_t count, Deliver&& deliver) {
        for (size_t i = 0; i < count; ++i) {
            const uint8_t b = bytes[i];
            if (b >= 0xF8) {
                deliver(packShortMessage(b, 0, 0));
            } else if (b >= 0x80) {
                startMessage(b, deliver);
            } else {
                addData(b, deliver);
            }
        }
    }

    void reset() { *this = MidiByteParser{}; }

  private:
    template <class Deliver>
    void startMessage(uint8_t status, Deliver& deliver) {
        inSysex_ = status == 0xF0;
        // Only channel messages set a running status; any system common
        // message (sysex start and end included) cancels it.
        runningStatus_ = status < 0xF0 ? status : 0;
        status_ = 0;
        have_ = 0;
        if (inSysex_ || status == 0xF7) return;
        status_ = status;
        need_ = dataBytesFor(status);
        if (need_ == 0) complete(deliver);
    }

    template <class Deliver>
    void addData(uint8_t b, Deliver& deliver) {
        if (inSysex_) return;
        if (status_ == 0) {
            if (runningStatus_ == 0) return;  // stray data byte: nothing to attach it to
            status_ = runningStatus_;
            need_ = dataBytesFor(status_);
            have_ = 0;
        }
        data_[have_++] = b;
        if (have_ == need_) complete(deliver);
    }

    template <class Deliver>
    void complete(Deliver& deliver) {
        deliver(packShortMessage(status_, need_ > 0 ? data_[0] : 0, need_ > 1 ? data_[1] : 0));
        have_ = 0;
        // A channel message stays open for running status.
        if (status_ >= 0xF0) status_ = 0;
    }

    uint8_t runningStatus_ = 0;
    uint8_t status_ = 0;
    uint8_t data_[2] = {0, 0};
    int need_ = 0;
    int have_ = 0;
    bool inSysex_ = false;
};

}  // namespace tessivox
