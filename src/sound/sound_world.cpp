#include <dirent.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "sound/sound_files.h"

namespace tessivox::sound {

namespace {

void loadBundle(LilvWorld* world, const std::string& folder) {
    NodePtr bundle{lilv_new_file_uri(world, nullptr, (folder + "/").c_str()), lilv_node_free};
    if (bundle) lilv_world_load_bundle(world, bundle.get());
}

// The search path lilv hosts use, without the user's folder: its bundles
// are loaded one by one, once checked.
std::string pathWithout(const std::string& user) {
    const char* path = std::getenv("LV2_PATH");
    const std::string list = path ? path : "~/.lv2:/usr/local/lib/lv2:/usr/lib/lv2";
    const std::string home = user.substr(0, user.size() - 5);
    std::string kept;
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = list.find(':', start);
        const std::string dir = list.substr(start, end - start);
        const std::string full = dir.rfind("~/", 0) == 0 ? home + dir.substr(1) : dir;
        if (dir.empty() || sameFile(full, user) || full == user) continue;
        kept += (kept.empty() ? "" : ":") + dir;
    }
    return kept;
}

// The bundle a build tree holds beside its programs, if any.
void loadBuiltBundle(LilvWorld* world) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    std::string dir(exe, static_cast<size_t>(n));
    dir.resize(dir.rfind('/'));
    const std::string bundle = dir + "/../lv2/tessivox.lv2";
    if (isFolder(bundle)) loadBundle(world, bundle);
}

}  // namespace

WorldPtr hostWorld(std::vector<std::string>* leftOut) {
    WorldPtr world{lilv_world_new(), lilv_world_free};
    const std::string user = userPresetFolder();
    NodePtr path{lilv_new_string(world.get(), pathWithout(user).c_str()), lilv_node_free};
    lilv_world_set_option(world.get(), LILV_OPTION_LV2_PATH, path.get());
    lilv_world_load_all(world.get());
    // Any program may write there: a bundle that would hang or crash the
    // reader is left out, and the others are loaded all the same.
    if (DIR* dir = opendir(user.c_str())) {
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name, bundle = user + "/" + name;
            if (name.size() <= 4 || !name.ends_with(".lv2") || !isFolder(bundle)) continue;
            if (const std::string problem = bundleProblem(bundle); problem.empty()) {
                loadBundle(world.get(), bundle);
            } else {
                std::fprintf(stderr, "%s: sound bundle left out: %s\n",
                             program_invocation_short_name, problem.c_str());
                if (leftOut) leftOut->push_back(problem);
            }
        }
        closedir(dir);
    }
    NodePtr plugin = uriNode(world.get(), kPluginUri.data());
    if (!lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world.get()), plugin.get()))
        loadBuiltBundle(world.get());
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
        if (char* file = lilv_file_uri_parse(e.uri.c_str(), nullptr)) {
            struct stat st;
            if (stat(file, &st) == 0)
                e.savedAt = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
            lilv_free(file);
        }
        entries.push_back(std::move(e));
    }
    lilv_nodes_free(subjects);
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.factory != b.factory) return a.factory;
        return a.name != b.name ? a.name < b.name : a.savedAt > b.savedAt;
    });
    return entries;
}

std::vector<Entry> listSounds() {
    return listIn(hostWorld().get());
}

}  // namespace tessivox::sound
