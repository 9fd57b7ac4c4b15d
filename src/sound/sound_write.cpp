#include <fcntl.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <serd/serd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sound/file_beside.h"
#include "sound/sound_files.h"
#include "sound/sound_names.h"

namespace tessivox::sound {

namespace {

constexpr const char* kXsdDecimal = "http://www.w3.org/2001/XMLSchema#decimal";

SerdNode uri(const char* text) {
    return serd_node_from_string(SERD_URI, reinterpret_cast<const uint8_t*>(text));
}
// The node points into `text`, which must outlive it.
SerdNode literal(const char* text) {
    return serd_node_from_string(SERD_LITERAL, reinterpret_cast<const uint8_t*>(text));
}

// Turtle through serd into `file`; false if serd refused anything.
bool writeTurtle(std::FILE* file, const std::string& fileName, const Sound* sound) {
    SerdEnv* env = serd_env_new(nullptr);
    SerdWriter* w = serd_writer_new(
        SERD_TURTLE, static_cast<SerdStyle>(SERD_STYLE_ABBREVIATED | SERD_STYLE_CURIED), env,
        nullptr, serd_file_sink, file);
    bool ok = true;
    const std::pair<const char*, const char*> prefixes[] = {
        {"lv2", LV2_CORE_PREFIX}, {"pset", LV2_PRESETS_PREFIX}, {"rdfs", kRdfsNs}};
    for (const auto& [name, ns] : prefixes) {
        const SerdNode n = literal(name);
        const SerdNode u = uri(ns);
        ok = ok && serd_writer_set_prefix(w, &n, &u) == SERD_SUCCESS;
    }
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
        statement(0, subject, (std::string(kRdfsNs) + "label").c_str(),
                  literal(sound->name.c_str()));
        const SerdNode decimalType = uri(kXsdDecimal);
        for (uint32_t port = 0; port < kPortCount; ++port) {
            if (!inSound(port)) continue;
            const std::string id = "port" + std::to_string(port);
            const SerdNode blank =
                serd_node_from_string(SERD_BLANK, reinterpret_cast<const uint8_t*>(id.c_str()));
            statement(SERD_ANON_O_BEGIN, subject, LV2_CORE__port, blank);
            statement(SERD_ANON_CONT, blank, LV2_CORE__symbol,
                      literal(std::string(kPorts[port].symbol).c_str()));
            statement(SERD_ANON_CONT, blank, LV2_PRESETS__value,
                      literal(lv2::turtleNumber(sound->values[port], false).c_str()), &decimalType);
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
        char beside[4096];
        const int fd = createBeside(finalPath, plainCreateMode(), beside, sizeof beside);
        if (fd < 0) return errno;
        path = beside;
        std::FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            const int error = errno;
            close(fd);
            return error;
        }
        errno = 0;
        int error = writeTurtle(file, fileName, sound) ? 0 : (errno ? errno : EIO);
        if (std::fflush(file) != 0 && error == 0) error = errno;
        if (fsync(fileno(file)) != 0 && error == 0) error = errno;
        if (std::fclose(file) != 0 && error == 0) error = errno;
        return error;
    }

    // Errno on failure, 0 on success.
    int commit() {
        if (std::rename(path.c_str(), target.c_str()) != 0) return errno;
        committed = true;
        return 0;
    }
};

// The manifest this program writes for a preset file: a bundle whose
// manifest is any other was written by someone else, and is not replaced.
std::string manifestFor(const std::string& fileName) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    if (memory == nullptr) return {};
    const bool ok = writeTurtle(memory, fileName, nullptr);
    std::fclose(memory);
    std::string manifest = ok ? std::string(text, size) : std::string();
    std::free(text);
    return manifest;
}

bool writtenHere(const std::string& bundle, const std::string& fileName) {
    std::FILE* file = std::fopen((bundle + "/manifest.ttl").c_str(), "rb");
    if (file == nullptr) return false;
    const std::string want = manifestFor(fileName);
    std::string got(want.size() + 1, '\0');
    got.resize(std::fread(got.data(), 1, got.size(), file));
    std::fclose(file);
    return !want.empty() && got == want;
}

// Held while a save looks for the name and writes, so that two programs
// saving one name at once make one sound, not two.
struct SaveLock {
    explicit SaveLock(const std::string& folder) {
        fd = open((folder + "/.tessivox-save.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        // A save takes a moment; one that holds it far longer is stuck, and is not waited for.
        for (int tries = 0; fd >= 0 && tries < 500; ++tries) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) return;
            usleep(10000);
        }
        error = fd < 0 ? errno : EWOULDBLOCK;
    }
    ~SaveLock() {
        if (fd >= 0) close(fd);
    }

    int fd = -1;
    int error = 0;
};

enum class Owner { Nobody, Us, Factory };

