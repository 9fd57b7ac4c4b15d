// Checks a recording of one played note: channel 1 is the sender's marker
// (+0.5 at the frame the note-on was sent, -0.5 at the note-off), channel 2 what
// reached the speaker. The recording must be silent before the note, sound at
// 441 Hz, release to silence, and match the engine driven offline with the
// same note, sample for sample within the recording's quantisation.
//
//   recording_check REC.wav [--write-midi NOTES.mid] [--compare RENDER.wav]
//
// --write-midi writes the same notes as a MIDI file in which one tick is one
// frame: note-on at frame 4096, note-off where the recording's gate closed.
// --compare checks the recording against the offline renderer's output of
// that file.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "midi/midi_rules.h"

namespace {

using tessivox::kSampleRate;

constexpr long kNotFound = -1;
constexpr long kLead = 4096;

struct Recording {
    std::vector<double> marker;
    std::vector<double> sound;
    int format = 0;
};

std::optional<Recording> readRecording(const char* path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr || info.channels != 2) {
        std::fprintf(stderr, "cannot read %s as a 2-channel file\n", path);
        if (file != nullptr) sf_close(file);
        return std::nullopt;
    }
    // Doubles hold every 32-bit integer sample exactly; floats would not.
    std::vector<double> frames(static_cast<size_t>(info.frames) * 2);
    sf_readf_double(file, frames.data(), info.frames);
    sf_close(file);
    Recording r;
    r.format = info.format & SF_FORMAT_SUBMASK;
    for (sf_count_t k = 0; k < info.frames; ++k) {
        r.marker.push_back(frames[2 * k]);
        r.sound.push_back(frames[2 * k + 1]);
    }
    return r;
}

// The engine alone: note-on after `lead` idle frames, note-off `hold` frames
// after the note's first frame (none when hold < 0), `total` frames in all.
// Returns the output from the note's first frame on.
std::vector<float> renderOffline(long hold, long total) {
    auto s = std::make_unique<tessivox::SynthState>();
    std::vector<float> out(static_cast<size_t>(kLead + total), 0.0f);
    tessivox::renderFrames(*s, out.data(), kLead);
    tessivox::handleMidiShortMessage(*s, tessivox::packShortMessage(0x90, 69, 100));
    // The fade-out before a note is 1,001 frames; the note's first frame
    // (fade-in factor 0) follows.
    constexpr long kFadeOut = tessivox::kFadeOutLast + 1;
    long done = kLead;
    auto render = [&](long upTo) {
        tessivox::renderFrames(*s, out.data() + done, static_cast<unsigned long>(upTo - done));
        done = upTo;
    };
    if (hold >= 0) {
        render(kLead + kFadeOut + hold);
        tessivox::handleMidiShortMessage(*s, tessivox::packShortMessage(0x80, 69, 0));
    }
    render(kLead + total);
    return std::vector<float>(out.begin() + kLead + kFadeOut, out.end());
}

