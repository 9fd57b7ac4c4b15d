#include "sound/sound.h"

#include <dirent.h>
#include <fcntl.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>
#include <pwd.h>
#include <serd/serd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace tessivox::sound {

using lv2::kPluginUri;
using lv2::kPortCount;
using lv2::kPorts;

namespace {

constexpr const char* kRdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* kRdfsNs = "http://www.w3.org/2000/01/rdf-schema#";
constexpr const char* kXsdDecimal = "http://www.w3.org/2001/XMLSchema#decimal";
constexpr size_t kMaxNameLength = 100;  // characters

std::string errnoText(int error) {
    return std::strerror(error);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

using WorldPtr = std::unique_ptr<LilvWorld, decltype(&lilv_world_free)>;
using NodePtr = std::unique_ptr<LilvNode, decltype(&lilv_node_free)>;
using StatePtr = std::unique_ptr<LilvState, decltype(&lilv_state_free)>;

NodePtr uriNode(LilvWorld* world, const char* uri) {
    return {lilv_new_uri(world, uri), lilv_node_free};
}

void loadBundle(LilvWorld* world, const std::string& folder) {
    NodePtr bundle{lilv_new_file_uri(world, nullptr, (folder + "/").c_str()), lilv_node_free};
    if (bundle) lilv_world_load_bundle(world, bundle.get());
}

bool onSearchPath(const std::string& folder) {
    const char* path = std::getenv("LV2_PATH");
    if (path == nullptr) return true;  // lilv's default starts with ~/.lv2
    std::string list = path;
    size_t start = 0;
    for (;;) {
        const size_t end = list.find(':', start);
        std::string dir = list.substr(start, end - start);
        if (dir.rfind("~/", 0) == 0) dir = folder.substr(0, folder.size() - 5) + dir.substr(1);
        if (!dir.empty() && sameFile(dir, folder)) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

// The bundle a build tree holds beside its programs, if any.
std::string builtBundle() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    std::string dir(exe, static_cast<size_t>(n));
    dir.resize(dir.rfind('/'));
    const std::string bundle = dir + "/../lv2/tessivox.lv2";
    return isFolder(bundle) ? bundle : std::string();
}

// Every bundle lilv hosts find, plus the user's sounds when LV2_PATH leaves
// them out, plus the build tree's plugin when none is installed.
WorldPtr hostWorld() {
    WorldPtr world{lilv_world_new(), lilv_world_free};
    lilv_world_load_all(world.get());
    const std::string user = userPresetFolder();
    if (isFolder(user) && !onSearchPath(user)) {
        if (DIR* dir = opendir(user.c_str())) {
            while (const dirent* e = readdir(dir)) {
                const std::string name = e->d_name;
                if (name.size() > 4 && name.compare(name.size() - 4, 4, ".lv2") == 0)
                    loadBundle(world.get(), user + "/" + name);
            }
            closedir(dir);
        }
    }
    NodePtr plugin = uriNode(world.get(), kPluginUri.data());
    if (!lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world.get()), plugin.get())) {
        const std::string built = builtBundle();
        if (!built.empty()) loadBundle(world.get(), built);
    }
    return world;
}

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

// A state's port values into the sound; ports outside it are left alone.
bool readState(const LilvState* state, UridMap& urids, Sound& sound, const std::string& what,
               std::string& error) {
    const LilvNode* applies = lilv_state_get_plugin_uri(state);
    if (applies == nullptr || kPluginUri != lilv_node_as_uri(applies)) {
        error = what + ": a preset of " +
                (applies ? std::string("<") + lilv_node_as_uri(applies) + ">" : "no plugin") +
                ", not of Tessivox";
        return false;
    }
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
            r.sound.values[port] = clampToPort(static_cast<uint32_t>(port), static_cast<float>(v));
        },
        &reading);
    if (!reading.bad.empty()) {
        error = what + ": the value of port '" + reading.bad + "' is not a number";
        return false;
    }
    return true;
}

