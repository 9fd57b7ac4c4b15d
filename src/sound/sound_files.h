#pragma once

// Private to src/sound: what reading and writing sounds share.

#include <lilv/lilv.h>

#include <memory>
#include <string>
#include <vector>

#include "sound/sound.h"

namespace tessivox::sound {

using lv2::kPluginUri;
using lv2::kPortCount;
using lv2::kPorts;

inline constexpr const char* kRdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
inline constexpr const char* kRdfsNs = "http://www.w3.org/2000/01/rdf-schema#";

bool sameFile(const std::string& a, const std::string& b);
bool isFolder(const std::string& path);

using WorldPtr = std::unique_ptr<LilvWorld, decltype(&lilv_world_free)>;
using NodePtr = std::unique_ptr<LilvNode, decltype(&lilv_node_free)>;
using StatePtr = std::unique_ptr<LilvState, decltype(&lilv_state_free)>;

inline NodePtr uriNode(LilvWorld* world, const char* uri) {
    return {lilv_new_uri(world, uri), lilv_node_free};
}

// Every bundle lilv hosts find, plus the user's sounds when LV2_PATH leaves
// them out, plus the build tree's plugin when none is installed.
WorldPtr hostWorld();
// The plugin's presets in `world`, as listSounds gives them.
std::vector<Entry> listIn(LilvWorld* world);

}  // namespace tessivox::sound
