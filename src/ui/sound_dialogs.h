#pragma once

// The small dialogs of sounds: a name to save under, a sound to load, and
// the boxes that ask or tell.

#include <optional>
#include <string>
#include <vector>

#include "sound/sound.h"

class QWidget;

namespace tessivox {

// The name typed, or nullopt if the dialog was cancelled or closed.
std::optional<std::string> askSoundName(QWidget* parent, const std::string& title,
                                        const std::string& label, const std::string& suggestion);

// Whether the user agrees to replace the sound of that name.
bool askReplaceSound(QWidget* parent, const std::string& name);

// Whether the user agrees to delete it.
bool askDeleteSound(QWidget* parent, const std::string& name);

// The sound chosen among `entries`, or nullopt. The first named `preselect`
// is selected; else none is, so that Return loads nothing by chance.
std::optional<sound::Entry> chooseSound(QWidget* parent, const std::vector<sound::Entry>& entries,
                                        const std::string& preselect);

void showSoundError(QWidget* parent, const std::string& title, const std::string& message);

}  // namespace tessivox
