#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>
#include <serd/serd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "sound/sound_files.h"

namespace tessivox::sound {

namespace {

// No sound, and why.
std::nullopt_t refuse(std::string& error, std::string why) {
    error = std::move(why);
    return std::nullopt;
}

// The URIDs lilv needs to hand over port values; nothing else is mapped.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map feature{this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
                             auto& list = static_cast<UridMap*>(h)->uris;
                             const auto at = std::find(list.begin(), list.end(), uri);
                             if (at != list.end())
                                 return static_cast<LV2_URID>(at - list.begin() + 1);
                             list.emplace_back(uri);
                             return static_cast<LV2_URID>(list.size());
                         }};
    LV2_URID map(const char* uri) { return feature.map(this, uri); }
};

int portBySymbol(const char* symbol) {
    for (uint32_t port = 0; port < kPortCount; ++port) {
        if (kPorts[port].symbol == symbol) return static_cast<int>(port);
    }
    return -1;
}

struct Reading {
    UridMap& urids;
    Sound& sound;
    std::string bad;  // the first port whose value is no number
};

// A state's port values over the start sound; ports outside it are left
// alone. The preset applies to Tessivox (and maybe to other plugins
// besides), as its finder made sure.
std::optional<Sound> readState(const LilvState* state, UridMap& urids, const std::string& what,
                               std::string& error) {
    Sound sound = startSound();
    if (const char* label = lilv_state_get_label(state)) sound.name = label;
    Reading reading{urids, sound, {}};
    lilv_state_emit_port_values(
        state,
        [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
            auto& r = *static_cast<Reading*>(user);
            const int port = portBySymbol(symbol);
            if (port < 0 || !inSound(static_cast<uint32_t>(port))) return;
            double v = NAN;
            if (type == r.urids.map(LV2_ATOM__Float) && size == sizeof(float)) {
                v = *static_cast<const float*>(value);
            } else if (type == r.urids.map(LV2_ATOM__Double) && size == sizeof(double)) {
                v = *static_cast<const double*>(value);
            } else if (type == r.urids.map(LV2_ATOM__Int) && size == sizeof(int32_t)) {
                v = *static_cast<const int32_t*>(value);
            } else if (type == r.urids.map(LV2_ATOM__Long) && size == sizeof(int64_t)) {
                v = static_cast<double>(*static_cast<const int64_t*>(value));
            } else if (type == r.urids.map(LV2_ATOM__Bool) && size == sizeof(int32_t)) {
                v = *static_cast<const int32_t*>(value) != 0;
            } else {
                if (r.bad.empty()) r.bad = symbol;
                return;
            }
            r.sound.values[port] =
                lv2::clampToPort(static_cast<uint32_t>(port), static_cast<float>(v));
        },
        &reading);
    if (!reading.bad.empty())
        return refuse(error, what + ": the value of port '" + reading.bad + "' is not a number");
    return sound;
}

// What one pass of serd finds in a file: the presets in it and the plugin
// each applies to. Only serd reads the Turtle.
struct Scan {
    SerdEnv* env = nullptr;
    std::set<std::string> presets;
    std::multimap<std::string, std::string> appliesTo;
    std::set<std::string> seeAlso;  // the files lilv would read next
    std::string error;

    std::string expand(const SerdNode* node) const {
        if (node->type == SERD_BLANK)
            return "_:" + std::string(reinterpret_cast<const char*>(node->buf));
        if (node->type != SERD_URI && node->type != SERD_CURIE) return {};
        SerdNode full = serd_env_expand_node(env, node);
        std::string text = full.buf ? reinterpret_cast<const char*>(full.buf) : "";
        serd_node_free(&full);
        return text;
    }

