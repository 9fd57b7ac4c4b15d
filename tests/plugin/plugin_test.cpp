// The LV2 plugin loaded from the build tree by a lilv host, against
// tessivox-render and the engine.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "lv2_host.h"
#include "midi/midi_file.h"
#include "midi/midi_rules.h"
#include "midi_bytes.h"
#include "platform/realtime_scope.h"
#include "realtime_counter.h"
#include "sound/ports.h"
#include "sound/sound.h"
#include "test_support.h"

namespace tessivox::lv2 {
namespace {

namespace fs = std::filesystem;
using testing::Lv2Instance;
using testing::MidiAt;
using testing::midiBytes;
using testing::renderWith;

using Controls = std::vector<std::pair<uint32_t, float>>;

std::vector<float> renderPlugin(double rate, const Controls& controls,
                                const std::vector<MidiAt>& events, int64_t frames,
                                uint32_t block = 256,
                                const std::function<void(Lv2Instance&, int64_t)>& hook = {}) {
    Lv2Instance plugin(rate);
    EXPECT_TRUE(plugin.ok());
    if (!plugin.ok()) return {};
    for (const auto& [port, value] : controls) plugin.control(port) = value;
    return renderWith(plugin, events, frames, block, [&](int64_t start) {
        if (hook) hook(plugin, start);
    });
}

MidiAt on(int64_t frame, int note = 69, int channel = 1) {
    return {frame, midiBytes(packShortMessage(static_cast<uint8_t>(0x8F + channel),
                                              static_cast<uint8_t>(note), 100))};
}
MidiAt off(int64_t frame, int note = 69, int channel = 1) {
    return {frame, midiBytes(packShortMessage(static_cast<uint8_t>(0x7F + channel),
                                              static_cast<uint8_t>(note), 0))};
}

// m from 2 to 12 on X, N1 from 1 to 8 on Y.
const Controls kPadSweep = {{kTrajectory, 1}, {kXParam, 1}, {kXFrom, 2}, {kXTo, 12},
                            {kYParam, 2},     {kYFrom, 1},  {kYTo, 8}};

// The pure-sine preset with A = B = 5 and N1 = 0.1: samples far beyond 1.
const Controls kLoud = {{kM, 4},           {Port(kM + 1), 0.1f}, {Port(kM + 2), 2},
                        {Port(kM + 3), 2}, {Port(kM + 4), 5},    {Port(kM + 5), 5}};

Controls operator+(Controls a, const Controls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// First frame at which the two differ, or -1.
int64_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return ia == a.end() && ib == b.end() ? -1 : ia - a.begin();
}

bool silent(const std::vector<float>& x) {
    return std::all_of(x.begin(), x.end(), [](float v) { return v == 0.0f; });
}

// --- the bundle ---------------------------------------------------------------------

TEST(Plugin, InstantiatesOnlyAtRatesFrom8000To192000) {
    const struct {
        double rate;
        bool ok;
    } cases[] = {{7999, false},   {8000, true}, {44100, true},   {192000, true},
                 {192001, false}, {0, false},   {-44100, false}, {NAN, false}};
    for (const auto& c : cases) EXPECT_EQ(Lv2Instance(c.rate).ok(), c.ok) << c.rate;
}

TEST(Plugin, PortsAreTheTablesAndPresetsLoadInRange) {
    const LilvPlugin* plugin = testing::tessivoxPlugin();
    ASSERT_NE(plugin, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), kPortCount);
    std::vector<float> minimum(kPortCount), maximum(kPortCount), start(kPortCount);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), start.data());
    for (uint32_t i = kM; i < kPortCount; ++i) {
        EXPECT_EQ(minimum[i], kPorts[i].minimum) << kPorts[i].symbol;
        EXPECT_EQ(maximum[i], kPorts[i].maximum) << kPorts[i].symbol;
        EXPECT_EQ(start[i], kPorts[i].start) << kPorts[i].symbol;
    }
    // The window's start values, read through the host.
    EXPECT_EQ(start[kM], 6.03f);
    EXPECT_EQ(start[kM + 3], 71.6f);
    EXPECT_EQ(start[kRelease], 1500.0f);
    EXPECT_EQ(start[kPad + 5], 100.0f);

    LilvNode* presetClass =
        lilv_new_uri(testing::lv2World(), "http://lv2plug.in/ns/ext/presets#Preset");
    LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
    lilv_node_free(presetClass);
    ASSERT_GE(lilv_nodes_size(presets), 3u);
    std::vector<std::vector<float>> sounds;
    LILV_FOREACH(nodes, it, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, it);
        SCOPED_TRACE(lilv_node_as_uri(preset));
        Lv2Instance instance(44100);
        ASSERT_EQ(instance.applyPreset(preset),
                  static_cast<int>(kLatency - kM + kSustainPedal - kBendRange));
        for (uint32_t i = kM; i < kPortCount; ++i) {
            EXPECT_GE(instance.control(i), minimum[i]) << kPorts[i].symbol;
            EXPECT_LE(instance.control(i), maximum[i]) << kPorts[i].symbol;
        }
        // A note sounds and never clips.
        const std::vector<float> note =
            renderWith(instance, {on(0, 57), off(88200, 57)}, 132300, 512);
        float peak = 0;
        for (float v : note) peak = std::max(peak, std::fabs(v));
        EXPECT_GT(peak, 0.1f);
        EXPECT_LE(peak, 1.0f);
        for (const auto& other : sounds) EXPECT_NE(other, note);
        sounds.push_back(note);
    }
    lilv_nodes_free(presets);
}

