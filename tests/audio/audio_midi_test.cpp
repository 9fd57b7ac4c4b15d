#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_stream.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"
#include "engine/engine.h"
#include "midi/midi_input.h"
#include "midi/midi_rules.h"
#include "realtime_counter.h"

namespace tessivox {
namespace {

bool exists(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0;
}

TEST(StreamCallback, ZeroFramesWriteNothingAndEveryCallContinues) {
    auto s = std::make_unique<EngineState>();
    AudioOutput audio(*s);
    float out[4] = {7.0f, 7.0f, 7.0f, 7.0f};
    EXPECT_EQ(streamCallback(nullptr, out, 0, nullptr, 0, &audio), paContinue);
    EXPECT_EQ(out[0], 7.0f);
    EXPECT_EQ(streamCallback(nullptr, out, 4, nullptr, 0, &audio), paContinue);
    EXPECT_EQ(out[0], 0.0f);  // fade-in factor 0 at start-up
}

TEST(StreamCallback, PlaysTheNoteOfTheStateItIsGiven) {
    auto s = std::make_unique<EngineState>();
    auto twin = std::make_unique<EngineState>();
    AudioOutput audio(*s);
    handleMidiShortMessage(*s, packShortMessage(0x90, 69, 100));
    handleMidiShortMessage(*twin, packShortMessage(0x90, 69, 100));
    std::vector<float> viaCallback(3000), direct(3000);
    for (size_t done = 0; done < viaCallback.size(); done += 300) {
        streamCallback(nullptr, viaCallback.data() + done, 300, nullptr, 0, &audio);
    }
    renderFrames(*twin, direct.data(), direct.size());
    EXPECT_EQ(viaCallback, direct);
    EXPECT_NE(viaCallback[1002], 0.0f);  // the note sounds after its fade-out
}

// The counter behind the no-allocation checks must see what it is meant to.
TEST(RealtimeCounter, CountsAllocationsAndLocksOnlyInsideACallback) {
    const auto before = testing::realtimeViolations();
    std::mutex m;
    {
        auto outside = std::make_unique<int>(1);
        std::lock_guard lock(m);
    }
    EXPECT_EQ(testing::realtimeViolations().allocations, before.allocations);
    EXPECT_EQ(testing::realtimeViolations().locks, before.locks);
    {
        RealtimeScope scope;
        auto inside = std::make_unique<int>(2);
        std::lock_guard lock(m);
    }
    EXPECT_EQ(testing::realtimeViolations().allocations, before.allocations + 1);
    EXPECT_EQ(testing::realtimeViolations().locks, before.locks + 1);
}

dev_t standardErrorDevice() {
    struct stat st {};
    fstat(STDERR_FILENO, &st);
    return st.st_rdev;
}

// The audio worker and the UI thread silence the libraries at overlapping
// times: the silence ends with the last holder, not the first.
TEST(QuietLibraries, SilenceLastsUntilTheLastHolderLeaves) {
    std::streambuf* const loud = std::cerr.rdbuf();
    const dev_t stderrDevice = standardErrorDevice();
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    auto first = std::make_unique<QuietLibraries>();
    auto second = std::make_unique<QuietLibraries>(true);
    EXPECT_EQ(standardErrorDevice(), null.st_rdev);
    first.reset();
    EXPECT_NE(std::cerr.rdbuf(), loud);
    second.reset();
    EXPECT_EQ(std::cerr.rdbuf(), loud);
    EXPECT_EQ(standardErrorDevice(), stderrDevice);
}

// After a server loss no JACK client may be opened while any owner still
// holds one of the lost server's: libjack would free it under its owner.
TEST(JackClients, NoOpeningAfterALossUntilEveryOwnerLetGo) {
    ASSERT_TRUE(jackClients::mayOpen());
    jackClients::held();  // the stream
    jackClients::held();  // a MIDI client
    EXPECT_TRUE(jackClients::mayOpen());
    jackClients::markServerLost();
    EXPECT_TRUE(jackClients::serverLost());
    EXPECT_FALSE(jackClients::mayOpen());
    jackClients::released();
    EXPECT_FALSE(jackClients::mayOpen());
    jackClients::released();
    EXPECT_TRUE(jackClients::mayOpen());
    EXPECT_FALSE(jackClients::serverLost());
}

// After a server that died right after a client came onto it, clients are
// opened only on a server that has run a while (by its socket's age).
TEST(JackClients, AfterAShortLivedServerOnlyASteadyOneIsOpenedOn) {
    const std::string name = "tessivox-young-" + std::to_string(getpid());
    const std::string socket = "/dev/shm/jack_" + name + "_" + std::to_string(getuid()) + "_0";
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    jackClients::held();
    jackClients::markServerLost();
    jackClients::released();
    EXPECT_TRUE(jackClients::mayOpen());  // no server to wait for
    std::ofstream{socket}.put('x');
    EXPECT_FALSE(jackClients::mayOpen());
    const timespec aged[2] = {{time(nullptr) - 2, 0}, {time(nullptr) - 2, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, socket.c_str(), aged, 0), 0);
    EXPECT_TRUE(jackClients::mayOpen());
    std::remove(socket.c_str());
    setenv("JACK_DEFAULT_SERVER", "tessivox-nobody", 1);
}

// Run with no JACK server (the test sets a server name nobody uses).
TEST(NoDevices, MidiPortsAreEmptyAndOpeningFailsQuietly) {
    if (exists("/dev/snd/seq")) GTEST_SKIP() << "this machine has an ALSA sequencer";
    auto s = std::make_unique<EngineState>();
    MidiPorts midi(*s);
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(midi.listMidiPorts(names), 0);
    EXPECT_TRUE(names.empty());
    midi.midiPortIndex = -1;
    EXPECT_EQ(midi.openMidiPort(), kNoMidiInText);
    EXPECT_EQ(midi.midiInHandle(), nullptr);
    // A position past the list, as a stale selection would give.
    handleMidiShortMessage(*s, packShortMessage(0x90, 60, 100));
    EXPECT_EQ(midi.changeMidiPort(3), kNoMidiInText);
    EXPECT_EQ(midi.midiPortIndex, 3);
    // No port was open, so nothing was closed: the held key stays.
    EXPECT_EQ(s->gate.load(), 1);
    EXPECT_EQ(midi.followMidiPort(), "");
    EXPECT_EQ(midi.relistMidiPorts(names, 3), -1);
    EXPECT_TRUE(names.empty());
    midi.closeMidiPort();
    midi.beginMidiShutdown();
    EXPECT_TRUE(midi.finishMidiShutdown({}));
}

TEST(NoDevices, OpeningTheStreamReportsTheLibraryText) {
    if (exists("/dev/snd")) GTEST_SKIP() << "this machine has sound devices";
    auto s = std::make_unique<EngineState>();
    AudioOutput audio(*s);
    std::vector<std::string> reports;
    EXPECT_FALSE(audio.openAudioStream([&](const char* text) { reports.emplace_back(text); }));
    EXPECT_EQ(reports, (std::vector<std::string>{"Invalid device"}));
    EXPECT_EQ(audio.audioError(), paInvalidDevice);
    EXPECT_FALSE(audio.streamOpen());
    // Taking down what was never opened must neither hang nor crash.
    EXPECT_TRUE(audio.shutDownAudio([] {}));
}

}  // namespace
}  // namespace tessivox