void putVarLen(std::vector<unsigned char>& out, uint32_t value) {
    unsigned char bytes[5];
    int n = 0;
    do {
        bytes[n++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(bytes[--n] | 0x80);
    out.push_back(bytes[0]);
}

// 441 ticks a quarter at 10,000 us a quarter: one tick is 1/44,100 s.
bool writeMidi(const char* path, long noteOffFrame, long endFrame) {
    std::vector<unsigned char> track = {0x00, 0xFF, 0x51, 0x03, 0x00, 0x27, 0x10};
    putVarLen(track, kLead);
    track.insert(track.end(), {0x90, 69, 100});
    putVarLen(track, static_cast<uint32_t>(noteOffFrame - kLead));
    track.insert(track.end(), {0x80, 69, 0});
    putVarLen(track, static_cast<uint32_t>(endFrame - noteOffFrame));
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    std::vector<unsigned char> file = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                                       0,   0,   1,   0x01, 0xB9, 'M', 'T', 'r', 'k'};
    const auto size = static_cast<uint32_t>(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back((size >> shift) & 0xFF);
    file.insert(file.end(), track.begin(), track.end());
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

std::optional<std::vector<float>> readMono(const char* path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr || info.channels != 1) {
        std::fprintf(stderr, "cannot read %s as a mono file\n", path);
        if (file != nullptr) sf_close(file);
        return std::nullopt;
    }
    std::vector<float> samples(static_cast<size_t>(info.frames));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

long firstIndex(const std::vector<double>& v, long from, bool (*pred)(double)) {
    for (long k = from; k < static_cast<long>(v.size()); ++k) {
        if (pred(v[k])) return k;
    }
    return kNotFound;
}

// The recording stores what the speaker got as integers; it cannot hold
// full scale or more, so such samples are not compared.
bool representable(float rendered) {
    return std::fabs(rendered) < 1.0f;
}

bool matches(double recorded, float rendered, double tolerance) {
    return !representable(rendered) || std::fabs(recorded - rendered) <= tolerance;
}

}  // namespace

int main(int argc, char** argv) {
    const char* midiOut = nullptr;
    const char* renderIn = nullptr;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::string_view(argv[i]) == "--write-midi") midiOut = argv[i + 1];
        if (std::string_view(argv[i]) == "--compare") renderIn = argv[i + 1];
    }
    if (argc % 2 != 0 || argc < 2 || (argc > 2 && !midiOut && !renderIn)) {
        std::fprintf(stderr, "usage: %s REC.wav [--write-midi NOTES.mid] [--compare RENDER.wav]\n",
                     argv[0]);
        return 2;
    }
    const std::optional<Recording> rec = readRecording(argv[1]);
    if (!rec) return 1;
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::printf("FAIL: %s\n", what);
            ++failures;
        }
    };
    // One step of the recording's integers (the recorder rounds to nearest).
    const double tolerance = rec->format == SF_FORMAT_PCM_16   ? 1.0 / 32768.0
                             : rec->format == SF_FORMAT_PCM_24 ? 1.0 / 8388608.0
                             : rec->format == SF_FORMAT_PCM_32 ? 1.0 / 2147483648.0
                                                               : 0.0;

    const long onMarker = firstIndex(rec->marker, 0, [](double v) { return v > 0.25; });
    const long offMarker = firstIndex(rec->marker, 0, [](double v) { return v < -0.25; });
    const long firstSound = firstIndex(rec->sound, 0, [](double v) { return v != 0.0; });
    if (onMarker == kNotFound || offMarker == kNotFound || firstSound == kNotFound) {
        std::printf("FAIL: note-on marker %ld, note-off marker %ld, first sound %ld\n", onMarker,
                    offMarker, firstSound);
        return 1;
    }
    check(firstSound > onMarker, "sound before the note-on was sent");

    const long latency = firstSound - onMarker;
    std::printf("latency: %ld frames = %.2f ms (note-on sent to first non-zero sample)\n", latency,
                1000.0 * latency / kSampleRate);

    // The note's first samples are quieter than the recording's smallest step,
    // so the note's first frame is where the engine's note lines up with the
    // first 2,000 frames heard.
    const auto& live = rec->sound;
    const std::vector<float> start = renderOffline(-1, 4096);
    long noteStart = kNotFound;
    for (long candidate = firstSound; candidate >= std::max(0L, firstSound - 64); --candidate) {
        bool all = true;
        for (long k = 0; k < 2000 && all; ++k) {
            const size_t at = static_cast<size_t>(candidate + k);
            all = at < live.size() && matches(live[at], start[k], tolerance);
        }
        if (all) {
            noteStart = candidate;
            break;
        }
    }
    if (noteStart == kNotFound) {
        std::printf("FAIL: the first sound heard is not the engine's note\n");
        return 1;
    }
    std::printf("note's first frame: %ld frames after the note-on was sent\n",
                noteStart - onMarker);
    const long liveLength = static_cast<long>(live.size()) - noteStart;

    // Where the gate closed, seen from the note's start: the first frame at
    // which the held note and the recording part. A sample near a zero
    // crossing can hide the difference, so the exact frame is the candidate
    // before it whose release matches the whole recording.
    const std::vector<float> held = renderOffline(-1, liveLength + 4096);
    long parted = kNotFound;
    for (long k = 0; k < liveLength; ++k) {
        if (!matches(live[noteStart + k], held[k], tolerance)) {
            parted = k;
            break;
        }
    }
    if (parted == kNotFound) {
        std::printf("FAIL: the recording never leaves the held note\n");
        return 1;
    }
    long release = kNotFound;
    long mismatches = 0;
    long beyondFullScale = 0;
    double maxDiff = 0.0;
    for (long candidate = parted; candidate >= std::max(0L, parted - 64); --candidate) {
        const std::vector<float> rendered = renderOffline(candidate, liveLength + 4096);
        long bad = 0;
        long unrepresentable = 0;
        double worst = 0.0;
        for (long k = 0; k < liveLength; ++k) {
            if (!matches(live[noteStart + k], rendered[k], tolerance)) ++bad;
            if (representable(rendered[k])) {
                worst = std::max(worst, std::fabs(live[noteStart + k] - rendered[k]));
            } else {
                ++unrepresentable;
            }
        }
        if (bad == 0) {
            release = candidate;
            maxDiff = worst;
            beyondFullScale = unrepresentable;
            break;
        }
        if (candidate == parted) mismatches = bad;
    }
    if (release == kNotFound) {
        std::printf(
            "FAIL: no note-off frame makes the engine match the recording "
            "(first parting at note frame %ld, %ld frames differ there)\n",
            parted, mismatches);
        return 1;
    }
    std::printf(
        "engine match: %ld frames from the note's start, gate closed at note frame "
        "%ld, largest difference %.3g (tolerance %.3g), %ld samples at full scale or "
        "beyond not compared\n",
        liveLength, release, maxDiff, tolerance, beyondFullScale);
    check(beyondFullScale * 100 < liveLength, "too much of the note beyond full scale to compare");
    std::printf("note-off sent to release start: %ld frames\n", noteStart + release - offMarker);

    // The notes as the offline renderer takes them, and its answer.
    constexpr long kFadeOut = tessivox::kFadeOutLast + 1;
    if (midiOut != nullptr &&
        !writeMidi(midiOut, kLead + kFadeOut + release, kLead + kFadeOut + liveLength)) {
        std::printf("FAIL: cannot write %s\n", midiOut);
        return 1;
    }
    if (renderIn != nullptr) {
        const std::optional<std::vector<float>> rendered = readMono(renderIn);
        if (!rendered || static_cast<long>(rendered->size()) < kLead + kFadeOut + liveLength) {
            std::printf("FAIL: the renderer's output is missing or short\n");
            return 1;
        }
        long bad = 0;
        double worst = 0.0;
        for (long k = 0; k < liveLength; ++k) {
            const float r = (*rendered)[kLead + kFadeOut + k];
            if (!matches(live[noteStart + k], r, tolerance)) ++bad;
            if (representable(r)) worst = std::max(worst, std::fabs(live[noteStart + k] - r));
        }
        std::printf("renderer match: %ld of %ld frames differ, largest difference %.3g\n", bad,
                    liveLength, worst);
        check(bad == 0, "the recording differs from the offline renderer");
    }

    // Fundamental from the zero crossings of the sustained part, 50 ms in
    // from each end.
    const long margin = static_cast<long>(0.05 * kSampleRate);
    const long from = noteStart + margin;
    const long to = noteStart + release - margin;
    check(to - from > static_cast<long>(0.2 * kSampleRate), "held part shorter than 300 ms");
    long firstRise = kNotFound;
    long lastRise = kNotFound;
    long rises = 0;
    for (long k = from + 1; k < to; ++k) {
        if (live[k - 1] < 0.0 && live[k] >= 0.0) {
            if (firstRise == kNotFound) firstRise = k;
            lastRise = k;
            ++rises;
        }
    }
    const double frequency =
        rises > 1 ? (rises - 1) * kSampleRate / static_cast<double>(lastRise - firstRise) : 0.0;
    std::printf("fundamental: %.3f Hz over %ld periods\n", frequency, rises - 1);
    check(std::fabs(frequency - 441.0) <= 1.0, "fundamental not 441 Hz +- 1");

    // Release to silence: the release time is 1.5 s; afterwards only zeros.
    const long silentFrom = noteStart + release + static_cast<long>(1.5 * kSampleRate) + 2;
    check(silentFrom + static_cast<long>(0.1 * kSampleRate) < static_cast<long>(live.size()),
          "recording ends before the release has run out");
    long loud = 0;
    for (long k = silentFrom; k < static_cast<long>(live.size()); ++k) loud += live[k] != 0.0;
    check(loud == 0, "sound after the release ran out");
    check(live[noteStart + release + 100] != 0.0, "silent right after the note-off");
    std::printf("silent from %.3f s after the note-off was sent\n",
                (silentFrom - offMarker) / kSampleRate);
    return failures == 0 ? 0 : 1;
}
