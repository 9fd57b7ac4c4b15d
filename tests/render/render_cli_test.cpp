// Runs the real tessivox-render binary.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "midi_bytes.h"
#include "test_support.h"

namespace tessivox {
namespace {

namespace fs = std::filesystem;
using namespace test;

using Wav = SoundFile<float>;

Wav readWav(const fs::path& path) {
    Wav wav = readSoundFile(path);
    EXPECT_TRUE(wav.opened) << path << ": " << sf_strerror(nullptr);
    if (wav.opened) {
        EXPECT_EQ(wav.read, wav.info.frames);
    }
    return wav;
}

class Render : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "tessivox-render-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir = templ;
        logs = dir / "logs";
        work = dir / "work";
        fs::create_directory(logs);
        fs::create_directory(work);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Standard output goes to logs/out, or to stdoutFd when one is given.
    pid_t start(std::vector<std::string> args, int stdoutFd = -1) {
        args.insert(args.begin(), TESSIVOX_RENDER_BIN);
        int spawned = 0;
        const pid_t pid = startProgram(args, logs / "out", logs / "err", stdoutFd, &spawned);
        EXPECT_EQ(spawned, 0) << std::strerror(spawned);
        return pid;
    }

    ProgramRun finish(pid_t pid) {
        int status = 0;
        if (pid > 0) waitpid(pid, &status, 0);
        return outcome(pid, status);
    }

