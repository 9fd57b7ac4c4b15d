#pragma once

#include <array>
#include <cstdint>

#include <QObject>

#include "engine/engine_state.h"

class QWidget;

namespace tessivox {

// The computer keyboard as a MIDI keyboard while `window` has the focus: the
// Z row from C3 and the Q row an octave up, with the black keys in the rows
// above them; "-" and "=" move both an octave. Keys with a modifier, and every
// key while a pop-up is open, are left to the controls.
class ComputerKeyboard : public QObject {
  public:
    static constexpr int kLowestOctave = -4;
    static constexpr int kHighestOctave = 4;

    ComputerKeyboard(EngineState& s, QWidget& window);
    ~ComputerKeyboard() override;

    int octave() const { return octave_; }
    // Every key held is let go, as at focus loss.
    void releaseAll();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void send(uint32_t status, int note);

    EngineState& s_;
    QWidget& window_;
    int octave_ = 0;
    std::array<int8_t, 34> held_;  // per key: the note it sounds, or -1
};

}  // namespace tessivox
