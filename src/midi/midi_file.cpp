#include "midi/midi_file.h"

#include <algorithm>
#include <cstdio>

#include "midi/midi_byte_parser.h"

namespace tessivox {

namespace {

using Int128 = __int128;

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note

struct TimedEvent {
    uint64_t tick;
    uint32_t value;  // packed message, or tempo
};

struct TempoSegment {
    uint64_t tick;
    Int128 elapsed;  // sum of ticks * tempo before `tick`
    uint32_t tempo;
};

// Every read is checked against the end of the data the cursor covers.
class Cursor {
  public:
    Cursor(std::span<const uint8_t> bytes, size_t base) : bytes_(bytes), base_(base) {}

    size_t offset() const { return base_ + pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }

    bool byte(uint8_t& v) {
        if (atEnd()) return false;
        v = bytes_[pos_++];
        return true;
    }
    bool peek(uint8_t& v) const {
        if (atEnd()) return false;
        v = bytes_[pos_];
        return true;
    }
    bool bigEndian(int count, uint32_t& v) {
        if (remaining() < static_cast<size_t>(count)) return false;
        v = 0;
        for (int i = 0; i < count; ++i) v = v << 8 | bytes_[pos_++];
        return true;
    }
    bool take(size_t count, std::span<const uint8_t>& part) {
        if (remaining() < count) return false;
        part = bytes_.subspan(pos_, count);
        pos_ += count;
        return true;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t base_;
    size_t pos_ = 0;
};

class Parser {
  public:
    Parser(std::span<const uint8_t> bytes, std::string& error, int64_t sampleRate)
        : file_(bytes, 0), error_(error), sampleRate_(sampleRate) {}

    bool parse(MidiSchedule& out) {
        if (!header()) return false;
        for (uint32_t track = 0; track < trackCount_;) {
            const size_t at = file_.offset();
            uint32_t id = 0;
            uint32_t length = 0;
            if (!file_.bigEndian(4, id) || !file_.bigEndian(4, length)) {
                return fail(at, "file ends after " + std::to_string(track) + " of " +
                                    std::to_string(trackCount_) + " tracks");
            }
            std::span<const uint8_t> body;
            const bool isTrack = id == fourCC("MTrk");
            if (!file_.take(length, body)) {
                return fail(at, std::string(isTrack ? "track" : "unknown") + " chunk of " +
                                    std::to_string(length) +
                                    " bytes runs past the end of the file");
            }
            if (!isTrack) continue;  // unknown chunks are skipped
            track_ = static_cast<int>(track) + 1;
            if (!parseTrack(Cursor(body, at + 8))) return false;
            track_ = -1;
            ++track;
        }
        return schedule(out);
    }

  private:
    static constexpr uint32_t fourCC(const char (&s)[5]) {
        return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
               uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
    }

    bool fail(size_t offset, const std::string& what) {
        error_ = (track_ >= 0 ? "track " + std::to_string(track_) + ", " : std::string()) +
                 "byte " + std::to_string(offset) + ": " + what;
        return false;
    }

    bool header() {
        uint32_t id = 0;
        uint32_t length = 0;
        if (!file_.bigEndian(4, id) || id != fourCC("MThd")) {
            error_ = "not a Standard MIDI File (no MThd header)";
            return false;
        }
        if (!file_.bigEndian(4, length)) return fail(4, "truncated MThd header");
        if (length < 6) return fail(4, "MThd header length " + std::to_string(length) + " < 6");
        std::span<const uint8_t> body;
        if (!file_.take(length, body)) {
            return fail(4, "MThd header of " + std::to_string(length) +
                               " bytes runs past the end of the file");
        }
        const uint32_t format = uint32_t(body[0]) << 8 | body[1];
        trackCount_ = uint32_t(body[2]) << 8 | body[3];
        const uint32_t division = uint32_t(body[4]) << 8 | body[5];
        if (format == 2) {
            return fail(8, "format 2 MIDI files (independent sequences) are not supported");
        }
        if (format > 2) return fail(8, "unknown MIDI file format " + std::to_string(format));
        if (division & 0x8000) {
            return fail(12, "SMPTE time division is not supported, only ticks per quarter note");
        }
        if (division == 0) return fail(12, "time division of 0 ticks per quarter note");
        ticksPerQuarter_ = division;
        return true;
    }

    // Variable-length quantity: at most 4 bytes, 28 bits.
    bool vlq(Cursor& c, uint32_t& v, const char* what) {
        const size_t at = c.offset();
        v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!c.byte(b)) return fail(at, std::string(what) + " runs past the end of the track");
            v = v << 7 | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return fail(at, std::string(what) + " is longer than 4 bytes");
    }

    bool skipData(Cursor& c, size_t at, const char* what) {
        uint32_t length = 0;
        if (!vlq(c, length, what)) return false;
        std::span<const uint8_t> data;
        if (!c.take(length, data)) {
            return fail(at, std::string(what) + " of " + std::to_string(length) +
                                " bytes runs past the end of the track");
        }
        return true;
    }