    // Reads fd to the end while the run lasts. A FIFO has no writer until the
    // renderer opens it, so an end of file seen before the run ends is no end.
    ProgramRun finishReading(pid_t pid, int fd, std::string& got) {
        fcntl(fd, F_SETFL, O_NONBLOCK);
        int status = 0;
        bool exited = pid < 0;
        for (int idle = 0; idle < 60000;) {
            char buffer[65536];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<size_t>(n));
            } else if (exited) {
                break;
            } else if (!(exited = waitpid(pid, &status, WNOHANG) == pid)) {
                usleep(1000);
                ++idle;
            }
        }
        if (!exited) kill(pid, SIGKILL);
        close(fd);
        return exited ? outcome(pid, status) : finish(pid);
    }

    ProgramRun outcome(pid_t pid, int status) {
        return test::outcome(pid, status, logs / "out", logs / "err");
    }

    ProgramRun run(std::vector<std::string> args) { return finish(start(std::move(args))); }

    std::string input(const Bytes& midi, const std::string& name = "in.mid") {
        spit(work / name, midi);
        return (work / name).string();
    }
    std::string output(const std::string& name = "out.wav") { return (work / name).string(); }

    std::vector<std::string> workFiles(const std::string& sub = "") {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(work / sub)) {
            names.push_back(e.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Exit 2, one line naming the problem, and nothing left in the work
    // directory but the input.
    void expectRefused(const ProgramRun& r, const std::string& problem,
                       const std::vector<std::string>& keep = {"in.mid"}) {
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("tessivox-render: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
        EXPECT_EQ(workFiles(), keep);
    }

    fs::path dir, logs, work;
};

const std::string kDemo = std::string(TESSIVOX_DATA_DIR) + "/demo.mid";

// One frame per tick: the test's frame numbers are ticks.
Bytes oneTrack(std::initializer_list<Ev> events, uint32_t endDelta = 0) {
    return cat({header(0, 1, 22050), track(events, endDelta)});
}

// --- output ----------------------------------------------------------------------

TEST_F(Render, BlockSizeNeverChangesTheOutput) {
    // The long release outlasts the file, so the tail after it is covered too.
    const std::vector<std::string> shape = {"--x-axis", "m:2:12", "--y-axis",  "N1:1:8",
                                            "--attack", "900",    "--release", "3000"};
    std::string reference;
    for (const char* block : {"1", "64", "512", "4096"}) {
        std::vector<std::string> args = {kDemo, output(), "--block", block};
        args.insert(args.end(), shape.begin(), shape.end());
        const ProgramRun r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string bytes = slurp(output());
        if (reference.empty()) {
            reference = bytes;
            EXPECT_GT(reference.size(), 44100u * 4 * 5);
        } else {
            EXPECT_TRUE(bytes == reference) << "--block " << block;
        }
    }
}

TEST_F(Render, WavIsMonoFloat44100) {
    ASSERT_EQ(run({kDemo, output()}).status, 0);
    const Wav wav = readWav(output());
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_EQ(wav.info.samplerate, 44100);
    EXPECT_GT(*std::max_element(wav.samples.begin(), wav.samples.end()), 0.5f);
    EXPECT_EQ(workFiles(), std::vector<std::string>{"out.wav"});
}

TEST_F(Render, RateSetsTheWavRateTheEventFramesAndTheFade) {
    // Note-on at 3000/44100 s; the first sound follows the fade-out, which
    // keeps its 1001 frames' duration, and the note's silent first frame.
    const std::string in = input(oneTrack({{3000, noteOn(69)}}, 20000));
    const struct {
        const char* rate;
        long firstSound;
    } cases[] = {{"44100", 3000 + 1001 + 1}, {"48000", 3265 + 1090 + 1}, {"8000", 544 + 182 + 1}};
    for (const auto& c : cases) {
        ASSERT_EQ(run({in, output(), "--rate", c.rate}).status, 0) << c.rate;
        const Wav wav = readWav(output());
        EXPECT_EQ(wav.info.samplerate, std::stoi(c.rate));
        const auto first =
            std::find_if(wav.samples.begin(), wav.samples.end(), [](float v) { return v != 0; });
        EXPECT_EQ(first - wav.samples.begin(), c.firstSound) << c.rate;
    }
}

TEST_F(Render, FramesGivesTheExactLength) {
    const std::string in = input(oneTrack({{100, noteOn(69)}, {50000, noteOff(69)}}));
    for (const char* frames : {"0", "1", "12345", "300000"}) {
        ASSERT_EQ(run({in, output(), "--frames", frames}).status, 0);
        EXPECT_EQ(readWav(output()).info.frames, std::stoll(frames));
    }
}

// Drives the engine directly, frame by frame: the renderer's length rule
// with a per-frame check.
std::vector<float> engineReference(const std::vector<std::pair<int64_t, uint32_t>>& events,
                                   int64_t endFrame) {
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    std::vector<float> out;
    size_t next = 0;
    for (int64_t frame = 0;; ++frame) {
        while (next < events.size() && events[next].first == frame) {
            handleMidiShortMessage(s, events[next++].second);
        }
        if (frame >= endFrame && (s.gate.load() == 1 || releaseFinished(s))) break;
        float sample = 0;
        renderFrames(s, &sample, 1);
        out.push_back(sample);
    }
    return out;
}

TEST_F(Render, SamplesAreTheEnginesAndTheReleaseRunsOut) {
    const int64_t on = 3000;
    const std::string in = input(oneTrack({{3000, noteOn(69)},
                                           {7000, noteOn(72)},  // legato: pitch only
                                           {20000, noteOff(69)},
                                           {0, noteOff(72)}},
                                          10000));
    ASSERT_EQ(run({in, output()}).status, 0);
    const std::vector<float> got = readWav(output()).samples;
    const std::vector<float> want = engineReference({{3000, packShortMessage(0x90, 69, 100)},
                                                     {10000, packShortMessage(0x90, 72, 100)},
                                                     {30000, packShortMessage(0x80, 69, 0)},
                                                     {30000, packShortMessage(0x80, 72, 0)}},
                                                    40000);
    // The release outlasts the file: 66150 frames from the last gate-open
    // frame 29999, so frames 30000 to 96148 sound.
    ASSERT_EQ(got.size(), 96149u);
    ASSERT_EQ(want.size(), got.size());
    EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(float)), 0);

    // Silence until the note-on, 1001 silent fade-out frames, then the note,
    // whose first frame is 0 (attack level 0).
    const auto firstSound = std::find_if(got.begin(), got.end(), [](float v) { return v != 0; });
    EXPECT_EQ(firstSound - got.begin(), on + 1001 + 1);
    EXPECT_TRUE(std::any_of(got.end() - 100, got.end(), [](float v) { return v != 0; }));
}

