#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QMainWindow>

#include "picture/window_layout.h"
#include "sound/history.h"
#include "sound/sound.h"
#include "ui/axis_buttons.h"
#include "ui/drawing_area.h"
#include "ui/number_text.h"
#include "ui/player_setup.h"
#include "ui/port_list.h"
#include "ui/synth_state.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

namespace tessivox {
class AudioOutput;
class ComputerKeyboard;
class MidiPorts;
}

namespace tessivox {

// Event codes of the dispatch.
inline constexpr int kControlEvent = 13100;
inline constexpr int kMenuEvent = 13101;
inline constexpr int kCloseEvent = 16;

// Menu items.
inline constexpr int kAboutItem = 1;
inline constexpr int kHelpItem = 2;
inline constexpr int kPlayingHelpItem = 3;
inline constexpr int kEscapeItem = 111;
inline constexpr int kSaveSoundItem = 112;
inline constexpr int kLoadSoundItem = 113;
inline constexpr int kNewSoundItem = 114;
inline constexpr int kSaveSoundAsItem = 115;
inline constexpr int kRenameSoundItem = 116;
inline constexpr int kDeleteSoundItem = 117;
inline constexpr int kUndoItem = 118;
inline constexpr int kRedoItem = 119;
inline constexpr int kPlayingItem = 120;

inline constexpr int kClientWidth = 870;
inline constexpr int kClientHeight = 530;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // `audio` (null in tests) is asked only for its rate.
    MainWindow(SynthState& s, MidiPorts& midi, const AudioOutput* audio = nullptr);
    ~MainWindow() override;

    // The one place where events of the main window are handled: the
    // control or menu item `id` raised an event of `eventCode`. Pad events
    // carry their pointer data. Dropped while events are being dropped.
    void dispatch(int eventCode, int id, const PadEvent& padEvent = {});

    // A termination signal: closes Help or About if one is open, then ends
    // the event loop as the close box does.
    void requestTermination();

    // While set, dispatch does nothing (help open, shutting down); the
    // controls still move on screen.
    void setDroppingEvents(bool dropping) { droppingEvents_ = dropping; }

    // Fills the MIDI port list (its JACK client may wait a server cycle) and
    // sets midiPortIndex; left out of the constructor for a quicker start.
    void listMidiPorts() { portList_->listNow(); }

    // The control with this identifier, or nullptr.
    QWidget* control(int id) const;
    QSlider* slider(int id) const;
    QLabel* label(int id) const;
    QCheckBox* enableBox() const { return enable_; }
    QComboBox* midiPortList() const { return portList_; }
    DrawingArea& shapeDisplay() const { return *shape_; }
    DrawingArea& waveformDisplay() const { return *waveform_; }
    DrawingArea& pad() const { return *pad_; }
    const AxisControls& axisControls() const { return axis_; }
    ComputerKeyboard& computerKeyboard() const { return *keyboard_; }

    // Status bar fields 0..2; nullptr if there is no status bar.
    QLabel* statusField(int field) const;
    void setStatusText(int field, std::string_view text);

    // Shows gateText in field 1 if a short message came in since last time.
    void pollGateText();
    // Shows in field 0 whether the chosen MIDI source is there.
    void pollMidiPort();

    // The sound the controls hold, and setting every control to a sound
    // through the handlers a user's moves go through.
    sound::Sound currentSound() const;
    void applySound(const sound::Sound& sound);
    const sound::History& history() const { return history_; }
    // --sound at start: loads it, or says why not in a box once the event
    // loop runs (and on stderr).
    void startWithSound(const std::string& nameOrFile);

    // Tests replace what the About and Help items open.
    void setMenuActions(std::function<void()> about, std::function<void()> help);

  signals:
    // quitRequested has just been set.
    void quitRequestedChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildControls();
    void wireControls();
    void wireEnvelopeSliders();
    QWidget* makeControl(const ControlSpec& c);
    void drawFirstPicture(DrawingArea& area);
    void handleParamSlider(int row);
    void handleEnableBox();
    void showHelp(int item);
    void buildSoundMenu();
    void saveSound(bool askName);
    // Saves the controls' sound as `name`, asking before it replaces one of
    // the user's; a refusal is shown, but for a factory name when replacing
    // (Save then asks for a name).
    sound::SaveResult saveNamed(const std::string& name, bool replace, const std::string& title);
    void loadSoundChosen();
    void renameSound();
    void deleteSound();
    void stepHistory(bool back);
    // A finished edit becomes a step back; a drag is one when it ends.
    void commitEdit();
    void loaded(const sound::Sound& sound);
    std::string axisTexts() const;
    void showSoundState();
    void showSoundMenu(const QPoint& globalPosition);
    // The ten sliders a controller can drive: the parameters', then the envelope's.
    QSlider* learnSlider(int k) const;
    void applyPlayerSetup();
    void showPlaying();
    void showLearnMenu(int k, const QPoint& globalPosition);
    void pollControllers();

    SynthState& s_;
    MidiPorts& midi_;
    const AudioOutput* audio_;
    QWidget* client_ = nullptr;
    std::array<QWidget*, 64> controls_{};
    std::array<QSlider*, kParamCount> paramSliders_{};
    PortList* portList_ = nullptr;
    QCheckBox* enable_ = nullptr;
    DrawingArea* shape_ = nullptr;
    DrawingArea* waveform_ = nullptr;
    DrawingArea* pad_ = nullptr;
    AxisControls axis_;
    ComputerKeyboard* keyboard_ = nullptr;
    std::array<QLabel*, 3> status_{};
    uint32_t shownMessageCount_ = 0;
    bool droppingEvents_ = false;
    int handlersRunning_ = 0;
    bool terminationRequested_ = false;
    std::function<void()> about_;
    std::function<void()> help_;
    int helpItem_ = kHelpItem;  // the page help_ shows
    sound::History history_{sound::startSound()};
    bool applying_ = false;                   // applySound runs: its moves are no edits
    std::array<QAction*, 4> soundActions_{};  // rename, delete, undo, redo
    PlayerSetup player_ = loadPlayerSetup();
    int learning_ = -1;  // the slider waiting for a controller
    uint32_t seenMoves_ = 0;
    bool controllerMoving_ = false;  // a learned slider follows: no step back yet
    // The controller values the sliders show. Every controller starts at 0: a
    // slider moves when its controller's value changes or it is the one just moved.
    std::array<int, 10> followed_{};
};

// Builds and shows the main window with its first pictures; fills the MIDI
// port list and sets midiPortIndex. Returns nullptr if it cannot be made.
std::unique_ptr<MainWindow> createMainWindow(SynthState& s, MidiPorts& midi);

// Recomputes the points and redraws both displays of the window.
void updateDisplays(SynthState& s, MainWindow& window);

// Sets quitRequested to 0 and handles events until it is nonzero.
void runEventLoop(SynthState& s, MainWindow& window);

}  // namespace tessivox