// --- against tessivox-render --------------------------------------------------------------

using test::readSoundFile;

int runRenderer(std::vector<std::string> args) {
    args.insert(args.begin(), TESSIVOX_RENDER_BIN);
    return test::runProgram(args).status;
}

std::vector<MidiAt> scheduleOf(const fs::path& file, int64_t rate) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    MidiSchedule schedule;
    std::string error;
    EXPECT_TRUE(readMidiFile(bytes, schedule, error, rate)) << error;
    std::vector<MidiAt> events;
    for (const ScheduledMessage& m : schedule.messages) {
        events.push_back({m.frame, midiBytes(m.message)});
    }
    return events;
}

// Notes on channels 1 and 2 at odd frames, legato, a note-on in the
// fade-out and in the release, velocity-0 note-offs, other messages.
fs::path writeEdgeFile(const fs::path& dir) {
    using namespace test;
    const Bytes midi = cat({header(0, 1, 22050),  // one tick is one frame at 44100
                            track({{777, noteOn(60)},
                                   {5, noteOn(64)},
                                   {900, {0x90, 64, 0}},
                                   {3001, {0xE0, 0, 80}},
                                   {20000, noteOff(60)},
                                   {333, {0x91, 62, 100}},
                                   {1200, noteOn(67)},
                                   {500, {0xB0, 7, 20}},
                                   {40001, noteOff(67)},
                                   {30000, noteOn(48)},
                                   {4097, {0x81, 62, 0}},
                                   {9999, noteOff(48)}},
                                  80000)});
    const fs::path path = dir / "edge.mid";
    spit(path, midi);
    return path;
}