TEST_F(Render, APeakPastOneIsToldOnceAndKeptUnlessClipped) {
    const std::string in = input(oneTrack({{0, noteOn(69)}}, 20000));
    float unclipped = 0;
    for (bool clip : {false, true}) {
        std::vector<std::string> args = {in,  output(), "--m", "4",   "--n1", "0.1", "--n2",
                                         "2", "--n3",   "2",   "--a", "5",    "--b", "5"};
        if (clip) args.push_back("--clip");
        const ProgramRun r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        float peak = 0;
        for (float v : readWav(output()).samples) peak = std::max(peak, std::fabs(v));
        if (!clip) unclipped = peak;
        EXPECT_EQ(peak == 1.0f, clip) << peak;
        char level[32];
        std::snprintf(level, sizeof level, "peak %+.1f dBFS", 20 * std::log10(unclipped));
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(level), std::string::npos) << r.err;
    }
}

TEST_F(Render, FileLengthIsKeptAndAHeldNoteIsCutAtTheEnd) {
    ASSERT_EQ(run({input(oneTrack({}, 50000)), output()}).status, 0);
    EXPECT_EQ(readWav(output()).info.frames, 50000);

    ASSERT_EQ(run({input(oneTrack({{10, noteOn(60)}}, 20000)), output()}).status, 0);
    const Wav held = readWav(output());
    EXPECT_EQ(held.info.frames, 20010);
    EXPECT_TRUE(
        std::any_of(held.samples.end() - 100, held.samples.end(), [](float v) { return v != 0; }));
}

TEST_F(Render, OptionsReachTheEngine) {
    const std::string in = input(oneTrack({{0, noteOn(69)}}, 20000));
    ASSERT_EQ(run({in, output("plain.wav")}).status, 0);
    const std::vector<float> plain = readWav(output("plain.wav")).samples;
    // Each option alone changes the sound; an axis set to the start value
    // of its parameter over the whole pad changes nothing.
    const std::vector<std::vector<std::string>> changes = {
        {"--m", "5"},
        {"--n1", "4.3"},
        {"--n2", "0.2"},
        {"--n3", "70"},
        {"--a", "0.31"},
        {"--b", "0.8"},
        {"--attack", "500"},
        {"--decay", "100"},
        {"--sustain", "20"},
        {"--x-axis", "m:1:10", "--y-axis", "A:0.1:1"},
        {"--x-axis", "B:0.767:0.767", "--y-axis", "N3:71.6:71.6", "--pad",
         "0,300,300,0,0,0,300,300"}};
    for (size_t i = 0; i < changes.size(); ++i) {
        std::vector<std::string> args = {in, output("changed.wav")};
        args.insert(args.end(), changes[i].begin(), changes[i].end());
        ASSERT_EQ(run(args).status, 0) << changes[i][0];
        const bool same = readWav(output("changed.wav")).samples == plain;
        EXPECT_EQ(same, i + 1 == changes.size()) << changes[i][0];
    }
}

TEST_F(Render, HelpAndVersion) {
    const ProgramRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--frames"), std::string::npos);
    EXPECT_NE(help.out.find("release has ended"), std::string::npos);
    const ProgramRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tessivox-render " TESSIVOX_VERSION "\n");
}

// --- refused input ------------------------------------------------------------------

TEST_F(Render, GarbageInput) {
    const std::string in = input(Bytes(1000, 0x5A));
    expectRefused(run({in, output()}), "not a Standard MIDI File");
}

TEST_F(Render, TruncatedChunk) {
    Bytes midi = oneTrack({{0, noteOn(60)}, {100, noteOff(60)}});
    midi.resize(midi.size() - 3);
    expectRefused(run({input(midi), output()}), "runs past the end of the file");
}

