// Writes the bundle's Turtle files from the port table, so the ranges and
// defaults hosts see are the ones the plugin clamps to.
//
//   tessivox-lv2-ttl BUNDLE_DIR BINARY_NAME UI_BINARY_NAME

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sound/ports.h"

namespace tessivox::lv2 {
namespace {

constexpr const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

struct Preset {
    const char* slug;
    const char* label;
    std::vector<float> shape;                    // m, n1, n2, n3, a, b; empty keeps the defaults
    std::vector<std::pair<Port, float>> values;  // the rest keep their defaults
};

// A few sounds across the instrument's range, none of them clipping.
const std::vector<Preset>& presets() {
    static const std::vector<Preset> list = {
        {"pure-sine",
         "Pure sine",
         {4, 2, 2, 2, 1, 1},
         {{kAttack, 900}, {kDecay, 600}, {kSustain, 80}, {kRelease, 800}}},
        {"reed-pluck",
         "Reed pluck",
         {5, 1.7f, 1.7f, 1.7f, 1, 1},
         {{kDecay, 350}, {kSustain, 0}, {kRelease, 150}}},
        {"pad-sweep",
         "Pad sweep",
         {},
         {{kAttack, 1500},
          {kDecay, 2000},
          {kSustain, 70},
          {kRelease, 3000},
          {kTrajectory, 1},
          {kXParam, 1},
          {kXFrom, 2},
          {kXTo, 12},
          {kYParam, 2},
          {kYFrom, 1},
          {kYTo, 8}}},
        {"growl",
         "Growl",
         {3, 1, 1, 1, 1, 1},
         {{kAttack, 600},
          {kDecay, 1200},
          {kSustain, 60},
          {kRelease, 600},
          {kTrajectory, 1},
          {kXParam, 5},
          {kXFrom, 0.6f},
          {kXTo, 1},
          {kYParam, 3},
          {kYFrom, 0.5f},
          {kYTo, 1.5f},
          {Port(kPad + 6), 300},
          {Port(kPad + 7), 300}}},
    };
    return list;
}

bool inRange(Port port, float value) {
    const PortSpec& p = kPorts[port];
    const bool whole = !(p.properties & (kInteger | kToggled)) || value == static_cast<int>(value);
    return p.type == PortType::Control && value >= p.minimum && value <= p.maximum && whole;
}

// "Name <address>", as the package names its maintainer.
void writeMaintainer(std::ostringstream& t, const std::string& maintainer) {
    const size_t open = maintainer.find('<'), close = maintainer.find('>');
    std::string name = maintainer.substr(0, open);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    t << "    doap:maintainer [ foaf:name \"" << name << "\"";
    if (open != std::string::npos && close != std::string::npos && close > open) {
        t << " ; foaf:mbox <mailto:" << maintainer.substr(open + 1, close - open - 1) << ">";
    }
    t << " ] ;\n";
}

std::string groupUri(std::string_view symbol) {
    return std::string("<") + std::string(kPluginUri) + "#" + std::string(symbol) + ">";
}

// A control's default, range, properties, unit and named values.
void writeControlValues(std::ostream& t, uint32_t i, const PortSpec& p) {
    const bool integer = p.properties & (kInteger | kToggled);
    t << " ;\n        lv2:default " << turtleNumber(p.start, integer) << " ;\n        lv2:minimum "
      << turtleNumber(p.minimum, integer) << " ;\n        lv2:maximum "
      << turtleNumber(p.maximum, integer);
    if (p.properties & kInteger) t << " ;\n        lv2:portProperty lv2:integer";
    if (p.properties & kToggled) t << " ;\n        lv2:portProperty lv2:toggled";
    if (p.properties & kEnumeration) t << " ;\n        lv2:portProperty lv2:enumeration";
    if (!p.unit.empty()) t << " ;\n        units:unit units:" << p.unit;
    if (i == kXParam || i == kYParam) {
        // 0 is none, 1 to 6 the parameters in the window's order.
        for (int k = 0; k <= kParamCount; ++k) {
            t << (k == 0 ? " ;\n        lv2:scalePoint " : " , ") << "[ rdfs:label \""
              << (k == 0 ? "none" : kParamSliders[k - 1].name) << "\" ; rdf:value " << k << " ]";
        }
    } else if (i == kTuning) {
        t << " ;\n        lv2:scalePoint "
          << "[ rdfs:label \"Whole-sample periods\" ; rdf:value 0 ] , "
          << "[ rdfs:label \"Exact pitch\" ; rdf:value 1 ]";
    } else if (i == kChannel) {
        for (int k = 0; k <= 16; ++k) {
            t << (k == 0 ? " ;\n        lv2:scalePoint " : " , ") << "[ rdfs:label \""
              << (k == 0 ? std::string("All") : std::to_string(k)) << "\" ; rdf:value " << k
              << " ]";
        }
    }
}

void writePort(std::ostream& t, uint32_t i) {
    const PortSpec& p = kPorts[i];
    t << (i == 0 ? " [\n" : " , [\n");
    switch (p.type) {
        case PortType::MidiIn:
            t << "        a lv2:InputPort , atom:AtomPort ;\n"
              << "        atom:bufferType atom:Sequence ;\n"
              << "        atom:supports midi:MidiEvent ;\n"
              << "        lv2:designation lv2:control ;\n";
            break;
        case PortType::AudioOut:
            t << "        a lv2:OutputPort , lv2:AudioPort ;\n";
            break;
        case PortType::Control:
            t << "        a lv2:InputPort , lv2:ControlPort ;\n";
            break;
        case PortType::ControlOut:
            t << "        a lv2:OutputPort , lv2:ControlPort ;\n"
              << "        lv2:designation lv2:latency ;\n"
              << "        lv2:portProperty lv2:reportsLatency ;\n";
            break;
    }
    t << "        lv2:index " << i << " ;\n"
      << "        lv2:symbol \"" << p.symbol << "\" ;\n"
      << "        lv2:name \"" << p.name << "\"";
    if (!p.comment.empty()) t << " ;\n        rdfs:comment \"" << p.comment << "\"";
    if (!p.group.empty()) t << " ;\n        pg:group " << groupUri(p.group);
    if (p.type == PortType::Control || p.type == PortType::ControlOut) writeControlValues(t, i, p);
}

std::string pluginTtl() {
    std::ostringstream t;
    t << kPrefixes;
    for (const PortGroup& g : kPortGroups) {
        t << groupUri(g.symbol) << "\n    a pg:Group ;\n    lv2:symbol \"" << g.symbol
          << "\" ;\n    rdfs:label \"" << g.label << "\" .\n\n";
    }
    t << "<" << kPluginUri << ">\n"
      << "    a lv2:Plugin , lv2:InstrumentPlugin , doap:Project ;\n"
      << "    doap:name \"Tessivox\" ;\n"
      << "    doap:license <" << TESSIVOX_LICENSE_URI << "> ;\n";
    writeMaintainer(t, TESSIVOX_MAINTAINER);
    t << "    lv2:minorVersion " << TESSIVOX_LV2_MINOR << " ;\n"
      << "    lv2:microVersion " << TESSIVOX_LV2_MICRO << " ;\n"
      << "    rdfs:comment \"One-voice superformula synthesizer: six shape parameters, an "
         "envelope, and a pad trajectory that moves two parameters over each note.\" ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
      << "    lv2:port";
    for (uint32_t i = 0; i < kPortCount; ++i) {
        writePort(t, i);
        t << "\n    ]";
    }
    t << " .\n";
    return t.str();
}

std::string manifestTtl(const std::string& binary, const std::string& uiBinary) {
    std::ostringstream t;
    t << kPrefixes << "<" << kPluginUri << ">\n"
      << "    a lv2:Plugin ;\n"
      << "    lv2:binary <" << binary << "> ;\n"
      << "    ui:ui <" << kUiUri << "> ;\n"
      << "    rdfs:seeAlso <tessivox.ttl> .\n\n"
      << "<" << kUiUri << ">\n"
      << "    a ui:X11UI ;\n"
      << "    ui:binary <" << uiBinary << "> ;\n"
      << "    lv2:requiredFeature ui:idleInterface ;\n"
      << "    lv2:optionalFeature ui:parent , ui:resize ;\n"
      << "    lv2:extensionData ui:idleInterface .\n";
    for (const Preset& preset : presets()) {
        t << "\n<" << kPresetUriPrefix << preset.slug << ">\n"
          << "    a pset:Preset ;\n"
          << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
          << "    rdfs:seeAlso <presets.ttl> .\n";
    }
    return t.str();
}

// Every control port is written, so a preset sets the whole sound.
bool presetsTtl(std::string& out) {
    std::ostringstream t;
    t << kPrefixes;
    for (const Preset& preset : presets()) {
        float values[kPortCount];
        for (uint32_t i = 0; i < kPortCount; ++i) values[i] = kPorts[i].start;
        std::vector<std::pair<Port, float>> all;
        for (size_t k = 0; k < preset.shape.size(); ++k) {
            all.emplace_back(Port(kM + k), preset.shape[k]);
        }
        all.insert(all.end(), preset.values.begin(), preset.values.end());
        for (const auto& [port, value] : all) {
            if (!inRange(port, value)) {
                std::fprintf(stderr, "preset %s: %s = %g is out of range\n", preset.slug,
                             std::string(kPorts[port].symbol).c_str(), value);
                return false;
            }
            values[port] = value;
        }
        t << "<" << kPresetUriPrefix << preset.slug << ">\n"
          << "    a pset:Preset ;\n"
          << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
          << "    rdfs:label \"" << preset.label << "\" ;\n"
          << "    lv2:port";
        // Decimals: hosts take a preset's port values as floats.
        for (uint32_t i = kM; i < kPortCount; ++i) {
            if (kPorts[i].type != PortType::Control) continue;
            t << (i == kM ? " [\n" : " , [\n") << "        lv2:symbol \"" << kPorts[i].symbol
              << "\" ;\n        pset:value " << turtleNumber(values[i], false) << "\n    ]";
        }
        t << " .\n\n";
    }
    out = t.str();
    return true;
}

bool write(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    f.close();
    if (!f) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return static_cast<bool>(f);
}

}  // namespace
}  // namespace tessivox::lv2

int main(int argc, char** argv) {
    using namespace tessivox::lv2;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s BUNDLE_DIR BINARY_NAME UI_BINARY_NAME\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::string presetText;
    if (!presetsTtl(presetText)) return 1;
    const bool ok = write(dir + "/tessivox.ttl", pluginTtl()) &&
                    write(dir + "/manifest.ttl", manifestTtl(argv[2], argv[3])) &&
                    write(dir + "/presets.ttl", presetText);
    return ok ? 0 : 1;
}