// What one pass of serd finds in a file: the presets in it and the plugin
// each applies to. Only serd reads the Turtle.
struct Scan {
    SerdEnv* env = nullptr;
    std::set<std::string> presets;
    std::map<std::string, std::string> appliesTo;
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
};

bool scanFile(const std::string& path, std::FILE* file, Scan& scan) {
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
                s.appliesTo[s.expand(subject)] = s.expand(object);
            }
            return SERD_SUCCESS;
        },
        nullptr);
    serd_reader_set_error_sink(
        reader,
        [](void* h, const SerdError* e) {
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
        },
        &scan);
    const SerdStatus status =
        serd_reader_read_file_handle(reader, file, reinterpret_cast<const uint8_t*>(path.c_str()));
    serd_reader_free(reader);
    serd_env_free(scan.env);
    serd_node_free(&base);
    if (status != SERD_SUCCESS && scan.error.empty())
        scan.error = reinterpret_cast<const char*>(serd_strerror(status));
    return scan.error.empty();
}

std::optional<Sound> loadFile(const std::string& path, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) {
        error = "cannot read " + path + ": " + errnoText(errno);
        return std::nullopt;
    }
    Scan scan;
    if (!scanFile(path, file.get(), scan)) {
        error = path + ": not valid Turtle (" + scan.error + ")";
        return std::nullopt;
    }
    file.reset();
    std::vector<std::string> ours;
    std::string other;
    for (const std::string& preset : scan.presets) {
        const auto applies = scan.appliesTo.find(preset);
        if (applies != scan.appliesTo.end() && applies->second == kPluginUri) {
            ours.push_back(preset);
        } else if (other.empty()) {
            other = applies == scan.appliesTo.end() ? "no plugin" : "<" + applies->second + ">";
        }
    }
    if (ours.empty()) {
        error = path + (other.empty() ? ": holds no LV2 preset"
                                      : ": a preset of " + other + ", not of Tessivox");
        return std::nullopt;
    }
    if (ours.size() > 1) {
        error = path + ": holds " + std::to_string(ours.size()) +
                " Tessivox presets; give one of them by name";
        return std::nullopt;
    }
    if (ours[0].rfind("_:", 0) == 0) {
        error = path + ": the preset has no URI";
        return std::nullopt;
    }
    WorldPtr world{lilv_world_new(), lilv_world_free};
    UridMap urids;
    NodePtr subject = uriNode(world.get(), ours[0].c_str());
    StatePtr state{
        lilv_state_new_from_file(world.get(), &urids.feature, subject.get(), path.c_str()),
        lilv_state_free};
    Sound sound = startSound();
    if (!state) {
        error = path + ": cannot be read as a preset";
        return std::nullopt;
    }
    if (!readState(state.get(), urids, sound, path, error)) return std::nullopt;
    if (sound.name.empty()) {
        sound.name = path.substr(path.rfind('/') + 1);
    }
    return sound;
}

std::optional<Sound> loadFromWorld(LilvWorld* world, const Entry& entry, std::string& error) {
    UridMap urids;
    NodePtr node = uriNode(world, entry.uri.c_str());
    lilv_world_load_resource(world, node.get());
    StatePtr state{lilv_state_new_from_world(world, &urids.feature, node.get()), lilv_state_free};
    if (!state) {
        error = "the sound '" + entry.name + "' cannot be read";
        return std::nullopt;
    }
    Sound sound = startSound();
    if (!readState(state.get(), urids, sound, "'" + entry.name + "'", error)) return std::nullopt;
    sound.name = entry.name;
    return sound;
}