TEST_F(Render, LengthRunningPastTheEnd) {
    const Bytes midi = cat({header(0, 1, 96), chunk("MTrk", {0x00, 0xFF, 0x03, 0x40, 'a'})});
    expectRefused(run({input(midi), output()}), "meta event of 64 bytes runs past the end");
}

TEST_F(Render, AbsurdDeltaTimes) {
    const Bytes midi = oneTrack({{0x0FFFFFFF, noteOn(60)}, {0x0FFFFFFF, noteOff(60)}});
    expectRefused(run({input(midi), output()}), "more than one hour");
    // Refused even when --frames would cut it short: the file itself is absurd.
    expectRefused(run({input(midi), output(), "--frames", "10"}), "more than one hour");
}

TEST_F(Render, UnsupportedDivision) {
    expectRefused(run({input(cat({header(0, 1, 0xE728), track({})})), output()}), "SMPTE");
}

TEST_F(Render, BadOptions) {
    const std::string in = input(oneTrack({}));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{in}, "OUTPUT is required"},
        {{in, output(), "extra"}, "not expected: extra"},
        {{in, output(), "--volume", "3"}, "--volume"},
        {{in, output(), "--m"}, "--m"},
        {{in, output(), "--m", "1", "--m", "2"}, "--m"},
        {{in, output(), "--m", "6,03"}, "--m: '6,03' is not a decimal number"},
        {{in, output(), "--n1", " 4"}, "--n1: ' 4' is not a decimal number"},
        {{in, output(), "--a", "inf"}, "--a: 'inf' is not a decimal number"},
        {{in, output(), "--b", "nan"}, "--b: 'nan' is not a decimal number"},
        {{in, output(), "--attack", "1.5"}, "--attack: '1.5' is not an integer"},
        {{in, output(), "--frames", "1e3"}, "--frames: '1e3' is not an integer"},
        {{in, output(), "--pad", "1,2,3,4,5,6,7"}, "--pad: '1,2,3,4,5,6,7' is not 8"},
        {{in, output(), "--pad", "1,2,3,4,5,6,7,x"}, "--pad: 'x' is not an integer"},
        {{in, output(), "--x-axis", "m:1:2"}, "--x-axis and --y-axis go together"},
        {{in, output(), "--x-axis", "M:1:2", "--y-axis", "A:1:2"}, "'M' is not one of"},
        {{in, output(), "--x-axis", "m:1:2", "--y-axis", "A:1"}, "'A:1' is not NAME:FROM:TO"},
    };
    for (const auto& [args, problem] : cases) {
        SCOPED_TRACE(args.back());
        expectRefused(run(args), problem);
    }
}

TEST_F(Render, OutOfRangeValues) {
    const std::string in = input(oneTrack({}));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--m", "25.001"}, "--m: 25.001 is out of range (0.01 to 25)"},
        {{"--m", "0.0099"}, "--m: 0.0099 is out of range"},
        {{"--n3", "1e300"}, "--n3: 1e300 is out of range"},
        {{"--a", "0"}, "--a: 0 is out of range (0.001 to 5)"},
        {{"--attack", "0"}, "--attack: 0 is out of range (1 to 2000)"},
        {{"--decay", "5001"}, "--decay: 5001 is out of range"},
        {{"--sustain", "-1"}, "--sustain: -1 is out of range"},
        {{"--release", "99999999999999999999"}, "--release: 99999999999999999999 is out"},
        {{"--pad", "0,0,0,0,0,0,0,301"}, "--pad: 301 is out of range (0 to 300)"},
        {{"--frames", "158760001"}, "--frames: 158760001 is out of range"},
        {{"--block", "0"}, "--block: 0 is out of range (1 to 65536)"},
        {{"--block", "65537"}, "--block: 65537 is out of range"},
        {{"--rate", "7999"}, "--rate: 7999 is out of range (8000 to 192000)"},
        {{"--rate", "192001"}, "--rate: 192001 is out of range"},
        {{"--rate", "48000", "--frames", "172800001"}, "--frames: 172800001 is out of range"},
        {{"--x-axis", "N1:0:5", "--y-axis", "A:1:2"}, "--x-axis FROM: 0 is out of range"},
        {{"--x-axis", "N1:1:5", "--y-axis", "A:1:6"}, "--y-axis TO: 6 is out of range"},
    };
    for (const auto& [options, problem] : cases) {
        std::vector<std::string> args = {in, output()};
        args.insert(args.end(), options.begin(), options.end());
        SCOPED_TRACE(options[0]);
        expectRefused(run(args), problem);
    }
}

