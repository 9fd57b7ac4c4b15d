#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "sound/sound.h"

namespace tessivox::sound {

// The sound being edited, its steps back and forth, and whether it differs
// from what its name last loaded or saved.
class History {
  public:
    explicit History(const Sound& start, const std::string& view = {})
        : now_{start, start.values, view} {}

    const Sound& now() const { return now_.sound; }
    bool changed() const { return now_.sound.values != now_.clean; }
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }

    // The sound as the controls now hold it: a step, if it differs. A
    // `loaded` sound is also what its name stands for from now on.
    // `view` is what the face shows beyond the sound, given back with the step.
    bool commit(const Sound& sound, const std::string& view, bool loaded = false) {
        if (sound.values == now_.sound.values && sound.name == now_.sound.name && !loaded) {
            now_.view = view;
            return false;
        }
        undo_.push_back(now_);
        if (undo_.size() > kSteps) undo_.pop_front();
        redo_.clear();
        now_ = {sound, loaded ? sound.values : now_.clean, view};
        return true;
    }
    const std::string& view() const { return now_.view; }
    // Saved under `name` (clean), or no longer standing for any sound: no step.
    void rename(const std::string& name, bool clean) {
        now_.sound.name = name;
        now_.clean = clean ? now_.sound.values : startSound().values;
    }
    std::optional<Sound> undo() { return step(undo_, redo_); }
    std::optional<Sound> redo() { return step(redo_, undo_); }

  private:
    static constexpr size_t kSteps = 1000;
    struct State {
        Sound sound;
        std::array<float, lv2::kPortCount> clean;  // as the name last loaded or saved it
        std::string view;
    };
    std::optional<Sound> step(std::deque<State>& from, std::deque<State>& to) {
        if (from.empty()) return std::nullopt;
        to.push_back(now_);
        now_ = from.back();
        from.pop_back();
        return now_.sound;
    }

    State now_;
    std::deque<State> undo_;
    std::deque<State> redo_;
};

// The window's title: the sound's name, marked while it differs from its saved self.
inline std::string titleOf(const History& history) {
    if (history.now().name.empty()) return history.changed() ? "Untitled* - Tessivox" : "Tessivox";
    return history.now().name + (history.changed() ? "*" : "") + " - Tessivox";
}

}  // namespace tessivox::sound
