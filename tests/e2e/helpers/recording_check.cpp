// Checks the recordings the end-to-end tests make of the running programs.
//
//   recording_check note REC.wav [--write-midi NOTES.mid] [--compare RENDER.wav]
//     Channel 1 is the sender's marker (+0.5 at the frame note-on 69 was
//     sent, -0.5 at the note-off), channel 2 what reached the speaker. Silent
//     before the note, the engine's note driven offline sample for sample
//     within the recording's quantisation, 441 Hz, released to silence.
//     --write-midi writes the same notes as a MIDI file in which one tick is
//     one frame; --compare checks the recording against the offline
//     renderer's output of that file.
//   recording_check tone FILE HZ TOLERANCE
//     The middle of FILE sounds (RMS above 0.01) at HZ within TOLERANCE.
//   recording_check silent FILE
//     No sample of the middle of FILE is more than one 16-bit step off 0.
//   recording_check differ BEFORE AFTER
//     The timbre changed: the harmonic spectra (amplitude-normalised) of the
//     two are further apart than the two halves of BEFORE.
//   recording_check path FILE NOTE M_FROM M_TO A_FROM A_TO P3_X P3_Y NEW_P3_X NEW_P3_Y
//                        PRE_END POST_START POST_END
//     One held note with m and A on the pad's axes against the engine's own
//     rendering: sample for sample up to the pad drag, and in the sustain
//     after it with the third point at its new place (times in seconds after
//     the note's first sound).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "midi_bytes.h"
#include "test_support.h"

namespace {

using namespace tessivox;

constexpr long kNotFound = -1;
constexpr long kLead = 4096;  // idle frames before every note-on

// The recording's rate, which the engine is run at too: the first file read sets it.
double gRate = 0.0;

// Frames from a note-on to the note's first frame, and 50 ms, at that rate.
long fadeOut() {
    EngineState e;
    setSampleRate(e, gRate);
    return onsetDelayFrames(e);
}
long margin() {
    return std::lround(0.05 * gRate);
}

int failures = 0;
void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

struct Wav {
    std::vector<std::vector<double>> channels;
    int format = 0;
};

// Doubles hold every 32-bit integer sample exactly; floats would not.
Wav readWav(const char* path, int channels = 0) {
    const auto file = test::readSoundFile<double>(path);
    const SF_INFO& info = file.info;
    if (gRate == 0.0 && file.opened) gRate = info.samplerate;
    if (!file.opened || (channels != 0 && info.channels != channels) || info.samplerate != gRate ||
        !(gRate >= kMinSampleRate && gRate <= kMaxSampleRate)) {
        std::printf("FAIL: cannot read %s (%d channels wanted, 0 = any) at %.0f frames/s\n", path,
                    channels, gRate);
        std::exit(1);
    }
    const std::vector<double>& frames = file.samples;
    Wav w;
    w.format = info.format & SF_FORMAT_SUBMASK;
    w.channels.resize(info.channels);
    for (sf_count_t k = 0; k < info.frames; ++k) {
        for (int c = 0; c < info.channels; ++c)
            w.channels[c].push_back(frames[k * info.channels + c]);
    }
    return w;
}

template <class Samples, class Pred>
long firstWhere(const Samples& x, Pred pred) {
    for (long k = 0; k < static_cast<long>(x.size()); ++k) {
        if (pred(x[k])) return k;
    }
    return kNotFound;
}

// The engine alone: kLead idle frames, `setUp` on the state, note-on;
// note-off `hold` frames after the note's first frame (none when hold < 0).
// Returns `frames` frames from the note's first frame on, which follows the
// fade-out before every note.
std::vector<float> renderNote(long frames, long hold = -1, int note = 69,
                              const std::function<void(EngineState&)>& setUp = {}) {
    auto s = std::make_unique<EngineState>();
    setSampleRate(*s, gRate);
    if (setUp) setUp(*s);
    const long fade = fadeOut();
    std::vector<float> out(static_cast<size_t>(kLead + fade + frames), 0.0f);
    long done = 0;
    auto render = [&](long upTo) {
        renderFrames(*s, out.data() + done, static_cast<unsigned long>(upTo - done));
        done = upTo;
    };
    render(kLead);
    handleMidiShortMessage(*s, packShortMessage(0x90, static_cast<uint8_t>(note), 100));
    if (hold >= 0) {
        render(kLead + fade + hold);
        handleMidiShortMessage(*s, packShortMessage(0x80, static_cast<uint8_t>(note), 0));
    }
    render(static_cast<long>(out.size()));
    return std::vector<float>(out.begin() + kLead + fade, out.end());
}

struct Match {
    long bad = 0;  // differences beyond the tolerance
    long compared = 0;
    long skipped = 0;
    double maxError = 0.0;
    double rms = 0.0;  // of the difference
};

// rec from recStart against ref from refStart, count frames or up to the end
// of either. Reference samples larger than `skipAbove` are not compared: the
// recording's integers cannot hold them.
Match compare(const std::vector<double>& rec, long recStart, const std::vector<float>& ref,
              long refStart, long count, double tolerance, float skipAbove) {
    Match m;
    double sum = 0.0;
    for (long i = 0; i < count; ++i) {
        const long r = recStart + i, e = refStart + i;
        if (r < 0 || e < 0 || r >= static_cast<long>(rec.size()) ||
            e >= static_cast<long>(ref.size())) {
            break;
        }
        if (std::fabs(ref[e]) > skipAbove) {
            ++m.skipped;
            continue;
        }
        const double d = std::fabs(rec[r] - ref[e]);
        m.bad += d > tolerance;
        m.maxError = std::max(m.maxError, d);
        sum += d * d;
        ++m.compared;
    }
    m.rms = m.compared > 0 ? std::sqrt(sum / m.compared) : 0.0;
    return m;
}

struct Tone {
    double hz = 0.0;
    long periods = 0;
};

// From the upward zero crossings of x[from, to).
Tone measureTone(const std::vector<double>& x, long from, long to) {
    long firstRise = kNotFound, lastRise = kNotFound, rises = 0;
    for (long k = from + 1; k < to; ++k) {
        if (x[k - 1] < 0.0 && x[k] >= 0.0) {
            if (firstRise == kNotFound) firstRise = k;
            lastRise = k;
            ++rises;
        }
    }
    if (rises < 2) return {};
    return {(rises - 1) * gRate / static_cast<double>(lastRise - firstRise), rises - 1};
}

// Channel 1 without its first and last 50 ms.
std::vector<double> middle(const char* path) {
    const std::vector<double> x = readWav(path).channels[0];
    if (static_cast<long>(x.size()) <= 2 * margin()) return {};
    return {x.begin() + margin(), x.end() - margin()};
}

double rms(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) sum += v * v;
    return x.empty() ? 0.0 : std::sqrt(sum / x.size());
}