TEST_F(Render, RangeLimitsAreInclusiveAsFloat32) {
    const std::string in = input(oneTrack({}, 100));
    // 25.0000001 and 0.0099999999 round to the float32 limits 25 and 0.01.
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--m", "25.0000001", "--n1", "0.1", "--a", "5", "--b", "0.001"},
          {"--m", "0.0099999999", "--n2", "100", "--attack", "2000", "--sustain", "0", "--release",
           "5000", "--pad", "0,300,300,0,0,0,300,300", "--block", "65536", "--frames", "0"},
          {"--decay", "1", "--x-axis", "A:0.001:5", "--y-axis", "N3:100:0.1", "--rate", "8000"},
          {"--rate", "192000"}}) {
        std::vector<std::string> args = {in, output()};
        args.insert(args.end(), options.begin(), options.end());
        const ProgramRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
    }
}

// A sound that cannot be used stops the run before anything is written.
TEST_F(Render, BadSounds) {
    const std::string in = input(oneTrack({}));
    setenv("HOME", work.c_str(), 1);
    const std::string preset =
        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        "<> a <http://lv2plug.in/ns/ext/presets#Preset> ; lv2:appliesTo <";
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"nosuch.ttl", "", "--sound: cannot read nosuch.ttl: No such file"},
        {"No such sound", "", "--sound: no sound named 'No such sound' and no such file"},
        {"broken.ttl", preset, "--sound: broken.ttl: not valid Turtle (line 2: "},
        {"other.ttl", preset + "urn:other> .", "a preset of <urn:other>, not of Tessivox"},
        {"plain.ttl", "<a> <b> <c> .", "--sound: plain.ttl: holds no LV2 preset"},
        {"text.ttl",
         preset + "urn:tessivox:synth> ; lv2:port [ lv2:symbol \"m\" ; "
                  "<http://lv2plug.in/ns/ext/presets#value> \"six\" ] .",
         "--sound: text.ttl: the value of port 'm' is not a number"},
        {"deep.ttl", "<a> <b> " + std::string(30000, '['),
         "--sound: deep.ttl: nested more than 100"},
        {"/dev/zero", "", "--sound: /dev/zero: not a regular file"},
        {"fifo", "", "--sound: fifo: not a regular file"},
        {"empty.ttl", "", "--sound: empty.ttl: the file is empty"},
    };
    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0644), 0);
    std::ofstream(work / "empty.ttl").flush();
    std::vector<std::string> files = {"empty.ttl", "fifo", "in.mid"};
    const fs::path was = fs::current_path();
    fs::current_path(work);
    for (const auto& [name, text, problem] : cases) {
        SCOPED_TRACE(name);
        if (!text.empty()) {
            std::ofstream(work / name) << text;
            files.push_back(name);
            std::sort(files.begin(), files.end());
        }
        expectRefused(run({in, output(), "--sound", name}), problem, files);
    }
    fs::current_path(was);
}

TEST_F(Render, UnreadableInput) {
    expectRefused(run({(work / "missing.mid").string(), output()}),
                  "cannot read " + (work / "missing.mid").string() + ": No such file", {});
    fs::create_directory(work / "adir.mid");
    expectRefused(run({(work / "adir.mid").string(), output()}), "Is a directory", {"adir.mid"});
}