std::vector<Entry> listIn(LilvWorld* world) {
    NodePtr plugin = uriNode(world, kPluginUri.data());
    NodePtr appliesTo = uriNode(world, LV2_CORE__appliesTo);
    NodePtr type = uriNode(world, kRdfType);
    NodePtr presetClass = uriNode(world, LV2_PRESETS__Preset);
    NodePtr label = uriNode(world, (std::string(kRdfsNs) + "label").c_str());
    std::vector<Entry> entries;
    LilvNodes* subjects = lilv_world_find_nodes(world, nullptr, appliesTo.get(), plugin.get());
    LILV_FOREACH(nodes, i, subjects) {
        const LilvNode* preset = lilv_nodes_get(subjects, i);
        if (!lilv_node_is_uri(preset) ||
            !lilv_world_ask(world, preset, type.get(), presetClass.get()))
            continue;
        lilv_world_load_resource(world, preset);
        Entry e;
        e.uri = lilv_node_as_uri(preset);
        e.factory = e.uri.rfind(lv2::kPresetUriPrefix, 0) == 0;
        LilvNode* name = lilv_world_get(world, preset, label.get(), nullptr);
        e.name = name ? lilv_node_as_string(name) : e.uri.substr(e.uri.rfind('/') + 1);
        lilv_node_free(name);
        entries.push_back(std::move(e));
    }
    lilv_nodes_free(subjects);
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.factory != b.factory ? a.factory : a.name < b.name;
    });
    return entries;
}

// A file name part from a sound's name, as hosts make them: letters, digits
// and '_' only.
std::string symbolOf(const std::string& name) {
    std::string symbol;
    for (const char c : name) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        symbol += plain ? c : '_';
        if (symbol.size() == 48) break;
    }
    if (symbol.find_first_not_of('_') == std::string::npos) symbol = "sound";
    return symbol;
}

// Empty for a name a sound may have, else why not.
std::string nameProblem(const std::string& name) {
    if (name.find_first_not_of(" \t") == std::string::npos) return "a sound needs a name";
    size_t characters = 0;
    for (size_t i = 0; i < name.size(); ++characters) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F)
            return "a sound's name is one line of text, without control characters";
        const size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > name.size()) return "a sound's name must be UTF-8 text";
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80)
                return "a sound's name must be UTF-8 text";
        }
        i += length;
    }
    if (characters > kMaxNameLength)
        return "a sound's name has at most " + std::to_string(kMaxNameLength) + " characters";
    return {};
}

std::string decimal(float value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    std::string s(text, end);
    if (s.find('.') == std::string::npos) s += ".0";
    return s;
}

SerdNode uri(const char* text) {
    return serd_node_from_string(SERD_URI, reinterpret_cast<const uint8_t*>(text));
}
// The node points into `text`, which must outlive it.
SerdNode literal(const char* text) {
    return serd_node_from_string(SERD_LITERAL, reinterpret_cast<const uint8_t*>(text));
}
SerdNode literal(const std::string& text) {
    return literal(text.c_str());
}

