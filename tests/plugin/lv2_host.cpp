#include "lv2_host.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "sound/ports.h"

namespace tessivox::testing {

namespace {

std::map<std::string, LV2_URID>& uridTable() {
    static std::map<std::string, LV2_URID> table;
    return table;
}

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    auto& table = uridTable();
    const auto [it, added] = table.try_emplace(uri, static_cast<LV2_URID>(table.size() + 1));
    return it->second;
}

const char* unmapUri(LV2_URID_Unmap_Handle, LV2_URID urid) {
    for (const auto& [uri, id] : uridTable()) {
        if (id == urid) return uri.c_str();
    }
    return nullptr;
}

LV2_URID_Map gMap{nullptr, mapUri};
LV2_URID_Unmap gUnmap{nullptr, unmapUri};
const LV2_Feature gMapFeature{LV2_URID__map, &gMap};
const LV2_Feature gUnmapFeature{LV2_URID__unmap, &gUnmap};
const LV2_Feature* const gFeatures[] = {&gMapFeature, &gUnmapFeature, nullptr};

constexpr size_t kSequenceBytes = 1 << 16;

}  // namespace

LilvWorld* lv2World() {
    static LilvWorld* world = [] {
        LilvWorld* w = lilv_world_new();
        LilvNode* path = lilv_new_string(w, TESSIVOX_LV2_PATH);
        lilv_world_set_option(w, LILV_OPTION_LV2_PATH, path);
        lilv_node_free(path);
        lilv_world_load_all(w);
        return w;
    }();
    return world;
}

const LilvPlugin* tessivoxPlugin() {
    static const LilvPlugin* plugin = [] {
        LilvNode* uri = lilv_new_uri(lv2World(), std::string(lv2::kPluginUri).c_str());
        const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(lv2World()), uri);
        lilv_node_free(uri);
        return p;
    }();
    return plugin;
}

Lv2Instance::Lv2Instance(double rate)
    : controls_(lv2::kPortCount),
      sequence_(kSequenceBytes / sizeof(uint64_t)),
      sequenceType_(mapUri(nullptr, LV2_ATOM__Sequence)),
      midiType_(mapUri(nullptr, LV2_MIDI__MidiEvent)),
      chunkType_(mapUri(nullptr, LV2_ATOM__Chunk)) {
    if (tessivoxPlugin() == nullptr) return;
    instance_ = lilv_plugin_instantiate(tessivoxPlugin(), rate, gFeatures);
    if (instance_ == nullptr) return;
    for (uint32_t port = lv2::kM; port < lv2::kPortCount; ++port) {
        controls_[port] = lv2::kPorts[port].start;
        lilv_instance_connect_port(instance_, port, &controls_[port]);
    }
    lilv_instance_connect_port(instance_, lv2::kMidiIn, sequence_.data());
    lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
    if (instance_ == nullptr) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

void Lv2Instance::run(std::span<const MidiAt> events, std::span<float> out) {
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence_.data());
    seq->atom.type = sequenceType_;
    seq->body.unit = 0xA5A5A5A5;  // as hosts leave it: unset
    seq->body.pad = 0;
    uint32_t size = sizeof(LV2_Atom_Sequence_Body);
    for (const MidiAt& e : events) {
        auto* ev = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<char*>(&seq->body) + size);
        ev->time.frames = e.frame;
        ev->body.size = static_cast<uint32_t>(e.bytes.size());
        ev->body.type = e.midi ? midiType_ : chunkType_;
        if (!e.bytes.empty()) std::memcpy(ev + 1, e.bytes.data(), e.bytes.size());
        size += static_cast<uint32_t>(lv2_atom_pad_size(sizeof(LV2_Atom_Event) + e.bytes.size()));
    }
    seq->atom.size = size;
    for (uint32_t at = sizeof(LV2_Atom_Sequence_Body), k = 0; k < events.size(); ++k) {
        auto* ev = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<char*>(&seq->body) + at);
        const uint32_t next = at + lv2_atom_pad_size(sizeof(LV2_Atom_Event) + ev->body.size);
        if (events[k].overrun > 0) ev->body.size = size - at - sizeof *ev + events[k].overrun;
        at = next;
    }
    lilv_instance_connect_port(instance_, lv2::kOut, out.data());
    lilv_instance_run(instance_, static_cast<uint32_t>(out.size()));
}

namespace {

struct PresetTarget {
    Lv2Instance* instance;
    const LilvPlugin* plugin;
    std::vector<float>* controls;
    int set = 0;
};

void setPortValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
    auto* t = static_cast<PresetTarget*>(data);
    LilvNode* sym = lilv_new_string(lv2World(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(t->plugin, sym);
    lilv_node_free(sym);
    if (port == nullptr || size != sizeof(float) || type != mapUri(nullptr, LV2_ATOM__Float)) {
        return;
    }
    (*t->controls)[lilv_port_get_index(t->plugin, port)] = *static_cast<const float*>(value);
    ++t->set;
}

}  // namespace

int Lv2Instance::applyPreset(const LilvNode* preset) {
    lilv_world_load_resource(lv2World(), preset);
    LilvState* state = lilv_state_new_from_world(lv2World(), &gMap, preset);
    if (state == nullptr) return -1;
    PresetTarget target{this, tessivoxPlugin(), &controls_};
    lilv_state_restore(state, instance_, setPortValue, &target, 0, gFeatures);
    lilv_state_free(state);
    return target.set;
}

std::vector<float> renderWith(Lv2Instance& plugin, const std::vector<MidiAt>& events,
                              int64_t frames, uint32_t block,
                              const std::function<void(int64_t)>& beforeBlock) {
    std::vector<float> out(static_cast<size_t>(frames));
    std::vector<MidiAt> inBlock;
    size_t next = 0;
    for (int64_t start = 0; start < frames; start += block) {
        const int64_t end = std::min<int64_t>(frames, start + block);
        inBlock.clear();
        for (; next < events.size() && events[next].frame < end; ++next) {
            inBlock.push_back(events[next]);
            inBlock.back().frame -= start;
        }
        if (beforeBlock) beforeBlock(start);
        plugin.run(inBlock, std::span<float>(out.data() + start, static_cast<size_t>(end - start)));
    }
    return out;
}

std::vector<uint8_t> midiBytes(uint32_t message) {
    const auto status = static_cast<uint8_t>(message & 0xFF);
    const int size = (status & 0xE0) == 0xC0 ? 2 : status >= 0xF0 ? 1 : 3;
    std::vector<uint8_t> bytes = {status, static_cast<uint8_t>(message >> 8 & 0x7F),
                                  static_cast<uint8_t>(message >> 16 & 0x7F)};
    bytes.resize(size);
    return bytes;
}

}  // namespace tessivox::testing