TEST(Plugin, MatchesTessivoxRenderBitForBitAtEveryBlockSize) {
    const fs::path dir =
        fs::temp_directory_path() / ("tessivox-plugin-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string data = TESSIVOX_DATA_DIR;
    const Controls padSweep = kPadSweep + Controls{{kAttack, 1500}, {kDecay, 2000}, {kSustain, 70}};
    Controls edge = {{kChannel, 1},     {kM, 12.5f},     {Port(kM + 1), 3}, {Port(kM + 4), 1},
                     {Port(kM + 5), 1}, {kRelease, 300}, {kTrajectory, 1},  {kXParam, 6},
                     {kXFrom, 0.5f},    {kXTo, 2},       {kYParam, 4},      {kYFrom, 1},
                     {kYTo, 10}};
    const float pad[8] = {0, 0, 300, 300, 40, 260, 300, 0};
    for (int k = 0; k < 8; ++k) edge.emplace_back(kPad + k, pad[k]);
    const struct {
        std::string file;
        int rate;
        std::vector<std::string> options;
        Controls controls;
    } cases[] = {
        {data + "/demo.mid", 44100, {}, {}},
        {data + "/demo_pad.mid",
         44100,
         {"--x-axis", "m:2:12", "--y-axis", "N1:1:8", "--attack", "1500", "--decay", "2000",
          "--sustain", "70"},
         padSweep},
        {writeEdgeFile(dir),
         44100,
         {"--m", "12.5", "--n1", "3", "--a", "1", "--b", "1", "--release", "300", "--x-axis",
          "B:0.5:2", "--y-axis", "N3:1:10", "--pad", "0,0,300,300,40,260,300,0", "--clip"},
         edge},
        {data + "/demo_pad.mid",
         48000,
         {"--rate", "48000", "--x-axis", "m:2:12", "--y-axis", "N1:1:8", "--attack", "1500",
          "--decay", "2000", "--sustain", "70"},
         padSweep},
        {data + "/demo.mid", 96000, {"--rate", "96000", "--tuning", "exact"}, {{kTuning, 1}}},
        {data + "/demo.mid",
         44100,
         {"--m", "4", "--n1", "0.1", "--n2", "2", "--n3", "2", "--a", "5", "--b", "5", "--clip"},
         kLoud},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " at " + std::to_string(c.rate));
        std::vector<std::string> args = {c.file, (dir / "render.wav").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(runRenderer(args), 0);
        const auto rendered = readSoundFile(dir / "render.wav");
        ASSERT_EQ(rendered.info.samplerate, c.rate);
        ASSERT_GT(rendered.samples.size(), 100000u);
        const std::vector<MidiAt> events = scheduleOf(c.file, c.rate);
        for (uint32_t block : {1u, 64u, 1000u, 4096u}) {
            const std::vector<float> got = renderPlugin(
                c.rate, c.controls, events, static_cast<int64_t>(rendered.samples.size()), block);
            EXPECT_EQ(firstDifference(got, rendered.samples), -1) << "block " << block;
        }
    }
    fs::remove_all(dir);
}

// Random sessions of how the instrument is played: settings, velocities,
// bends and the pedal, each in the renderer and the plugin.
TEST(Plugin, PlaysEverySettingAsTessivoxRender) {
    const fs::path dir =
        fs::temp_directory_path() / ("tessivox-playing-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const char* count = std::getenv("TESSIVOX_SESSIONS");
    std::mt19937 random(29);
    const auto pick = [&random](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    for (int session = 0, sessions = count ? std::atoi(count) : 12; session < sessions; ++session) {
        SCOPED_TRACE("session " + std::to_string(session));
        const int v[] = {pick(0, 24),  pick(0, 300), pick(0, 1),
                         pick(0, 100), pick(0, 1),   pick(0, 1)};
        const double values[] = {double(v[0]), v[1] / 1000.0, double(v[2]),
                                 v[3] / 100.0, double(v[4]),  double(v[5])};
        const std::string texts[] = {std::to_string(v[0]),       std::to_string(v[1] / 1000.0),
                                     v[2] ? "legato" : "always", std::to_string(v[3] / 100.0),
                                     v[4] ? "at-once" : "fade",  v[5] ? "on" : "off"};
        Controls controls;
        std::vector<std::string> args = {(dir / "s.mid").string(), (dir / "s.wav").string()};
        for (uint32_t k = 0; k <= kSustainPedal - kBendRange; ++k) {
            controls.emplace_back(kBendRange + k, static_cast<float>(values[k]));
            std::string option = "--" + std::string(kPorts[kBendRange + k].symbol);
            std::replace(option.begin(), option.end(), '_', '-');
            args.insert(args.end(), {option, texts[k]});
        }
        test::Bytes body;
        for (int e = 0; e < 40; ++e) {
            const int kind = pick(0, 9);
            const auto d = static_cast<uint8_t>(pick(0, 127));
            const test::Bytes event =
                kind < 4   ? test::Bytes{0x90, uint8_t(pick(40, 80)), uint8_t(pick(1, 127))}
                : kind < 7 ? test::noteOff(uint8_t(pick(40, 80)))
                : kind < 9 ? test::Bytes{0xE0, d, uint8_t(pick(0, 127))}
                           : test::Bytes{0xB0, 64, d};
            body = test::cat({body, test::vlq(static_cast<uint32_t>(pick(0, 4000))), event});
        }
        body = test::cat({body, test::vlq(1000), {0xFF, 0x2F, 0x00}});
        ASSERT_TRUE(test::spit((dir / "s.mid").string(),
                               test::cat({test::header(0, 1, 22050), test::chunk("MTrk", body)})));
        ASSERT_EQ(runRenderer(args), 0);
        const auto rendered = readSoundFile(dir / "s.wav");
        const std::vector<float> got = renderPlugin(
            44100, controls + Controls{{kChannel, 1}}, scheduleOf(dir / "s.mid", 44100),
            static_cast<int64_t>(rendered.samples.size()), pick(1, 600));
        ASSERT_EQ(firstDifference(got, rendered.samples), -1);
    }
    fs::remove_all(dir);
}

// --- sounds -----------------------------------------------------------------------------

// A sound saved under a name any text may be is found again by that name,
// and a host that loads its preset plays what tessivox-render --sound
// renders, bit for bit; out-of-range values in a preset are clamped as
// the plugin clamps them.
TEST(Plugin, SavedSoundsPlayInTheHostAsInTessivoxRender) {
    const fs::path dir = fs::temp_directory_path() / ("tessivox-sound-" + std::to_string(getpid()));
    fs::create_directories(dir);
    setenv("HOME", dir.c_str(), 1);
    sound::Sound saved = sound::startSound();
    saved.name = "Test \"sound\" / \u00fc \u266a";
    const float values[] = {12.5f, 3, 0.1f, 7,  1, 1, 20,  300, 60, 300, 1,   6, 0.5f,
                            2,     4, 1,    10, 0, 0, 300, 300, 40, 260, 300, 0};
    for (uint32_t port = kM; port <= kPad + 7; ++port) saved.values[port] = values[port - kM];
    std::string error, path;
    ASSERT_EQ(sound::saveSound(saved, false, error, &path), sound::SaveResult::Saved) << error;
    EXPECT_EQ(sound::saveSound(saved, false, error), sound::SaveResult::NameTaken);
    ASSERT_EQ(sound::saveSound(saved, true, error), sound::SaveResult::Saved) << error;
    const fs::path bundle = fs::path(path).parent_path();
    EXPECT_EQ(std::distance(fs::directory_iterator(bundle), {}), 2) << "a temporary file is left";
    const std::optional<sound::Sound> loaded = sound::loadSound(saved.name, error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->name, saved.name);
    EXPECT_EQ(loaded->values, saved.values);

    // A name differing in case alone loads when one sound fits; only the
    // user's own sound deletes.
    sound::Sound twin = saved;
    for (const char* name : {"CASE one", "Case One"}) {
        twin.name = name;
        ASSERT_EQ(sound::saveSound(twin, false, error), sound::SaveResult::Saved) << error;
        EXPECT_EQ(sound::loadSound("case ONE", error).has_value(), twin.name == "CASE one")
            << error;
    }
    ASSERT_TRUE(sound::deleteSound("Case One", error)) << error;
    EXPECT_EQ(sound::loadSound("case ONE", error).value_or(saved).name, "CASE one");
    EXPECT_EQ(sound::loadSound("GROWL", error).value_or(saved).name, "Growl");
    for (const char* name : {"Growl", "Case One"}) EXPECT_FALSE(sound::deleteSound(name, error));
    ASSERT_TRUE(sound::deleteSound("CASE one", error)) << error;

    const fs::path wild = dir / "wild.ttl";
    std::ofstream(wild) << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                           "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                           "<> a pset:Preset ; lv2:appliesTo <urn:tessivox:synth> ; lv2:port\n"
                           "[ lv2:symbol \"m\" ; pset:value 1000 ] , [ lv2:symbol \"n1\" ; "
                           "pset:value -3.5 ] , [ lv2:symbol \"sustain\" ; pset:value 20.6 ] ,\n"
                           "[ lv2:symbol \"trajectory\" ; pset:value 0.7 ] , [ lv2:symbol "
                           "\"x_param\" ; pset:value 1 ] , [ lv2:symbol \"x_to\" ; pset:value "
                           "99 ] , [ lv2:symbol \"y_param\" ; pset:value 2.2 ] , [ lv2:symbol "
                           "\"p3_y\" ; pset:value 301 ] .\n";
    const Controls wildControls = {{kM, 1000},          {Port(kM + 1), -3.5f}, {kSustain, 20.6f},
                                   {kTrajectory, 0.7f}, {kXParam, 1},          {kXTo, 99},
                                   {kYParam, 2.2f},     {Port(kPad + 5), 301}};

    LilvWorld* world = testing::lv2World();
    LilvNode* bundleUri = lilv_new_file_uri(world, nullptr, (bundle.string() + "/").c_str());
    lilv_world_load_bundle(world, bundleUri);
    lilv_node_free(bundleUri);
    LilvNode* preset = lilv_new_file_uri(world, nullptr, path.c_str());
    const fs::path midi = writeEdgeFile(dir);
    const std::vector<MidiAt> events = scheduleOf(midi, 44100);
    LilvNode* growl = lilv_new_uri(world, "urn:tessivox:preset:growl");
    for (const std::string& which : {saved.name, wild.string(), std::string("Growl")}) {
        SCOPED_TRACE(which);
        ASSERT_EQ(runRenderer({midi, (dir / "render.wav").string(), "--sound", which, "--clip"}), 0);
        const auto rendered = readSoundFile(dir / "render.wav");
        ASSERT_GT(rendered.samples.size(), 100000u);
        Lv2Instance plugin(44100);
        if (which == saved.name) {
            // Every control input but the channel and the pedal.
            ASSERT_EQ(plugin.applyPreset(preset),
                      static_cast<int>(kLatency - kM - 1 + kSustainPedal - kBendRange));
        } else if (which == "Growl") {
            ASSERT_GT(plugin.applyPreset(growl), 0);
        } else {
            for (const auto& [port, value] : wildControls) plugin.control(port) = value;
        }
        plugin.control(kChannel) = 1;  // the host's routing; the renderer plays channel 1
        const std::vector<float> got =
            renderWith(plugin, events, static_cast<int64_t>(rendered.samples.size()), 512);
        EXPECT_EQ(firstDifference(got, rendered.samples), -1);
    }
    lilv_node_free(preset);
    lilv_node_free(growl);

    // Names of no line or of two, and a home where nothing can be made: refused.
    for (const char* name : {" ", "two\nlines", "Test sound"}) {
        if (std::string(name) == "Test sound") setenv("HOME", "/proc/self", 1);
        saved.name = name;
        EXPECT_EQ(sound::saveSound(saved, false, error), sound::SaveResult::Failed) << name;
        EXPECT_FALSE(error.empty());
    }
    fs::remove_all(dir);
}

// Files another program left in ~/.lv2 or handed over: none crashes or hangs
// the reader or keeps the other sounds from loading; a bundle the program did
// not write is never replaced; links, presets of two plugins and names that
// look like folders load, also through a linked ~/.lv2; two programs saving
// one name at once make one sound.
TEST(Sound, HostileFilesNeitherStopNorLoseSounds) {
    const fs::path dir =
        fs::temp_directory_path() / ("tessivox-hostile-" + std::to_string(getpid()));
    const fs::path lv2 = dir / "elsewhere";  // ~/.lv2 is a link to it
    fs::create_directories(lv2 / "deep.lv2");
    fs::create_directory_symlink(lv2, dir / ".lv2");
    fs::create_directories(lv2 / "fifo.lv2");
    setenv("HOME", dir.c_str(), 1);
    std::ofstream(lv2 / "deep.lv2" / "manifest.ttl") << "<a> <b> " << std::string(30000, '(');
    ASSERT_EQ(mkfifo((lv2 / "fifo.lv2" / "manifest.ttl").c_str(), 0644), 0);
    sound::Sound kept = sound::startSound();
    std::string error, path;
    for (const char* name : {"Kept", "..", "/"}) {
        kept.name = name;
        ASSERT_EQ(sound::saveSound(kept, false, error, &path), sound::SaveResult::Saved) << error;
        ASSERT_TRUE(sound::loadSound(name, error)) << error;
    }
    // The same preset through a link, and applying to another plugin as well.
    fs::create_symlink(path, dir / "link.ttl");
    std::string text = test::slurp(path);
    text.replace(text.find("<urn:tessivox:synth>"), 20, "<urn:other>, <urn:tessivox:synth>");
    std::ofstream(dir / "two.ttl") << text;
    for (const fs::path& file : {dir / "link.ttl", dir / "two.ttl"}) {
        EXPECT_TRUE(sound::loadSound(file.string(), error)) << error;
    }
    // A bundle of the program's name whose manifest another program wrote.
    const fs::path foreign = fs::path(path).parent_path();
    std::ofstream(foreign / "manifest.ttl", std::ios::app) << "<other.ttl> a <urn:x> .\n";
    const std::string before = test::slurp(foreign / "manifest.ttl");
    kept.name = "/";
    EXPECT_EQ(sound::saveSound(kept, false, error), sound::SaveResult::Saved) << error;
    EXPECT_EQ(test::slurp(foreign / "manifest.ttl"), before);

    kept.name = "Raced";
    for (int round = 0; round < 14; ++round) {
        std::vector<pid_t> savers;
        for (int k = 0; k < 2; ++k) {
            if (const pid_t pid = fork(); pid == 0) {
                std::string e;
                _exit(sound::saveSound(kept, true, e) == sound::SaveResult::Saved ? 0 : 1);
            } else {
                savers.push_back(pid);
            }
        }
        for (const pid_t pid : savers) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_EQ(status, 0);
        }
    }
    const auto entries = sound::listSounds();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const sound::Entry& e) { return e.name == "Raced"; }),
              1);
    fs::remove_all(dir);
}