    // serd's error sink: the first error, as one line.
    static SerdStatus onError(void* h, const SerdError* e) {
        auto& s = *static_cast<Scan*>(h);
        if (!s.error.empty()) return SERD_SUCCESS;
        char text[256];
        va_list args;
        va_copy(args, *e->args);
        std::vsnprintf(text, sizeof text, e->fmt, args);
        va_end(args);
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
        s.error = "line " + std::to_string(e->line) + ": " + line;
        return SERD_SUCCESS;
    }
};

// A file that turtleProblem let pass, scanned.
bool scanFile(const std::string& path, Scan& scan) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) {
        scan.error = std::strerror(errno);
        return false;
    }
    char* absolute = realpath(path.c_str(), nullptr);
    SerdNode base =
        serd_node_new_file_uri(reinterpret_cast<const uint8_t*>(absolute ? absolute : path.c_str()),
                               nullptr, nullptr, true);
    std::free(absolute);
    scan.env = serd_env_new(&base);
    SerdReader* reader = serd_reader_new(
        SERD_TURTLE, &scan, nullptr,
        [](void* h, const SerdNode* uri) {
            return serd_env_set_base_uri(static_cast<Scan*>(h)->env, uri);
        },
        [](void* h, const SerdNode* name, const SerdNode* uri) {
            return serd_env_set_prefix(static_cast<Scan*>(h)->env, name, uri);
        },
        [](void* h, SerdStatementFlags, const SerdNode*, const SerdNode* subject,
           const SerdNode* predicate, const SerdNode* object, const SerdNode*, const SerdNode*) {
            auto& s = *static_cast<Scan*>(h);
            const std::string p = s.expand(predicate);
            if (p == kRdfType && s.expand(object) == LV2_PRESETS__Preset) {
                s.presets.insert(s.expand(subject));
            } else if (p == LV2_CORE__appliesTo) {
                s.appliesTo.emplace(s.expand(subject), s.expand(object));
            } else if (p == std::string(kRdfsNs) + "seeAlso") {
                s.seeAlso.insert(s.expand(object));
            }
            return SERD_SUCCESS;
        },
        nullptr);
    serd_reader_set_error_sink(reader, Scan::onError, &scan);
    const SerdStatus status = serd_reader_read_file_handle(
        reader, file.get(), reinterpret_cast<const uint8_t*>(path.c_str()));
    serd_reader_free(reader);
    serd_env_free(scan.env);
    serd_node_free(&base);
    if (status != SERD_SUCCESS && scan.error.empty())
        scan.error = reinterpret_cast<const char*>(serd_strerror(status));
    return scan.error.empty();
}

std::optional<Sound> loadFile(const std::string& given, std::string& error) {
    if (const std::string problem = turtleProblem(given); !problem.empty())
        return refuse(error, problem);
    // Read where the links end, so that the preset's own address is the one read.
    std::unique_ptr<char, decltype(&std::free)> real(realpath(given.c_str(), nullptr), std::free);
    const std::string path = real ? real.get() : given;
    Scan scan;
    if (!scanFile(path, scan))
        return refuse(error, given + ": not valid Turtle (" + scan.error + ")");
    std::vector<std::string> ours;
    std::string other;
    for (const std::string& preset : scan.presets) {
        const auto [first, last] = scan.appliesTo.equal_range(preset);
        if (std::any_of(first, last, [](const auto& at) { return at.second == kPluginUri; })) {
            ours.push_back(preset);
        } else if (other.empty()) {
            other = first == last ? "no plugin" : "<" + first->second + ">";
        }
    }
    if (ours.empty()) {
        return refuse(error,
                      given + (other.empty() ? ": holds no LV2 preset"
                                             : ": a preset of " + other + ", not of Tessivox"));
    }
    if (ours.size() > 1) {
        return refuse(error, given + ": holds " + std::to_string(ours.size()) +
                                 " Tessivox presets; give one of them by name");
    }
    if (ours[0].rfind("_:", 0) == 0) return refuse(error, given + ": the preset has no URI");
    WorldPtr world{lilv_world_new(), lilv_world_free};
    UridMap urids;
    NodePtr subject = uriNode(world.get(), ours[0].c_str());
    StatePtr state{
        lilv_state_new_from_file(world.get(), &urids.feature, subject.get(), path.c_str()),
        lilv_state_free};
    if (!state) return refuse(error, given + ": cannot be read as a preset");
    std::optional<Sound> sound = readState(state.get(), urids, given, error);
    if (sound && sound->name.empty()) sound->name = given.substr(given.rfind('/') + 1);
    return sound;
}

