#include <dirent.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "sound/sound_files.h"

namespace tessivox::sound {

namespace {

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

}  // namespace

WorldPtr hostWorld() {
    WorldPtr world{lilv_world_new(), lilv_world_free};
    lilv_world_load_all(world.get());
    const std::string user = userPresetFolder();
    if (isFolder(user) && !onSearchPath(user)) {
        if (DIR* dir = opendir(user.c_str())) {
            while (const dirent* e = readdir(dir)) {
                const std::string name = e->d_name;
                if (name.size() > 4 && name.ends_with(".lv2"))
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

std::vector<Entry> listSounds() {
    WorldPtr world = hostWorld();
    return listIn(world.get());
}

}  // namespace tessivox::sound