// --- other rates --------------------------------------------------------------------------

// The engine on its own at `rate`, frame by frame, with the envelope level
// of every frame.
struct EngineRun {
    std::vector<float> out;
    std::vector<double> level;
};

EngineRun runEngine(double rate, int32_t attack, int32_t decay, int32_t sustain, int32_t release,
                    int64_t onAt, int64_t offAt, int64_t frames) {
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    setSampleRate(s, rate);
    s.attackSlider = attack;
    s.decaySlider = decay;
    s.sustainSlider = sustain;
    s.releaseSlider = release;
    EngineRun r;
    for (int64_t f = 0; f < frames; ++f) {
        if (f == onAt) handleMidiShortMessage(s, packShortMessage(0x90, 69, 100));
        if (f == offAt) handleMidiShortMessage(s, packShortMessage(0x80, 69, 0));
        float v = 0;
        renderFrames(s, &v, 1);
        r.out.push_back(v);
        r.level.push_back(s.envelopeLevel);
    }
    return r;
}

// Upward zero crossings of x[from, to).
double fundamental(const std::vector<float>& x, int64_t from, int64_t to, double rate) {
    int64_t first = -1, last = -1, rises = 0;
    for (int64_t k = from + 1; k < to; ++k) {
        if (x[k - 1] < 0 && x[k] >= 0) {
            if (first < 0) first = k;
            last = k;
            ++rises;
        }
    }
    return rises < 2 ? 0.0 : (rises - 1) * rate / static_cast<double>(last - first);
}