std::optional<Sound> loadFromWorld(LilvWorld* world, const Entry& entry, std::string& error) {
    UridMap urids;
    NodePtr node = uriNode(world, entry.uri.c_str());
    lilv_world_load_resource(world, node.get());
    StatePtr state{lilv_state_new_from_world(world, &urids.feature, node.get()), lilv_state_free};
    if (!state) return refuse(error, "the sound '" + entry.name + "' cannot be read");
    std::optional<Sound> sound = readState(state.get(), urids, "'" + entry.name + "'", error);
    if (sound) sound->name = entry.name;
    return sound;
}

}  // namespace

std::string bundleProblem(const std::string& folder) {
    const std::string manifest = folder + "/manifest.ttl";
    if (std::string problem = turtleProblem(manifest); !problem.empty()) return problem;
    Scan scan;
    if (!scanFile(manifest, scan)) return manifest + ": not valid Turtle (" + scan.error + ")";
    for (const std::string& uri : scan.seeAlso) {
        std::unique_ptr<char, decltype(&lilv_free)> file(lilv_file_uri_parse(uri.c_str(), nullptr),
                                                         lilv_free);
        if (!file || uri.rfind("file:", 0) != 0) continue;
        if (std::string problem = turtleProblem(file.get()); !problem.empty()) return problem;
    }
    return {};
}

std::optional<Sound> loadSoundEntry(const Entry& entry, std::string& error) {
    return loadFromWorld(hostWorld().get(), entry, error);
}

std::optional<Sound> loadSound(const std::string& nameOrFile, std::string& error) {
    // A folder is no sound, but a sound may be named "..", "." or "/".
    struct stat st;
    const bool exists = stat(nameOrFile.c_str(), &st) == 0;
    if (exists && !S_ISDIR(st.st_mode)) return loadFile(nameOrFile, error);
    const int statError = exists ? EISDIR : errno;
    std::vector<std::string> leftOut;
    WorldPtr world = hostWorld(&leftOut);
    const std::vector<Entry> entries = listIn(world.get());
    // A sound of the user's goes before a factory preset of the same name.
    const Entry* found = nullptr;
    for (const Entry& e : entries) {
        if (e.name == nameOrFile && (found == nullptr || found->factory)) found = &e;
    }
    const bool exact = found != nullptr;
    // Else the one name that differs only in case, if just one does.
    const auto folded = [](std::string text) {
        for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return text;
    };
    for (const Entry& e : entries) {
        if (exact || folded(e.name) != folded(nameOrFile)) continue;
        if (found != nullptr && found->name != e.name) {
            return refuse(error, "'" + nameOrFile + "' fits more than one sound: '" + found->name +
                                     "' and '" + e.name + "'");
        }
        if (found == nullptr || found->factory) found = &e;
    }
    if (found != nullptr) return loadFromWorld(world.get(), *found, error);
    const bool looksLikeFile = exists || nameOrFile.find('/') != std::string::npos ||
                               (nameOrFile.size() > 4 && nameOrFile.ends_with(".ttl"));
    if (looksLikeFile)
        return refuse(error, "cannot read " + nameOrFile + ": " + std::strerror(statError));
    return refuse(error,
                  "no sound named '" + nameOrFile + "' and no such file" +
                      (leftOut.empty() ? "" : "; a sound bundle cannot be read: " + leftOut[0]));
}

}  // namespace tessivox::sound