// Turtle through serd into `file`; false if serd refused anything.
bool writeTurtle(std::FILE* file, const std::string& fileName, const Sound* sound) {
    SerdEnv* env = serd_env_new(nullptr);
    SerdWriter* w = serd_writer_new(
        SERD_TURTLE, static_cast<SerdStyle>(SERD_STYLE_ABBREVIATED | SERD_STYLE_CURIED), env,
        nullptr, serd_file_sink, file);
    bool ok = true;
    const auto prefix = [&](const char* name, const char* ns) {
        const SerdNode n = literal(name);
        const SerdNode u = uri(ns);
        ok = ok && serd_writer_set_prefix(w, &n, &u) == SERD_SUCCESS;
    };
    prefix("lv2", LV2_CORE_PREFIX);
    prefix("pset", LV2_PRESETS_PREFIX);
    prefix("rdfs", kRdfsNs);
    const auto statement = [&](SerdStatementFlags flags, const SerdNode& s, const char* p,
                               const SerdNode& o, const SerdNode* type = nullptr) {
        const SerdNode predicate = uri(p);
        ok = ok && serd_writer_write_statement(w, flags, nullptr, &s, &predicate, &o, type,
                                               nullptr) == SERD_SUCCESS;
    };
    // The subject is the preset file itself, as lilv's own state saving has it.
    const SerdNode subject = uri(fileName.c_str());
    statement(0, subject, kRdfType, uri(LV2_PRESETS__Preset));
    statement(0, subject, LV2_CORE__appliesTo, uri(kPluginUri.data()));
    if (sound == nullptr) {
        statement(0, subject, (std::string(kRdfsNs) + "seeAlso").c_str(), subject);
    } else {
        statement(0, subject, (std::string(kRdfsNs) + "label").c_str(), literal(sound->name));
        const SerdNode decimalType = uri(kXsdDecimal);
        for (uint32_t port = 0; port < kPortCount; ++port) {
            if (!inSound(port)) continue;
            const std::string id = "port" + std::to_string(port);
            const SerdNode blank =
                serd_node_from_string(SERD_BLANK, reinterpret_cast<const uint8_t*>(id.c_str()));
            statement(SERD_ANON_O_BEGIN, subject, LV2_CORE__port, blank);
            statement(SERD_ANON_CONT, blank, LV2_CORE__symbol,
                      literal(std::string(kPorts[port].symbol)));
            statement(SERD_ANON_CONT, blank, LV2_PRESETS__value,
                      literal(decimal(sound->values[port])), &decimalType);
            ok = ok && serd_writer_end_anon(w, &blank) == SERD_SUCCESS;
        }
    }
    ok = ok && serd_writer_finish(w) == SERD_SUCCESS;
    serd_writer_free(w);
    serd_env_free(env);
    return ok;
}

// A file written beside its final place and renamed over it only when
// complete; removed again unless committed.
struct TempFile {
    std::string path;
    std::string target;
    bool committed = false;
    ~TempFile() {
        if (!path.empty() && !committed) unlink(path.c_str());
    }

    // Errno on failure, 0 on success.
    int write(const std::string& finalPath, const std::string& fileName, const Sound* sound) {
        target = finalPath;
        std::string pattern = finalPath + ".XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) return errno;
        path = pattern;
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        std::FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            const int error = errno;
            close(fd);
            return error;
        }
        errno = 0;
        const bool written = writeTurtle(file, fileName, sound);
        int error = written ? 0 : (errno ? errno : EIO);
        if (std::fflush(file) != 0 && error == 0) error = errno;
        if (fsync(fileno(file)) != 0 && error == 0) error = errno;
        if (std::fclose(file) != 0 && error == 0) error = errno;
        return error;
    }
};

}  // namespace

bool inSound(uint32_t port) {
    return port < kPortCount && kPorts[port].type == lv2::PortType::Control &&
           kPorts[port].symbol != "channel";
}

float clampToPort(uint32_t port, float value) {
    const lv2::PortSpec& spec = kPorts[port];
    if (!(value >= spec.minimum)) value = spec.minimum;
    if (value > spec.maximum) value = spec.maximum;
    if (spec.properties & (lv2::kInteger | lv2::kToggled)) value = std::nearbyint(value);
    return value;
}

Sound startSound() {
    Sound sound;
    for (uint32_t port = 0; port < kPortCount; ++port) sound.values[port] = kPorts[port].start;
    return sound;
}

std::string userPresetFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : "/";
    }
    return std::string(home) + "/.lv2";
}

std::vector<Entry> listSounds() {
    WorldPtr world = hostWorld();
    return listIn(world.get());
}

std::optional<Sound> loadSoundEntry(const Entry& entry, std::string& error) {
    WorldPtr world = hostWorld();
    return loadFromWorld(world.get(), entry, error);
}