TEST(Plugin, OtherRatesKeepPitchAndEnvelopeTimes) {
    constexpr int32_t kAttackSlider = 1500, kDecaySlider = 700, kReleaseSlider = 1200;
    // What the sliders mean in seconds, and the fade-out's 1001 frames at 44100.
    const double attack = std::pow(1.00517037535, kAttackSlider) * 0.0994856 / 1000.0;
    const double decay = kDecaySlider / 1000.0, release = kReleaseSlider / 1000.0;
    const double fade = (kFadeOutLast + 1) / 44100.0;
    for (double rate : {44100.0, 48000.0, 96000.0, 8000.0, 192000.0}) {
        SCOPED_TRACE(rate);
        const int64_t onAt = 1000, offAt = onAt + static_cast<int64_t>(2.0 * rate);
        const int64_t frames = offAt + static_cast<int64_t>(1.5 * rate);
        // Sustain 100 leaves the level at exactly 1 once the attack is over.
        const std::vector<float> got = renderPlugin(rate,
                                                    {{kAttack, kAttackSlider},
                                                     {kDecay, kDecaySlider},
                                                     {kSustain, 100},
                                                     {kRelease, kReleaseSlider}},
                                                    {on(onAt), off(offAt)}, frames, 1000);
        const EngineRun held =
            runEngine(rate, kAttackSlider, kDecaySlider, 100, kReleaseSlider, onAt, offAt, frames);
        EXPECT_EQ(firstDifference(got, held.out), -1);

        const double hz = fundamental(got, onAt + rate / 2, offAt, rate);
        EXPECT_NEAR(hz, rate / std::nearbyint(rate / 440.0), 0.02);

        // Sustain 0: the decay ends in exact zeros.
        const EngineRun dies =
            runEngine(rate, kAttackSlider, kDecaySlider, 0, kReleaseSlider, onAt, offAt, frames);
        auto seconds = [&](int64_t frame) { return (frame - onAt) / rate; };
        int64_t noteStart = onAt, attackEnd = -1, decayEnd = -1, releaseEnd = -1;
        while (held.level[noteStart + 1] == 0.0) ++noteStart;
        for (int64_t f = offAt - 1; f > onAt && attackEnd < 0; --f) {
            if (held.level[f] != 1.0) attackEnd = f;
        }
        for (int64_t f = offAt - 1; f > onAt && decayEnd < 0; --f) {
            if (dies.level[f] != 0.0) decayEnd = f;
        }
        for (int64_t f = offAt; f < frames && releaseEnd < 0; ++f) {
            if (held.level[f] == 0.0) releaseEnd = f;
        }
        // Each segment ends within one frame of its time in seconds.
        const double frame = 1.0 / rate;
        EXPECT_NEAR(seconds(noteStart), fade, frame);
        EXPECT_NEAR(seconds(attackEnd), fade + attack, frame);
        EXPECT_NEAR(seconds(decayEnd), fade + attack + decay, frame);
        // The release runs from the last frame the key was held.
        EXPECT_NEAR(seconds(releaseEnd), seconds(offAt - 1) + release, frame);
    }
}

