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
// Empty when the Turtle reader may be given `path`: a regular file of a
// preset's size and shape. Else one line saying why not; nothing blocks.
std::string turtleProblem(const std::string& path);
// The same for a bundle: its manifest and every file it points lilv to.
std::string bundleProblem(const std::string& folder);
bool isFolder(const std::string& path);

using WorldPtr = std::unique_ptr<LilvWorld, decltype(&lilv_world_free)>;
using NodePtr = std::unique_ptr<LilvNode, decltype(&lilv_node_free)>;
using StatePtr = std::unique_ptr<LilvState, decltype(&lilv_state_free)>;

inline NodePtr uriNode(LilvWorld* world, const char* uri) {
    return {lilv_new_uri(world, uri), lilv_node_free};
}

// Every bundle lilv hosts find, the user's sounds among them (also when
// LV2_PATH leaves them out) but for those that cannot be read safely, whose
// problems go to `leftOut`, plus the build tree's plugin when none is installed.
WorldPtr hostWorld(std::vector<std::string>* leftOut = nullptr);
// The plugin's presets in `world`, as listSounds gives them.
std::vector<Entry> listIn(LilvWorld* world);

}  // namespace tessivox::sound
