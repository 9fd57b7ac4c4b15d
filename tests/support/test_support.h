#pragma once
// What the tests of every module share: an engine fixture, a sound file
// reader and a way to run a program and collect what it prints.

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "midi/midi_rules.h"

namespace tessivox::test {

// A fresh engine driven as the hosts drive it: MIDI through the note rules,
// frames one at a time as the stream callback renders them. A window's tests
// hold the whole record instead.
template <class State>
class EngineTestOf : public ::testing::Test {
  protected:
    std::unique_ptr<State> state = std::make_unique<State>();
    State& s = *state;

    void send(uint8_t status, uint8_t note, uint8_t velocity) {
        handleMidiShortMessage(s, packShortMessage(status, note, velocity));
    }
    void on(uint8_t note) { send(0x90, note, 100); }
    void off(uint8_t note) { send(0x80, note, 64); }
    float frame() {
        float out;
        renderFrames(s, &out, 1);
        return out;
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) frame();
    }
};
using EngineTest = EngineTestOf<EngineState>;

inline void setShape(EngineState& s, float m, float n1, float n2, float n3, float a, float b) {
    s.m = m;
    s.N1 = n1;
    s.N2 = n2;
    s.N3 = n3;
    s.A = a;
    s.B = b;
}

// Interleaved samples; read below info.frames tells a short read.
template <class Sample>
struct SoundFile {
    SF_INFO info{};
    std::vector<Sample> samples;
    bool opened = false;
    sf_count_t read = 0;
};

template <class Sample = float>
SoundFile<Sample> readSoundFile(const std::string& path) {
    SoundFile<Sample> w;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
    if (!(w.opened = f != nullptr)) return w;
    w.samples.resize(static_cast<size_t>(w.info.frames * w.info.channels));
    if constexpr (sizeof(Sample) == sizeof(float)) {
        w.read = sf_readf_float(f, w.samples.data(), w.info.frames);
    } else {
        w.read = sf_readf_double(f, w.samples.data(), w.info.frames);
    }
    sf_close(f);
    return w;
}

// Standard output to outFile, or to stdoutFd when one is given; standard
// error to errFile, or with standard output when errFile is empty. Returns
// the pid, or -1 with posix_spawn's error in *error.
inline pid_t startProgram(std::vector<std::string> args, const std::string& outFile,
                          const std::string& errFile, int stdoutFd = -1, int* error = nullptr) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t to;
    posix_spawn_file_actions_init(&to);
    const int mode = O_WRONLY | O_CREAT | O_TRUNC;
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&to, stdoutFd, 1);
    if (stdoutFd < 0) posix_spawn_file_actions_addopen(&to, 1, outFile.c_str(), mode, 0644);
    if (errFile.empty()) posix_spawn_file_actions_adddup2(&to, 1, 2);
    if (!errFile.empty()) posix_spawn_file_actions_addopen(&to, 2, errFile.c_str(), mode, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &to, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&to);
    if (error != nullptr) *error = spawned;
    return spawned == 0 ? pid : -1;
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct ProgramRun {
    int status = -1;  // exit status, or -1 when killed by a signal
    std::string out;  // with standard error when that has no file of its own
    std::string err;
};

// What a run that startProgram began and whose wait gave status left behind.
inline ProgramRun outcome(pid_t pid, int status, const std::string& outFile,
                          const std::string& errFile = "") {
    if (pid < 0) return {};
    const int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {exit, slurp(outFile), errFile.empty() ? "" : slurp(errFile)};
}

inline ProgramRun runProgram(std::vector<std::string> args) {
    char log[] = "/tmp/tessivox-test-run.XXXXXX";
    const int fd = mkstemp(log);
    if (fd < 0) return {};
    close(fd);
    int status = 0;
    const pid_t pid = startProgram(std::move(args), log, "");
    if (pid > 0) waitpid(pid, &status, 0);
    ProgramRun r = outcome(pid, status, log);
    std::remove(log);
    return r;
}

}  // namespace tessivox::test