// --- controls -----------------------------------------------------------------------------

TEST(Plugin, AControlChangedBetweenRunsActsFromTheNextRun) {
    constexpr uint32_t kBlock = 256;
    constexpr int64_t kChangeAt = 250 * kBlock, kFrames = 300 * kBlock;  // in the sustain
    const struct {
        const char* what;
        Controls setting;
        uint32_t port;
        float value;
    } cases[] = {
        {"m", {}, kM, 8},
        {"N3", {}, Port(kM + 3), 20},
        {"B", {}, Port(kM + 5), 1.5f},
        {"point 3 x under the trajectory", kPadSweep, Port(kPad + 4), 280},
        {"X to under the trajectory", kPadSweep, kXTo, 20},
        {"an axis limit that stops the trajectory", kPadSweep, kYFrom, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<float> before = renderPlugin(44100, c.setting, {on(0)}, kFrames, kBlock);
        const std::vector<float> after = renderPlugin(44100, c.setting, {on(0)}, kFrames, kBlock,
                                                      [&](Lv2Instance& p, int64_t start) {
                                                          if (start == kChangeAt)
                                                              p.control(c.port) = c.value;
                                                      });
        const int64_t changed = firstDifference(before, after);
        EXPECT_GE(changed, kChangeAt);
        EXPECT_LT(changed, kChangeAt + kBlock);
    }
}

// A shape parameter the host moves between runs glides across the next run
// (frame k of n plays old + (new - old) (k + 1) / n), as the same values
// given a frame at a time play; a run of one frame takes the value at once.
TEST(Plugin, AShapeParameterMovedBetweenRunsGlidesAcrossTheRun) {
    constexpr uint32_t kBlock = 512;
    constexpr int64_t kChangeAt = 100 * kBlock, kFrames = 102 * kBlock;
    const float from = kPorts[kM].start, to = 9.0f;
    const auto moved = [&](uint32_t block, bool glide) {
        return renderPlugin(44100, {}, {on(0)}, kFrames, block, [&](Lv2Instance& p, int64_t at) {
            const int64_t k = at - kChangeAt;
            if (k < 0 || k >= kBlock) return;
            const bool whole = block == kBlock || !glide || k + 1 == kBlock;
            p.control(kM) =
                whole ? to : static_cast<float>(from + (to - from) * ((k + 1.0) / kBlock));
        });
    };
    const std::vector<float> glided = moved(kBlock, true);
    EXPECT_EQ(firstDifference(glided, moved(1, true)), -1);
    EXPECT_EQ(firstDifference(glided, moved(1, false)), kChangeAt);
}

TEST(Plugin, TrajectoryRunsOnlyAsTheWindowAllowsAndStopsBackAtTheControls) {
    constexpr uint32_t kBlock = 256;
    constexpr int64_t kStopAt = 100 * kBlock, kFrames = 400 * kBlock;
    const std::vector<MidiAt> notes = {on(0), off(150 * kBlock), on(200 * kBlock)};
    const Controls base = {{kM, 9}, {Port(kM + 1), 2}};
    const std::vector<float> plain = renderPlugin(44100, base, notes, kFrames, kBlock);
    const struct {
        const char* what;
        Controls setting;
        bool runs;
    } cases[] = {
        {"both axes, from below to", kPadSweep, true},
        {"X from equal to X to",
         {{kTrajectory, 1},
          {kXParam, 1},
          {kXFrom, 5},
          {kXTo, 5},
          {kYParam, 2},
          {kYFrom, 1},
          {kYTo, 8}},
         false},
        {"Y from above Y to",
         {{kTrajectory, 1},
          {kXParam, 1},
          {kXFrom, 2},
          {kXTo, 12},
          {kYParam, 2},
          {kYFrom, 8},
          {kYTo, 1}},
         false},
        {"no Y parameter", {{kTrajectory, 1}, {kXParam, 1}, {kXFrom, 2}, {kXTo, 12}}, false},
        {"one parameter on both axes",
         {{kTrajectory, 1},
          {kXParam, 1},
          {kXFrom, 2},
          {kXTo, 12},
          {kYParam, 1},
          {kYFrom, 1},
          {kYTo, 8}},
         false},
        {"not enabled",
         {{kXParam, 1}, {kXFrom, 2}, {kXTo, 12}, {kYParam, 2}, {kYFrom, 1}, {kYTo, 8}},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(renderPlugin(44100, base + c.setting, notes, kFrames, kBlock) != plain, c.runs);
        if (!c.runs) continue;
        // Switched off mid-note: from the next run on, the parameters are
        // the controls' again and the sound is the plain one.
        const std::vector<float> stopped = renderPlugin(44100, base + c.setting, notes, kFrames,
                                                        kBlock, [&](Lv2Instance& p, int64_t start) {
                                                            if (start == kStopAt)
                                                                p.control(kTrajectory) = 0;
                                                        });
        EXPECT_LT(firstDifference(stopped, plain), kStopAt);
        EXPECT_TRUE(std::equal(stopped.begin() + kStopAt, stopped.end(), plain.begin() + kStopAt));
    }
}

TEST(Plugin, ControlsAreClampedToTheirRanges) {
    const std::vector<MidiAt> notes = {on(0), off(60000), on(90000), off(130000)};
    const Controls base = {{kTrajectory, 1}, {kXParam, 5},   {kXFrom, 0.2f}, {kXTo, 0.4f},
                           {kYParam, 3},     {kYFrom, 0.1f}, {kYTo, 1},      {kAttack, 500}};
    const struct {
        uint32_t port;
        float outside;
        float limit;
    } cases[] = {
        {kM, 1000, 25},
        {Port(kM + 1), NAN, 0.1f},
        {Port(kM + 5), -1, 0.001f},
        {kAttack, 0.2f, 1},
        {kSustain, 150, 100},
        {kRelease, 1e9f, 5000},
        {Port(kPad + 4), 500, 300},
        {Port(kPad + 7), -20, 0},
        {kXTo, 50, 5},
    };
    const std::vector<float> plain = renderPlugin(44100, base, notes, 160000);
    for (const auto& c : cases) {
        SCOPED_TRACE(kPorts[c.port].symbol);
        Controls outside = base, limit = base;
        outside.emplace_back(c.port, c.outside);
        limit.emplace_back(c.port, c.limit);
        const std::vector<float> clamped = renderPlugin(44100, outside, notes, 160000);
        EXPECT_EQ(firstDifference(clamped, renderPlugin(44100, limit, notes, 160000)), -1);
        EXPECT_NE(clamped, plain);
    }
}

// --- MIDI -----------------------------------------------------------------------------------

TEST(Plugin, ChannelControlFiltersAndPassingNotesPlayAsChannelOne) {
    const std::vector<float> reference = renderPlugin(44100, {}, {on(300), off(40000)}, 80000);
    const struct {
        float control;
        int channel;
        bool plays;
    } cases[] = {{0, 1, true}, {0, 10, true}, {1, 1, true},   {1, 2, false},
                 {5, 5, true}, {5, 6, false}, {16, 16, true}, {16, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.control) + " / " + std::to_string(c.channel));
        const std::vector<float> got =
            renderPlugin(44100, {{kChannel, c.control}},
                         {on(300, 69, c.channel), off(40000, 69, c.channel)}, 80000);
        if (c.plays) {
            EXPECT_EQ(firstDifference(got, reference), -1);
        } else {
            EXPECT_TRUE(silent(got));
        }
    }
    // A note held on a channel the new setting shuts out ends when it changes.
    const std::vector<float> released = renderPlugin(44100, {}, {on(300, 69, 2), off(40000, 69, 2)},
                                                     80000, 256, [](Lv2Instance& p, int64_t start) {
                                                         if (start == 100 * 256)
                                                             p.control(kChannel) = 3;
                                                     });
    EXPECT_EQ(firstDifference(released, renderPlugin(44100, {}, {on(300), off(100 * 256)}, 80000)),
              -1);
}

TEST(Plugin, MalformedMidiEventsChangeNothing) {
    // Note-on before each bad event, so a running status would complete it.
    const std::vector<MidiAt> notes = {on(100), off(50000), on(70000), off(90000)};
    const std::vector<float> reference = renderPlugin(44100, {}, notes, 120000, 512);
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {0x90},
        {0x90, 69},
        {0x45},
        {0x45, 0x00},
        {0x40, 0x64, 0x30},
        {0xF0, 0x7E, 0x7F, 0x06, 0x01},
        {0xF0, 0x80, 69, 0, 0xF7},
        {0xF7, 0x80, 69},
        {0x80},
        {0xC0},
        {0x90, 0xC5, 0x00},
        {0xF8},
        {0xF8, 0x45, 0x00},
        std::vector<uint8_t>(300, 0xF0),
    };
    for (const auto& bytes : bad) {
        SCOPED_TRACE(bytes.empty()
                         ? "empty"
                         : std::to_string(bytes[0]) + " size " + std::to_string(bytes.size()));
        for (bool asMidi : {true, false}) {
            std::vector<MidiAt> events = notes;
            for (int64_t at : {101, 20000, 20000, 60000, 80001}) {
                events.push_back({at, bytes, asMidi});
            }
            std::stable_sort(events.begin(), events.end(),
                             [](const MidiAt& a, const MidiAt& b) { return a.frame < b.frame; });
            EXPECT_EQ(firstDifference(renderPlugin(44100, {}, events, 120000, 512), reference), -1);
        }
    }
    // A non-MIDI atom carrying a valid note changes nothing either.
    EXPECT_TRUE(silent(renderPlugin(44100, {}, {{100, midiBytes(0x644590), false}}, 60000)));
}

