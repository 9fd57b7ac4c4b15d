// Writes the bundle's Turtle files from the port table, so the ranges and
// defaults hosts see are the ones the plugin clamps to.
//
//   tessivox-lv2-ttl BUNDLE_DIR BINARY_NAME UI_BINARY_NAME

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sound/factory_sounds.h"
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
    // Named values from 0 on: the axes' 1 to 6 are the parameters in the window's order.
    std::vector<std::string> names;
    if (i == kXParam || i == kYParam) {
        names = {"none"};
        for (const SliderSpec& s : kParamSliders) names.emplace_back(s.name);
    } else if (i == kChannel) {
        names = {"All"};
        for (int k = 1; k <= 16; ++k) names.push_back(std::to_string(k));
    } else {
        names.assign(choiceLabels(i).begin(), choiceLabels(i).end());
    }
    for (size_t k = 0; k < names.size(); ++k) {
        t << (k == 0 ? " ;\n        lv2:scalePoint " : " , ") << "[ rdfs:label \"" << names[k]
          << "\" ; rdf:value " << k << " ]";
    }
}

// What each type of port is, in the order of PortType.
constexpr const char* kPortClasses[] = {
    "        a lv2:InputPort , atom:AtomPort ;\n"
    "        atom:bufferType atom:Sequence ;\n"
    "        atom:supports midi:MidiEvent ;\n"
    "        lv2:designation lv2:control ;\n",
    "        a lv2:OutputPort , lv2:AudioPort ;\n", "        a lv2:InputPort , lv2:ControlPort ;\n",
    "        a lv2:OutputPort , lv2:ControlPort ;\n"
    "        lv2:designation lv2:latency ;\n"
    "        lv2:portProperty lv2:reportsLatency ;\n"};

void writePort(std::ostream& t, uint32_t i) {
    const PortSpec& p = kPorts[i];
    t << (i == 0 ? " [\n" : " , [\n") << kPortClasses[static_cast<int>(p.type)]
      << "        lv2:index " << i << " ;\n"
      << "        lv2:symbol \"" << p.symbol << "\" ;\n"
      << "        lv2:name \"" << p.name << "\"";
    if (!p.comment.empty()) t << " ;\n        rdfs:comment \"" << p.comment << "\"";
    if (!p.group.empty()) t << " ;\n        pg:group " << groupUri(p.group);
    if (p.type == PortType::Control || p.type == PortType::ControlOut) writeControlValues(t, i, p);
    t << "\n    ]";
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
    for (uint32_t i = 0; i < kPortCount; ++i) writePort(t, i);
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
    for (const Preset& preset : kPresets) {
        t << "\n<" << kPresetUriPrefix << preset.slug << ">\n"
          << "    a pset:Preset ;\n"
          << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
          << "    rdfs:seeAlso <presets.ttl> .\n";
    }
    return t.str();
}

// Every port at its default, then the preset's settings over them.
bool presetValues(const Preset& preset, float (&values)[kPortCount]) {
    for (uint32_t i = 0; i < kPortCount; ++i) values[i] = kPorts[i].start;
    std::istringstream settings(preset.settings);
    while (!(settings >> std::ws).eof()) {
        std::string symbol;
        float value = 0;
        std::getline(settings, symbol, '=') >> value;
        const auto port = std::find_if(kPorts.begin(), kPorts.end(),
                                       [&](const PortSpec& p) { return p.symbol == symbol; });
        const Port i = static_cast<Port>(port - kPorts.begin());
        if (!settings || port == kPorts.end() || !inRange(i, value)) {
            std::fprintf(stderr, "preset %s: %s = %g is out of range\n", preset.slug,
                         symbol.c_str(), value);
            return false;
        }
        values[i] = value;
    }
    return true;
}

// Every control port is written, so a preset sets the whole sound.
bool presetsTtl(std::string& out) {
    std::ostringstream t;
    t << kPrefixes;
    for (const Preset& preset : kPresets) {
        float values[kPortCount];
        if (!presetValues(preset, values)) return false;
        t << "<" << kPresetUriPrefix << preset.slug << ">\n"
          << "    a pset:Preset ;\n"
          << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
          << "    rdfs:label \"" << preset.label << "\" ;\n"
          << "    lv2:port";
        // Decimals: hosts take a preset's port values as floats.
        for (uint32_t i = kM; i < kPortCount; ++i) {
            // The pedal is the player's: no sound switches it.
            if (kPorts[i].type != PortType::Control || i == kSustainPedal) continue;
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
