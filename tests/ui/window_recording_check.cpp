// Checks recordings of the running program for the end-to-end tests.
//
//   window_recording_check tone FILE HZ TOLERANCE
//     The middle of FILE sounds (RMS above 0.01) at HZ within TOLERANCE,
//     counted by upward zero crossings. Prints the frequency.
//   window_recording_check differ BEFORE AFTER
//     The timbre changed: the harmonic spectra (amplitude-normalised) of
//     the two recordings are further apart than the two halves of BEFORE.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

std::vector<double> readMono(const char* path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(2);
    }
    std::vector<float> frames(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    std::vector<double> out(static_cast<size_t>(info.frames));
    for (size_t k = 0; k < out.size(); ++k) out[k] = frames[k * info.channels];
    return out;
}

// The part without the first and last 50 ms.
std::vector<double> middle(const std::vector<double>& x) {
    const size_t skip = static_cast<size_t>(0.05 * kRate);
    if (x.size() <= 2 * skip) return {};
    return {x.begin() + skip, x.end() - skip};
}

double rms(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) sum += v * v;
    return x.empty() ? 0.0 : std::sqrt(sum / x.size());
}

double frequency(const std::vector<double>& x) {
    long first = -1, last = -1, count = 0;
    for (size_t k = 1; k < x.size(); ++k) {
        if (x[k - 1] < 0 && x[k] >= 0) {
            if (first < 0) first = k;
            last = k;
            ++count;
        }
    }
    if (count < 2) return 0.0;
    return (count - 1) * kRate / (last - first);
}

// Magnitudes of the first harmonics of f0 (Hann window), scaled to unit length.
std::vector<double> harmonics(const std::vector<double>& x, double f0) {
    std::vector<double> h;
    double norm = 0;
    for (int k = 1; k <= 24; ++k) {
        double re = 0, im = 0;
        for (size_t n = 0; n < x.size(); ++n) {
            const double w = 0.5 - 0.5 * std::cos(2 * M_PI * n / (x.size() - 1));
            const double a = 2 * M_PI * k * f0 * n / kRate;
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "tone") == 0) {
        const auto x = middle(readMono(argv[2]));
        const double f = frequency(x), level = rms(x);
        std::printf("frequency %.3f Hz, rms %.4f\n", f, level);
        if (level < 0.01) {
            std::fprintf(stderr, "silent\n");
            return 1;
        }
        return std::fabs(f - std::atof(argv[3])) <= std::atof(argv[4]) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "differ") == 0) {
        const auto before = middle(readMono(argv[2]));
        const auto after = middle(readMono(argv[3]));
        if (rms(before) < 0.01 || rms(after) < 0.01) {
            std::fprintf(stderr, "silent\n");
            return 1;
        }
        const double f0 = frequency(before);
        const size_t half = before.size() / 2;
        const std::vector<double> first(before.begin(), before.begin() + half);
        const std::vector<double> second(before.begin() + half, before.end());
        const double same = distance(harmonics(first, f0), harmonics(second, f0));
        const double changed = distance(harmonics(before, f0), harmonics(after, f0));
        std::printf("spectral distance: halves of before %.4f, before to after %.4f\n", same,
                    changed);
        return same < 0.05 && changed > 0.2 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: %s tone FILE HZ TOLERANCE | differ BEFORE AFTER\n", argv[0]);
    return 2;
}