    bool parseTrack(Cursor c) {
        uint64_t tick = 0;
        uint8_t runningStatus = 0;
        while (!c.atEnd()) {
            uint32_t delta = 0;
            if (!vlq(c, delta, "delta time")) return false;
            tick += delta;
            const size_t at = c.offset();
            uint8_t status = 0;
            if (!c.peek(status)) return fail(at, "track ends inside an event");
            if (status & 0x80) {
                c.byte(status);
            } else if (runningStatus != 0) {
                // Kept across meta and sysex events too: some writers rely on it.
                status = runningStatus;
            } else {
                return fail(at, "data byte without a status byte");
            }

            if (status < 0xF0) {
                runningStatus = status;
                const int dataBytes = dataBytesFor(status);
                uint8_t data[2] = {0, 0};
                for (int i = 0; i < dataBytes; ++i) {
                    if (!c.byte(data[i])) return fail(at, "track ends inside a channel message");
                    if (data[i] & 0x80) {
                        return fail(at, "status byte inside a channel message");
                    }
                }
                messages_.push_back({tick, packShortMessage(status, data[0], data[1])});
            } else if (status == 0xF0 || status == 0xF7) {
                if (!skipData(c, at, "system exclusive event")) return false;
            } else if (status == 0xFF) {
                uint8_t type = 0;
                if (!c.byte(type)) return fail(at, "track ends inside a meta event");
                if (type == 0x51) {
                    uint32_t length = 0;
                    uint32_t tempo = 0;
                    if (!vlq(c, length, "meta event length")) return false;
                    if (length != 3) {
                        return fail(at, "Set Tempo event of length " + std::to_string(length));
                    }
                    if (!c.bigEndian(3, tempo)) {
                        return fail(at, "Set Tempo event runs past the end of the track");
                    }
                    tempos_.push_back({tick, tempo});
                } else if (!skipData(c, at, "meta event")) {
                    return false;
                }
                if (type == 0x2F) break;  // End of Track; anything after it is ignored
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02X", status);
                return fail(at, std::string("unexpected status byte ") + hex);
            }
        }
        endTick_ = std::max(endTick_, tick);
        return true;
    }

    // Round-half-even of the time in frames at `tick`.
    Int128 frameOf(const std::vector<TempoSegment>& map, uint64_t tick, Int128 denominator) const {
        const auto seg = std::prev(
            std::upper_bound(map.begin(), map.end(), tick,
                             [](uint64_t t, const TempoSegment& s) { return t < s.tick; }));
        const Int128 numerator =
            (seg->elapsed + Int128(tick - seg->tick) * seg->tempo) * sampleRate_;
        Int128 q = numerator / denominator;
        const Int128 twiceRest = 2 * (numerator % denominator);
        if (twiceRest > denominator || (twiceRest == denominator && (q & 1))) ++q;
        return q;
    }

    bool schedule(MidiSchedule& out) {
        // Concatenated in track order, then file order: a stable sort by tick
        // gives the merge order, and for tempo changes at one tick the last wins.
        const auto byTick = [](const TimedEvent& a, const TimedEvent& b) {
            return a.tick < b.tick;
        };
        std::stable_sort(messages_.begin(), messages_.end(), byTick);
        std::stable_sort(tempos_.begin(), tempos_.end(), byTick);

        std::vector<TempoSegment> map{{0, 0, kDefaultTempo}};
        for (const TimedEvent& t : tempos_) {
            TempoSegment& last = map.back();
            if (t.tick == last.tick) {
                last.tempo = t.value;
            } else {
                map.push_back(
                    {t.tick, last.elapsed + Int128(t.tick - last.tick) * last.tempo, t.value});
            }
        }

        const Int128 denominator = Int128(ticksPerQuarter_) * 1000000;
        const Int128 end = frameOf(map, endTick_, denominator);
        if (end > kMaxRenderSeconds * Int128(sampleRate_)) {
            error_ = "the file lasts more than one hour (absurd delta times or tempo?)";
            return false;
        }
        out.endFrame = static_cast<int64_t>(end);
        out.messages.clear();
        out.messages.reserve(messages_.size());
        for (const TimedEvent& e : messages_) {
            const auto frame = static_cast<int64_t>(frameOf(map, e.tick, denominator));
            out.messages.push_back({frame, e.value});
        }
        return true;
    }

    Cursor file_;
    std::string& error_;
    int64_t sampleRate_;
    int track_ = -1;  // 1-based number of the track being read, for messages
    uint32_t trackCount_ = 0;
    uint32_t ticksPerQuarter_ = 0;
    uint64_t endTick_ = 0;
    std::vector<TimedEvent> messages_;
    std::vector<TimedEvent> tempos_;
};

}  // namespace

bool readMidiFile(std::span<const uint8_t> bytes, MidiSchedule& out, std::string& error,
                  int64_t sampleRate) {
    return Parser(bytes, error, sampleRate).parse(out);
}

}  // namespace tessivox