TEST_F(Render, UnwritableOutput) {
    const std::string in = input(oneTrack({{0, noteOn(60)}}, 1000));
    expectRefused(run({in, (work / "no-such-dir" / "out.wav").string()}),
                  "cannot write " + (work / "no-such-dir" / "out.wav").string());
    // Rendering succeeds, the final rename fails: the temporary file must go.
    fs::create_directory(work / "taken.wav");
    expectRefused(run({in, (work / "taken.wav").string()}), "cannot write",
                  {"in.mid", "taken.wav"});
    EXPECT_TRUE(fs::is_empty(work / "taken.wav"));
}

TEST_F(Render, InterruptedRunRemovesItsTemporaryFile) {
    // Ten minutes of a held note: the run is still writing when it is stopped.
    const std::string in = input(oneTrack({{0, noteOn(60)}}, 600 * 44100));
    const pid_t pid = start({in, output()});
    ASSERT_GT(pid, 0);
    bool seen = false;
    for (int i = 0; i < 5000 && !seen; ++i) {
        seen = workFiles().size() == 2;
        if (!seen) usleep(1000);
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(seen) << "no temporary file appeared";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(workFiles(), std::vector<std::string>{"in.mid"});
}

TEST_F(Render, FailedRunKeepsAnExistingOutput) {
    const std::string in = input(oneTrack({{0, noteOn(60)}}, 1000));
    spit(work / "out.wav", {'o', 'l', 'd'});
    expectRefused(run({input(Bytes{'x'}, "bad.mid"), output()}), "bad.mid",
                  {"bad.mid", "in.mid", "out.wav"});
    EXPECT_EQ(slurp(work / "out.wav"), "old");
}

// --- output paths -------------------------------------------------------------------

TEST_F(Render, OutputThatIsTheInputIsRefused) {
    const Bytes midi = oneTrack({{0, noteOn(60)}}, 1000);
    const std::string in = input(midi);
    fs::create_hard_link(in, work / "hard.mid");
    fs::create_symlink("in.mid", work / "sym.mid");
    for (const std::string& out : {in, (work / "hard.mid").string(), (work / "sym.mid").string()}) {
        SCOPED_TRACE(out);
        expectRefused(run({in, out}), "cannot write " + out + ": it is the input file",
                      {"hard.mid", "in.mid", "sym.mid"});
        EXPECT_TRUE(slurp(in) == std::string(midi.begin(), midi.end())) << "input changed";
        EXPECT_EQ(fs::hard_link_count(in), 2u);
        EXPECT_TRUE(fs::is_symlink(work / "sym.mid"));
    }
}

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// The file the output names, or the one its links end at, is replaced whole
// keeping its mode, or created; links stay links.
TEST_F(Render, OutputFileIsReplacedKeepingItsMode) {
    const std::string in = input(oneTrack({{0, noteOn(60)}}, 1000));
    ASSERT_EQ(run({in, output("plain.wav")}).status, 0);
    const std::string plain = slurp(output("plain.wav"));
    fs::create_directory(work / "sub");
    for (const auto& [name, mode] : {std::pair{"old.wav", 0600}, {"x.wav", 0755}}) {
        spit(work / "sub" / name, {'o', 'l', 'd'});
        chmod((work / "sub" / name).c_str(), mode);
    }
    fs::create_symlink("sub/new.wav", work / "dangling.wav");  // relative to the link
    fs::create_symlink(work / "sub" / "old.wav", work / "absolute.wav");
    fs::create_symlink("dangling.wav", work / "chain.wav");
    const mode_t mask = umask(0);
    umask(mask);
    const struct {
        const char* out;
        const char* written;
        mode_t mode;
    } cases[] = {{"sub/x.wav", "sub/x.wav", 0755},
                 {"dangling.wav", "sub/new.wav", 0666 & ~mask},
                 {"absolute.wav", "sub/old.wav", 0600},
                 {"chain.wav", "sub/new.wav", 0666 & ~mask}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        fs::remove(work / "sub" / "new.wav");
        const ProgramRun r = run({in, output(c.out)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(fs::is_symlink(work / c.out), c.out != c.written);
        EXPECT_TRUE(slurp(work / c.written) == plain);
        EXPECT_EQ(modeOf(work / c.written), c.mode);
    }
    EXPECT_EQ(workFiles("sub"), (std::vector<std::string>{"new.wav", "old.wav", "x.wav"}));
}

// A pipe, a FIFO or a device gets exactly the bytes a file would, also
// through a release that runs on past the file's end.
TEST_F(Render, StreamOutputsGetTheWholeWav) {
    const std::string released = input(oneTrack({{0, noteOn(60)}, {30000, noteOff(60)}}), "r.mid");
    ASSERT_EQ(run({released, output("released.wav")}).status, 0);
    const std::string in = input(oneTrack({{0, noteOn(60)}}, 40000));
    ASSERT_EQ(run({in, output("plain.wav")}).status, 0);
    const std::string plain = slurp(output("plain.wav"));
    ASSERT_GT(plain.size(), 65536u);  // more than a pipe holds
    // Readers of a float format expect its fmt chunk's extension size (0).
    EXPECT_EQ(plain.substr(12, 10) + plain.substr(36, 2),
              std::string("fmt \x12\0\0\0\3\0\0\0", 12));

    ProgramRun r;
    std::string got;
    for (const char* name : {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        for (const bool release : {false, true}) {
            int ends[2];
            ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
            const pid_t pid = start({release ? released : in, name}, ends[1]);
            close(ends[1]);
            got.clear();
            r = finishReading(pid, ends[0], got);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(got == (release ? slurp(output("released.wav")) : plain))
                << name << " gave " << got.size() << " bytes";
        }
    }
    fs::remove(output("released.wav"));
    fs::remove(released);

    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0644), 0);
    const int reader = open((work / "fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    got.clear();
    r = finishReading(start({in, output("fifo")}), reader, got);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(got == plain) << "the FIFO gave " << got.size() << " bytes";
    EXPECT_TRUE(fs::is_fifo(work / "fifo"));

    // Devices of our own, so that a fault cannot replace the system's.
    if (mknod((work / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod((work / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "no mknod here: " << std::strerror(errno);
    }
    r = run({in, output("null")});
    EXPECT_EQ(r.status, 0) << r.err;
    expectRefused(run({in, output("full")}), "cannot write " + output("full") + ": No space",
                  {"fifo", "full", "in.mid", "null", "plain.wav"});
    EXPECT_TRUE(fs::is_character_file(work / "null"));
    EXPECT_TRUE(fs::is_character_file(work / "full"));
}

// Neither waits for an hour's rendering: a reader that leaves, a directory.
TEST_F(Render, ClosedReaderAndDirectoryEndTheRunAtOnce) {
    const std::string in = input(oneTrack({{0, noteOn(60)}}, 3600 * 44100 - 1));
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    const pid_t pid = start({in, "/dev/stdout"}, ends[1]);
    close(ends[1]);
    char head[100];
    for (size_t got = 0; got < sizeof head;) {
        const ssize_t n = read(ends[0], head + got, sizeof head - got);
        ASSERT_GT(n, 0);
        got += static_cast<size_t>(n);
    }
    close(ends[0]);
    const auto closed = std::chrono::steady_clock::now();
    expectRefused(finish(pid), "cannot write /dev/stdout: Broken pipe");
    EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(1));
    fs::create_directory(work / "dir");
    const auto started = std::chrono::steady_clock::now();
    expectRefused(run({in, output("dir")}), "Is a directory", {"dir", "in.mid"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST_F(Render, FileSizeLimitIsAWriteError) {
    // 400 kB of output against a 100 kB limit, which the child inherits.
    const std::string in = input(oneTrack({{0, noteOn(60)}}, 100000));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 100 << 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const pid_t pid = start({in, output()});
    setrlimit(RLIMIT_FSIZE, &saved);
    expectRefused(finish(pid), "cannot write " + output() + ": System error : File too large");
}

}  // namespace
}  // namespace tessivox