TEST(Plugin, AnEventPastTheSequenceEndEndsTheBlocksEvents) {
    const std::vector<float> note = renderPlugin(44100, {}, {on(10)}, 4096, 4096);
    for (uint32_t overrun : {1u, 9u, 1u << 20, 0x7FFFFFFFu}) {
        std::vector<MidiAt> events = {on(10), {20, midiBytes(0x647090)}, on(30, 72)};
        events[1].overrun = overrun;
        EXPECT_EQ(firstDifference(renderPlugin(44100, {}, events, 4096, 4096), note), -1)
            << overrun;
    }
}

TEST(Plugin, OutputStaysWithinOneAndLeavesOtherSamplesAsTheEngineMadeThem) {
    float in[] = {NAN, INFINITY, -INFINITY, 1.5f, -1e30f, 1.0f, -1.0f, -0.0f, 1e-40f, 0.75f};
    const float want[] = {0, 1, -1, 1, -1, 1, -1, -0.0f, 1e-40f, 0.75f};
    limitToDeviceRange(in, std::size(in));
    EXPECT_EQ(std::memcmp(in, want, sizeof in), 0);
    const std::vector<float> loud = renderPlugin(44100, kLoud, {on(0), off(30000)}, 60000);
    EXPECT_EQ(*std::max_element(loud.begin(), loud.end()), 1.0f);
    EXPECT_EQ(*std::min_element(loud.begin(), loud.end()), -1.0f);
}