// --- note ---------------------------------------------------------------

// One tick is one frame: the rate's hundredth of ticks a quarter at 10,000 us
// a quarter (441 at 44,100 frames/s), or the whole rate at a second a quarter.
bool writeMidi(const char* path, long noteOffFrame, long endFrame) {
    using namespace tessivox::test;
    const auto delta = [](long frames) { return static_cast<uint32_t>(frames); };
    const auto rate = static_cast<uint16_t>(static_cast<long>(gRate) % 100 ? gRate : gRate / 100);
    return spit(path, cat({header(0, 1, rate), track({{0, tempo(rate < gRate ? 10000 : 1000000)},
                                                      {delta(kLead), noteOn(69)},
                                                      {delta(noteOffFrame - kLead), noteOff(69)}},
                                                     delta(endFrame - noteOffFrame))}));
}

int checkNote(const char* path, const char* midiOut, const char* renderIn) {
    const Wav rec = readWav(path, 2);
    const std::vector<double>& marker = rec.channels[0];
    const std::vector<double>& live = rec.channels[1];
    // One step of the recording's integers (the recorder rounds to nearest).
    const double tolerance = rec.format == SF_FORMAT_PCM_16   ? 1.0 / 32768.0
                             : rec.format == SF_FORMAT_PCM_24 ? 1.0 / 8388608.0
                             : rec.format == SF_FORMAT_PCM_32 ? 1.0 / 2147483648.0
                                                              : 0.0;
    // Full scale and beyond cannot be recorded.
    const float below1 = std::nextafter(1.0f, 0.0f);
    auto against = [&](long from, const std::vector<float>& ref, long count) {
        return compare(live, from, ref, 0, count, tolerance, below1);
    };

    const long onMarker = firstWhere(marker, [](double v) { return v > 0.25; });
    const long offMarker = firstWhere(marker, [](double v) { return v < -0.25; });
    const long firstSound = firstWhere(live, [](double v) { return v != 0.0; });
    if (onMarker == kNotFound || offMarker == kNotFound || firstSound == kNotFound) {
        std::printf("FAIL: note-on marker %ld, note-off marker %ld, first sound %ld\n", onMarker,
                    offMarker, firstSound);
        return 1;
    }
    check(firstSound > onMarker, "sound before the note-on was sent");
    const long latency = firstSound - onMarker;
    std::printf("latency: %ld frames = %.2f ms (note-on sent to first non-zero sample)\n", latency,
                1000.0 * latency / gRate);

    // The note's first samples are quieter than the recording's smallest step,
    // so the note's first frame is where the engine's note lines up with the
    // first 2,000 frames heard.
    const long fade = fadeOut();
    const std::vector<float> start = renderNote(2000);
    long noteStart = kNotFound;
    for (long candidate = firstSound; candidate >= std::max(0L, firstSound - 64); --candidate) {
        const Match m = against(candidate, start, 2000);
        if (m.bad == 0 && m.compared + m.skipped == 2000) {
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
    const std::vector<float> held = renderNote(liveLength);
    long parted = kNotFound;
    for (long k = 0; k < liveLength && parted == kNotFound; ++k) {
        if (std::fabs(held[k]) <= below1 && std::fabs(live[noteStart + k] - held[k]) > tolerance)
            parted = k;
    }
    if (parted == kNotFound) {
        std::printf("FAIL: the recording never leaves the held note\n");
        return 1;
    }
    long release = kNotFound;
    long mismatches = 0;
    Match match;
    for (long candidate = parted; candidate >= std::max(0L, parted - 64); --candidate) {
        match = against(noteStart, renderNote(liveLength, candidate), liveLength);
        if (match.bad == 0) {
            release = candidate;
            break;
        }
        if (candidate == parted) mismatches = match.bad;
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
        liveLength, release, match.maxError, tolerance, match.skipped);
    check(match.skipped * 100 < liveLength, "too much of the note beyond full scale to compare");
    std::printf("note-off sent to release start: %ld frames\n", noteStart + release - offMarker);

    // The notes as the offline renderer takes them, and its answer.
    if (midiOut != nullptr &&
        !writeMidi(midiOut, kLead + fade + release, kLead + fade + liveLength)) {
        std::printf("FAIL: cannot write %s\n", midiOut);
        return 1;
    }
    if (renderIn != nullptr) {
        const std::vector<double> out = readWav(renderIn, 1).channels[0];
        if (static_cast<long>(out.size()) < kLead + fade + liveLength) {
            std::printf("FAIL: the renderer's output is short\n");
            return 1;
        }
        const std::vector<float> rendered(out.begin() + kLead + fade, out.end());
        const Match m = against(noteStart, rendered, liveLength);
        std::printf("renderer match: %ld of %ld frames differ, largest difference %.3g\n", m.bad,
                    liveLength, m.maxError);
        check(m.bad == 0, "the recording differs from the offline renderer");
    }

    // The sustained part, 50 ms in from each end.
    const long from = noteStart + margin();
    const long to = noteStart + release - margin();
    check(to - from > static_cast<long>(0.2 * gRate), "held part shorter than 300 ms");
    const Tone tone = measureTone(live, from, to);
    std::printf("fundamental: %.3f Hz over %ld periods\n", tone.hz, tone.periods);
    // Note 69 in whole-sample periods: 441 Hz at 44,100 frames/s.
    check(std::fabs(tone.hz - gRate / roundToInt32(gRate / 440.0)) <= 1.0, "not note 69 +- 1 Hz");

    // Release to silence: the release time is 1.5 s; afterwards only zeros.
    const long silentFrom = noteStart + release + static_cast<long>(1.5 * gRate) + 2;
    check(silentFrom + static_cast<long>(0.1 * gRate) < static_cast<long>(live.size()),
          "recording ends before the release has run out");
    long loud = 0;
    for (long k = silentFrom; k < static_cast<long>(live.size()); ++k) loud += live[k] != 0.0;
    check(loud == 0, "sound after the release ran out");
    check(live[noteStart + release + 100] != 0.0, "silent right after the note-off");
    std::printf("silent from %.3f s after the note-off was sent\n",
                (silentFrom - offMarker) / gRate);
    return failures == 0 ? 0 : 1;
}

// --- tone and differ --------------------------------------------------------

int checkTone(const char* path, double hz, double tolerance) {
    const std::vector<double> x = middle(path);
    const double f = measureTone(x, 0, static_cast<long>(x.size())).hz, level = rms(x);
    std::printf("frequency %.3f Hz, rms %.4f\n", f, level);
    check(level >= 0.01, "silent");
    check(std::fabs(f - hz) <= tolerance, "wrong frequency");
    return failures == 0 ? 0 : 1;
}

int checkSilent(const char* path) {
    double peak = 0;
    for (double v : middle(path)) peak = std::max(peak, std::fabs(v));
    std::printf("peak %.6f\n", peak);
    check(peak <= 1.0 / 32768, "not silent");
    return failures == 0 ? 0 : 1;
}

// Magnitudes of the first harmonics of f0 (Hann window), scaled to unit length.
std::vector<double> harmonics(const std::vector<double>& x, double f0) {
    std::vector<double> h;
    double norm = 0;
    for (int k = 1; k <= 24; ++k) {
        double re = 0, im = 0;
        for (size_t n = 0; n < x.size(); ++n) {
            const double w = 0.5 - 0.5 * std::cos(2 * M_PI * n / (x.size() - 1));
            const double a = 2 * M_PI * k * f0 * n / gRate;
            re += w * x[n] * std::cos(a);
            im -= w * x[n] * std::sin(a);
        }
        h.push_back(std::hypot(re, im));
        norm += h.back() * h.back();
    }
    for (double& v : h) v /= std::sqrt(norm);
    return h;
}

double distance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (size_t k = 0; k < a.size(); ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
    return std::sqrt(sum);
}

int checkDiffer(const char* beforePath, const char* afterPath) {
    const std::vector<double> before = middle(beforePath), after = middle(afterPath);
    if (rms(before) < 0.01 || rms(after) < 0.01) {
        std::printf("FAIL: silent\n");
        return 1;
    }
    const double f0 = measureTone(before, 0, static_cast<long>(before.size())).hz;
    const size_t half = before.size() / 2;
    const std::vector<double> first(before.begin(), before.begin() + half);
    const std::vector<double> second(before.begin() + half, before.end());
    const double same = distance(harmonics(first, f0), harmonics(second, f0));
    const double changed = distance(harmonics(before, f0), harmonics(after, f0));
    std::printf("spectral distance: halves of before %.4f, before to after %.4f\n", same, changed);
    check(same < 0.05, "the held note itself changed");
    check(changed > 0.2, "the timbre did not change");
    return failures == 0 ? 0 : 1;
}

// --- path -------------------------------------------------------------------

int checkPath(char** arg) {
    constexpr double kTolerance = 1e-4f;  // about three steps of 16-bit audio
    constexpr float kClipSkip = 0.999f;   // 16-bit files cannot hold these
    const std::vector<double> rec = readWav(arg[0]).channels[0];
    auto num = [&](int i) { return std::atof(arg[i]); };
    const int note = std::atoi(arg[1]);
    const float mFrom = num(2), mTo = num(3), aFrom = num(4), aTo = num(5);
    // The sliders the assignment was made with stand at m's and A's maximum.
    auto setUp = [&](double p3x, double p3y, bool trajectory) {
        return [=](EngineState& s) {
            s.m = 25.0f;
            s.A = 5.0f;
            s.trajectoryX[2] = p3x;
            s.trajectoryY[2] = p3y;
            if (trajectory) enableTrajectory(s, ParamId::M, ParamId::A, mFrom, mTo, aFrom, aTo);
        };
    };
    const long preEnd = std::lround(num(10) * gRate);
    const long postStart = std::lround(num(11) * gRate);
    const long postEnd = std::lround(num(12) * gRate);
    const long length = postEnd + std::lround(gRate);
    const std::vector<float> refBefore = renderNote(length, -1, note, setUp(num(6), num(7), true));
    const std::vector<float> refAfter = renderNote(length, -1, note, setUp(num(8), num(9), true));
    const std::vector<float> refPlain = renderNote(length, -1, note, setUp(num(6), num(7), false));
    auto against = [&](long recStart, const std::vector<float>& ref, long refStart, long count) {
        return compare(rec, recStart, ref, refStart, count, kTolerance, kClipSkip);
    };

    const long recOnset = firstWhere(rec, [](double v) { return std::fabs(v) > kTolerance; });
    const long refOnset = firstWhere(refBefore, [](float v) { return std::fabs(v) > kTolerance; });
    if (recOnset == kNotFound) {
        std::printf("FAIL: the recording is silent\n");
        return 1;
    }
    // The first sounding sample can sit under the threshold in one of the
    // two; take the offset that matches the note's first 0.1 s best.
    long best = 0;
    double bestRms = 1e9;
    for (long lag = -20; lag <= 20; ++lag) {
        const Match m = against(recOnset + lag, refBefore, refOnset, 4410);
        if (m.compared > 0 && m.rms < bestRms) {
            bestRms = m.rms;
            best = lag;
        }
    }
    const long r0 = recOnset + best;  // the recording's frame of refOnset
    std::printf("note starts at recording frame %ld (%.3f s)\n", r0, r0 / gRate);

    const Match pre = against(r0, refBefore, refOnset, preEnd);
    const Match prePlain = against(r0, refPlain, refOnset, preEnd);
    const Match post = against(r0 + postStart, refAfter, refOnset + postStart, postEnd - postStart);
    const Match postOld =
        against(r0 + postStart, refBefore, refOnset + postStart, postEnd - postStart);
    std::printf(
        "before the drag (0..%.2f s): max error %.6f, rms %.6f over %ld frames "
        "(%ld clipped frames skipped); without the trajectory rms %.4f\n",
        num(10), pre.maxError, pre.rms, pre.compared, pre.skipped, prePlain.rms);
    std::printf(
        "after the drag (%.2f..%.2f s): max error %.6f, rms %.6f over %ld frames; "
        "against the old third point rms %.4f\n",
        num(11), num(12), post.maxError, post.rms, post.compared, postOld.rms);

    check(pre.compared > preEnd * 9 / 10, "too little of the note before the drag compared");
    check(pre.bad == 0, "the note before the drag differs from the engine's");
    check(prePlain.rms > 100 * kTolerance, "the trajectory made no difference");
    check(post.compared > (postEnd - postStart) * 9 / 10, "too little after the drag compared");
    check(post.bad == 0,
          "the sustain after the drag differs from the engine's with the new third point");
    check(postOld.rms > 100 * kTolerance, "the drag did not change the sustained sound");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 2 ? argv[1] : "";
    if (mode == "note" && argc % 2 == 1) {
        const char* midiOut = nullptr;
        const char* renderIn = nullptr;
        for (int i = 3; i + 1 < argc; i += 2) {
            if (std::string_view(argv[i]) == "--write-midi") midiOut = argv[i + 1];
            if (std::string_view(argv[i]) == "--compare") renderIn = argv[i + 1];
        }
        if (argc == 3 || midiOut != nullptr || renderIn != nullptr) {
            return checkNote(argv[2], midiOut, renderIn);
        }
    }
    if (mode == "tone" && argc == 5)
        return checkTone(argv[2], std::atof(argv[3]), std::atof(argv[4]));
    if (mode == "silent" && argc == 3) return checkSilent(argv[2]);
    if (mode == "differ" && argc == 4) return checkDiffer(argv[2], argv[3]);
    if (mode == "path" && argc == 15) return checkPath(argv + 2);
    std::fprintf(
        stderr,
        "usage: %s note REC [--write-midi MID] [--compare RENDER] | tone FILE HZ TOL | "
        "silent FILE | differ BEFORE AFTER | path FILE NOTE M_FROM M_TO A_FROM A_TO P3_X P3_Y "
        "NEW_P3_X NEW_P3_Y PRE_END POST_START POST_END\n",
        argv[0]);
    return 2;
}