std::optional<Sound> loadSound(const std::string& nameOrFile, std::string& error) {
    struct stat st;
    if (stat(nameOrFile.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error = "cannot read " + nameOrFile + ": " + errnoText(EISDIR);
            return std::nullopt;
        }
        return loadFile(nameOrFile, error);
    }
    const int statError = errno;
    WorldPtr world = hostWorld();
    const std::vector<Entry> entries = listIn(world.get());
    // A sound of the user's goes before a factory preset of the same name.
    const Entry* found = nullptr;
    for (const Entry& e : entries) {
        if (e.name == nameOrFile && (found == nullptr || found->factory)) found = &e;
    }
    if (found != nullptr) return loadFromWorld(world.get(), *found, error);
    const bool looksLikeFile =
        nameOrFile.find('/') != std::string::npos ||
        (nameOrFile.size() > 4 && nameOrFile.compare(nameOrFile.size() - 4, 4, ".ttl") == 0);
    error = looksLikeFile ? "cannot read " + nameOrFile + ": " + errnoText(statError)
                          : "no sound named '" + nameOrFile + "' and no such file";
    return std::nullopt;
}

SaveResult saveSound(const Sound& sound, bool replace, std::string& error, std::string* path) {
    const std::string folder = userPresetFolder();
    const auto failed = [&](const std::string& why) {
        error = "cannot save '" + sound.name + "' in " + folder + ": " + why;
        return SaveResult::Failed;
    };
    if (const std::string problem = nameProblem(sound.name); !problem.empty()) {
        error = problem;
        return SaveResult::Failed;
    }
    // Replacing keeps the sound's own bundle; a sound another host saved
    // under the same name is left alone.
    std::string bundle;
    std::string fileName;
    for (const Entry& e : listSounds()) {
        if (e.name != sound.name) continue;
        if (e.factory) {
            error = "'" + sound.name + "' is a factory sound: choose another name";
            return SaveResult::Failed;
        }
        char* file = lilv_file_uri_parse(e.uri.c_str(), nullptr);
        const std::string existing = file ? file : "";
        lilv_free(file);
        const size_t slash = existing.rfind('/');
        if (slash == std::string::npos) continue;
        const std::string dir = existing.substr(0, slash);
        const std::string name = dir.substr(dir.rfind('/') + 1);
        if (!sameFile(dir.substr(0, dir.rfind('/')), folder) || name.rfind("Tessivox_", 0) != 0)
            continue;
        if (!replace) return SaveResult::NameTaken;
        bundle = dir;
        fileName = existing.substr(slash + 1);
    }
    bool madeFolder = false;
    bool madeBundle = false;
    if (bundle.empty()) {
        if (mkdir(folder.c_str(), 0777) == 0) {
            madeFolder = true;
        } else if (errno != EEXIST) {
            return failed(errnoText(errno));
        }
        const std::string symbol = symbolOf(sound.name);
        fileName = symbol + ".ttl";
        for (int n = 1;; ++n) {
            bundle = folder + "/Tessivox_" + symbol + (n > 1 ? "_" + std::to_string(n) : "") +
                     ".preset.lv2";
            if (mkdir(bundle.c_str(), 0777) == 0) break;
            if (errno != EEXIST || n == 1000) {
                const int e = errno;
                if (madeFolder) rmdir(folder.c_str());
                return failed(errnoText(e));
            }
        }
        madeBundle = true;
    }
    int e = 0;
    {
        TempFile preset, manifest;
        e = preset.write(bundle + "/" + fileName, fileName, &sound);
        if (e == 0) e = manifest.write(bundle + "/manifest.ttl", fileName, nullptr);
        if (e == 0 && std::rename(preset.path.c_str(), preset.target.c_str()) != 0) e = errno;
        if (e == 0) {
            preset.committed = true;
            if (std::rename(manifest.path.c_str(), manifest.target.c_str()) != 0) {
                e = errno;
                if (madeBundle) unlink(preset.target.c_str());
            } else {
                manifest.committed = true;
            }
        }
    }
    if (e != 0) {
        if (madeBundle) rmdir(bundle.c_str());
        if (madeFolder) rmdir(folder.c_str());
        return failed(errnoText(e));
    }
    if (path) *path = bundle + "/" + fileName;
    return SaveResult::Saved;
}

}  // namespace tessivox::sound