TEST(Plugin, AllNotesOffReleasesAndAllSoundOffFadesOnThePassingChannels) {
    constexpr int64_t kAt = 30000, kReleased = 13230, kFaded = 1001;  // release slider 300
    const struct {
        float channelControl;
        int from, to;  // the controller goes out on these channels
        uint8_t controller;
        int64_t silentAfter;  // frames after kAt; -1: the note still sounds
    } cases[] = {{0, 1, 16, 123, kReleased}, {0, 1, 16, 120, kFaded}, {3, 1, 1, 123, -1},
                 {3, 3, 3, 123, kReleased},  {3, 3, 3, 120, kFaded},  {0, 1, 16, 121, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.controller) + " on channels " + std::to_string(c.from) +
                     " to " + std::to_string(c.to));
        std::vector<MidiAt> events = {on(0, 60, 3)};
        for (int ch = c.from; ch <= c.to; ++ch) {
            events.push_back({kAt, midiBytes(packShortMessage(0xAF + ch, c.controller, 0))});
        }
        const std::vector<float> out =
            renderPlugin(44100, {{kChannel, c.channelControl}, {kRelease, 300}}, events, 60000);
        int64_t last = static_cast<int64_t>(out.size()) - 1;
        while (last > 0 && out[last] == 0.0f) --last;
        EXPECT_NEAR(last, c.silentAfter < 0 ? 59999 : kAt + c.silentAfter, 2);
    }
}

TEST(Plugin, LatencyIsTheOnsetDelayAndExactTuningIsInTune) {
    const struct {
        double rate;
        float latency;
    } cases[] = {{44100, 1001}, {48000, 1090}, {96000, 2179}};
    for (const auto& c : cases) {
        Lv2Instance plugin(c.rate);
        ASSERT_TRUE(plugin.ok());
        const std::vector<float> out = renderWith(plugin, {on(100)}, 5000, 512);
        EXPECT_EQ(plugin.control(kLatency), c.latency) << c.rate;
        const auto first = std::find_if(out.begin(), out.end(), [](float v) { return v != 0; });
        EXPECT_EQ(first - out.begin(), 100 + c.latency + 1) << c.rate;
        for (int note : {21, 60, 108}) {
            const int64_t frames = static_cast<int64_t>(2.5 * c.rate);
            const std::vector<float> tone =
                renderPlugin(c.rate, {{kTuning, 1}, {kSustain, 100}}, {on(0, note)}, frames, 4096);
            const double cents = 1200 * std::log2(fundamental(tone, frames / 5, frames, c.rate) /
                                                  noteFrequencyOf(note));
            EXPECT_NEAR(cents, 0.0, 0.1) << c.rate << " note " << note;
        }
    }
}

TEST(Plugin, RunNeitherAllocatesNorLocks) {
    constexpr uint32_t kBlock = 256;
    Lv2Instance plugin(44100);
    ASSERT_TRUE(plugin.ok());
    for (const auto& [port, value] : kPadSweep) plugin.control(port) = value;
    std::vector<float> out(kBlock);
    const auto before = testing::realtimeViolations();
    float peak = 0;
    for (int b = 0; b < 2000; ++b) {  // about 11.6 s
        const int note = b % 120;
        std::vector<MidiAt> events;
        if (note == 0) events.push_back(on(17, 45 + b % 7));
        if (note == 70) events.push_back(off(200, 45 + (b - 70) % 7));
        if (b % 37 == 0) plugin.control(kM + b % 6) = kPorts[kM + b % 6].start * 1.1f;
        if (b % 500 == 250) plugin.control(kTrajectory) = 1.0f - plugin.control(kTrajectory);
        if (b % 300 == 0) plugin.control(kChannel) = b % 600 == 0 ? 0 : 1;
        {
            RealtimeScope scope;  // the events are ready: only the run is counted
            plugin.run(events, out);
        }
        for (float v : out) peak = std::max(peak, std::fabs(v));
    }
    const auto after = testing::realtimeViolations();
    EXPECT_EQ(after.allocations - before.allocations, 0u);
    EXPECT_EQ(after.frees - before.frees, 0u);
    EXPECT_EQ(after.locks - before.locks, 0u);
    EXPECT_GT(peak, 0.1f);
}

}  // namespace
}  // namespace tessivox::lv2