// Replacing or deleting touches only the sound's own bundle, the one its
// name loads; a sound another program saved under the same name is left alone.
Owner findOwnBundle(const std::string& soundName, const std::string& folder, std::string& bundle,
                    std::string& fileName) {
    for (const Entry& e : listSounds()) {
        if (e.name != soundName) continue;
        if (e.factory) return Owner::Factory;
        char* file = lilv_file_uri_parse(e.uri.c_str(), nullptr);
        const std::string existing = file ? file : "";
        lilv_free(file);
        const size_t slash = existing.rfind('/');
        if (slash == std::string::npos) continue;
        const std::string dir = existing.substr(0, slash);
        const std::string name = dir.substr(dir.rfind('/') + 1);
        if (!sameFile(dir.substr(0, dir.rfind('/')), folder) || name.rfind("Tessivox_", 0) != 0 ||
            !writtenHere(dir, existing.substr(slash + 1))) {
            continue;
        }
        bundle = dir;
        fileName = existing.substr(slash + 1);
        return Owner::Us;
    }
    return Owner::Nobody;
}

// A new bundle for a sound: the first free of Tessivox_SYMBOL.preset.lv2,
// Tessivox_SYMBOL_2.preset.lv2, ... Errno on failure, 0 on success.
int makeBundle(const std::string& folder, const std::string& symbol, std::string& bundle) {
    for (int n = 1;; ++n) {
        bundle =
            folder + "/Tessivox_" + symbol + (n > 1 ? "_" + std::to_string(n) : "") + ".preset.lv2";
        if (mkdir(bundle.c_str(), 0777) == 0) return 0;
        if (errno != EEXIST || n == 1000) return errno;
    }
}

// The preset file, then the manifest, each written whole beside its place
// first; a new bundle's preset goes again if its manifest cannot follow.
// Errno on failure, 0 on success.
int writeBundle(const std::string& bundle, const std::string& fileName, const Sound& sound,
                bool newBundle) {
    TempFile preset, manifest;
    int e = preset.write(bundle + "/" + fileName, fileName, &sound);
    if (e == 0) e = manifest.write(bundle + "/manifest.ttl", fileName, nullptr);
    if (e == 0) e = preset.commit();
    if (e == 0) e = manifest.commit();
    if (e != 0 && newBundle && preset.committed) unlink(preset.target.c_str());
    return e;
}

}  // namespace

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
    const bool madeFolder = mkdir(folder.c_str(), 0777) == 0;
    if (!madeFolder && errno != EEXIST) return failed(std::strerror(errno));
    const SaveLock lock(folder);
    if (lock.error != 0) return failed(std::strerror(lock.error));
    std::string bundle, fileName;
    const Owner owner = findOwnBundle(sound.name, folder, bundle, fileName);
    if (owner == Owner::Factory) {
        error = "'" + sound.name + "' is a factory sound: choose another name";
        return SaveResult::FactoryName;
    }
    if (owner == Owner::Us && !replace) return SaveResult::NameTaken;
    const bool madeBundle = owner == Owner::Nobody;
    if (madeBundle) {
        const std::string symbol = symbolOf(sound.name);
        fileName = symbol + ".ttl";
        if (const int e = makeBundle(folder, symbol, bundle); e != 0) {
            if (madeFolder) rmdir(folder.c_str());
            return failed(std::strerror(e));
        }
    }
    if (const int e = writeBundle(bundle, fileName, sound, madeBundle); e != 0) {
        if (madeBundle) rmdir(bundle.c_str());
        if (madeFolder) rmdir(folder.c_str());
        return failed(std::strerror(e));
    }
    if (path) *path = bundle + "/" + fileName;
    return SaveResult::Saved;
}

bool deleteSound(const std::string& name, std::string& error) {
    const std::string folder = userPresetFolder();
    const SaveLock lock(folder);
    std::string bundle, fileName;
    const Owner owner =
        lock.error == 0 ? findOwnBundle(name, folder, bundle, fileName) : Owner::Nobody;
    if (lock.error != 0 || owner != Owner::Us) {
        error = "cannot delete '" + name + "': " +
                (lock.error != 0           ? std::string(std::strerror(lock.error))
                 : owner == Owner::Factory ? std::string("it is a factory sound")
                                           : "no sound of yours has this name");
        return false;
    }
    // The manifest first: a bundle without one is no sound any more.
    for (const std::string& file : {bundle + "/manifest.ttl", bundle + "/" + fileName}) {
        if (unlink(file.c_str()) != 0 && errno != ENOENT) {
            error = "cannot delete '" + name + "': " + file + ": " + std::strerror(errno);
            return false;
        }
    }
    rmdir(bundle.c_str());  // kept if something else lies in it
    return true;
}

}  // namespace tessivox::sound
