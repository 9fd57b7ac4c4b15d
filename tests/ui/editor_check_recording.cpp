// Checks a recording of one held note against the engine's own rendering of
// the same note with the same axis assignment: sample for sample from the
// note's start up to the pad drag, and again in the sustain after the drag
// with the third point at its new place.
//
// usage: editor_check_recording WAV NOTE M_FROM M_TO A_FROM A_TO
//            P3_X P3_Y NEW_P3_X NEW_P3_Y PRE_END POST_START POST_END
// (times in seconds after the note's first sound)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <sndfile.h>

#include "engine/engine.h"
#include "midi/midi_rules.h"

namespace {

using namespace tessivox;

constexpr double kRate = 44100.0;
constexpr int kLeadIn = 4096;      // silent frames before the note-on
constexpr float kSilence = 1e-4f;  // about three steps of 16-bit audio
constexpr float kTolerance = 1e-4f;
constexpr float kClipSkip = 0.999f;  // 16-bit files cannot hold these

struct Setup {
    int note;
    float mFrom, mTo, aFrom, aTo;
    double p3x, p3y;
    bool trajectory;
};

std::vector<float> render(const Setup& setup, size_t frames) {
    auto state = std::make_unique<SynthState>();
    SynthState& s = *state;
    // The sliders the assignment was made with: m and A at their maximum.
    s.m = 25.0f;
    s.A = 5.0f;
    s.trajectoryX[2] = setup.p3x;
    s.trajectoryY[2] = setup.p3y;
    if (setup.trajectory) {
        enableTrajectory(s, ParamId::M, ParamId::A, setup.mFrom, setup.mTo, setup.aFrom, setup.aTo);
    }
    std::vector<float> out(frames + kLeadIn);
    renderFrames(s, out.data(), kLeadIn);
    handleMidiShortMessage(s, packShortMessage(0x90, static_cast<uint8_t>(setup.note), 100));
    renderFrames(s, out.data() + kLeadIn, frames);
    return out;
}

long firstSound(const std::vector<float>& x, long from = 0) {
    for (long i = from; i < static_cast<long>(x.size()); ++i) {
        if (std::fabs(x[i]) > kSilence) return i;
    }
    return -1;
}

struct Match {
    float maxError = 0.0f;
    double rms = 0.0;  // of the difference
    long compared = 0;
    long skipped = 0;
};

// Recording from recStart against reference from refStart, count frames.
Match compare(const std::vector<float>& rec, long recStart, const std::vector<float>& ref,
              long refStart, long count) {
    Match m;
    double sum = 0.0;
    for (long i = 0; i < count; ++i) {
        const long r = recStart + i, e = refStart + i;
        if (r < 0 || e < 0 || r >= static_cast<long>(rec.size()) ||
            e >= static_cast<long>(ref.size())) {
            break;
        }
        if (std::fabs(ref[e]) > kClipSkip) {
            ++m.skipped;
            continue;
        }
        const float d = std::fabs(rec[r] - ref[e]);
        m.maxError = std::max(m.maxError, d);
        sum += static_cast<double>(d) * d;
        ++m.compared;
    }
    m.rms = m.compared > 0 ? std::sqrt(sum / m.compared) : 0.0;
    return m;
}

bool readMono(const char* path, std::vector<float>& out) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot read %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    std::vector<float> frames(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    out.resize(static_cast<size_t>(info.frames));
    for (sf_count_t i = 0; i < info.frames; ++i) out[i] = frames[i * info.channels];
    if (info.samplerate != 44100) {
        std::fprintf(stderr, "%s: %d frames/s, expected 44100\n", path, info.samplerate);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 14) {
        std::fprintf(stderr,
                     "usage: %s WAV NOTE M_FROM M_TO A_FROM A_TO P3_X P3_Y NEW_P3_X "
                     "NEW_P3_Y PRE_END POST_START POST_END\n",
                     argv[0]);
        return 2;
    }
    std::vector<float> rec;
    if (!readMono(argv[1], rec)) return 1;
    auto num = [&](int i) { return std::atof(argv[i]); };
    Setup before{std::atoi(argv[2]),
                 static_cast<float>(num(3)),
                 static_cast<float>(num(4)),
                 static_cast<float>(num(5)),
                 static_cast<float>(num(6)),
                 num(7),
                 num(8),
                 true};
    Setup after = before;
    after.p3x = num(9);
    after.p3y = num(10);
    Setup plain = before;
    plain.trajectory = false;
    const long preEnd = std::lround(num(11) * kRate);
    const long postStart = std::lround(num(12) * kRate);
    const long postEnd = std::lround(num(13) * kRate);

    const size_t length = static_cast<size_t>(postEnd + kRate);
    const std::vector<float> refBefore = render(before, length);
    const std::vector<float> refAfter = render(after, length);
    const std::vector<float> refPlain = render(plain, length);

    const long recOnset = firstSound(rec);
    const long refOnset = firstSound(refBefore);
    if (recOnset < 0) {
        std::fprintf(stderr, "FAIL: the recording is silent\n");
        return 1;
    }
    // The first sounding sample can sit under the threshold in one of the
    // two; take the offset that matches the note's first 0.1 s best.
    long best = 0;
    double bestRms = 1e9;
    for (long lag = -20; lag <= 20; ++lag) {
        const Match m = compare(rec, recOnset + lag, refBefore, refOnset, 4410);
        if (m.compared > 0 && m.rms < bestRms) {
            bestRms = m.rms;
            best = lag;
        }
    }
    const long r0 = recOnset + best;  // the recording's frame of refOnset
    std::printf("note starts at recording frame %ld (%.3f s)\n", r0, r0 / kRate);

    const Match pre = compare(rec, r0, refBefore, refOnset, preEnd);
    const Match prePlain = compare(rec, r0, refPlain, refOnset, preEnd);
    const Match post =
        compare(rec, r0 + postStart, refAfter, refOnset + postStart, postEnd - postStart);
    const Match postOld =
        compare(rec, r0 + postStart, refBefore, refOnset + postStart, postEnd - postStart);
    std::printf(
        "before the drag (0..%.2f s): max error %.6f, rms %.6f over %ld frames "
        "(%ld clipped frames skipped); without the trajectory rms %.4f\n",
        num(11), pre.maxError, pre.rms, pre.compared, pre.skipped, prePlain.rms);
    std::printf(
        "after the drag (%.2f..%.2f s): max error %.6f, rms %.6f over %ld frames; "
        "against the old third point rms %.4f\n",
        num(12), num(13), post.maxError, post.rms, post.compared, postOld.rms);

    bool ok = true;
    auto check = [&](bool good, const char* what) {
        if (!good) {
            std::fprintf(stderr, "FAIL: %s\n", what);
            ok = false;
        }
    };
    check(pre.compared > preEnd * 9 / 10, "too little of the note before the drag compared");
    check(pre.maxError <= kTolerance, "the note before the drag differs from the engine's");
    check(prePlain.rms > 100 * kTolerance, "the trajectory made no difference");
    check(post.compared > (postEnd - postStart) * 9 / 10, "too little after the drag compared");
    check(post.maxError <= kTolerance,
          "the sustain after the drag differs from the engine's with the new third point");
    check(postOld.rms > 100 * kTolerance, "the drag did not change the sustained sound");
    return ok ? 0 : 1;
}
