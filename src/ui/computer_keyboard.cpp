#include "ui/computer_keyboard.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "midi/midi_rules.h"

namespace tessivox {

namespace {

constexpr int kLowestC = 48;

struct PlayingKey {
    int key;
    int semitone;  // above the lowest C
};

// Where the keys lie on a US keyboard, as trackers and DAWs lay them out.
constexpr PlayingKey kPlayingKeys[] = {
    {Qt::Key_Z, 0},      {Qt::Key_S, 1},  {Qt::Key_X, 2},       {Qt::Key_D, 3},
    {Qt::Key_C, 4},      {Qt::Key_V, 5},  {Qt::Key_G, 6},       {Qt::Key_B, 7},
    {Qt::Key_H, 8},      {Qt::Key_N, 9},  {Qt::Key_J, 10},      {Qt::Key_M, 11},
    {Qt::Key_Comma, 12}, {Qt::Key_L, 13}, {Qt::Key_Period, 14}, {Qt::Key_Semicolon, 15},
    {Qt::Key_Slash, 16}, {Qt::Key_Q, 12}, {Qt::Key_2, 13},      {Qt::Key_W, 14},
    {Qt::Key_3, 15},     {Qt::Key_E, 16}, {Qt::Key_R, 17},      {Qt::Key_5, 18},
    {Qt::Key_T, 19},     {Qt::Key_6, 20}, {Qt::Key_Y, 21},      {Qt::Key_7, 22},
    {Qt::Key_U, 23},     {Qt::Key_I, 24}, {Qt::Key_9, 25},      {Qt::Key_O, 26},
    {Qt::Key_0, 27},     {Qt::Key_P, 28},
};
static_assert(std::size(kPlayingKeys) == 34);

int keyIndex(int key) {
    const auto* found = std::find_if(std::begin(kPlayingKeys), std::end(kPlayingKeys),
                                     [key](const PlayingKey& k) { return k.key == key; });
    return found == std::end(kPlayingKeys) ? -1 : static_cast<int>(found - kPlayingKeys);
}

}  // namespace

ComputerKeyboard::ComputerKeyboard(EngineState& s, QWidget& window)
    : QObject(&window), s_(s), window_(window) {
    held_.fill(-1);
    // Before the focused control: a port list would take letters as a search.
    qApp->installEventFilter(this);
}

ComputerKeyboard::~ComputerKeyboard() {
    releaseAll();
}

void ComputerKeyboard::send(uint32_t status, int note) {
    handleMidiShortMessage(
        s_, packShortMessage(static_cast<uint8_t>(status), static_cast<uint8_t>(note), 100));
}

void ComputerKeyboard::releaseAll() {
    for (int8_t& note : held_) {
        if (note >= 0) send(0x80, note);
        note = -1;
    }
}

bool ComputerKeyboard::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == &window_ && (type == QEvent::WindowDeactivate || type == QEvent::Hide)) {
        releaseAll();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const int index = keyIndex(key->key());
    if (type == QEvent::KeyRelease) {
        // Wherever the focus went meanwhile, the key's note ends.
        if (index < 0 || held_[index] < 0 || key->isAutoRepeat()) return false;
        send(0x80, held_[index]);
        held_[index] = -1;
        return true;
    }
    auto* receiver = qobject_cast<QWidget*>(watched);
    if (!receiver || receiver->window() != &window_ || QApplication::activePopupWidget() ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    if (key->key() == Qt::Key_Minus || key->key() == Qt::Key_Equal) {
        const int step = key->key() == Qt::Key_Minus ? -1 : 1;
        if (!key->isAutoRepeat())
            octave_ = std::clamp(octave_ + step, kLowestOctave, kHighestOctave);
        return true;
    }
    if (index < 0) return false;
    if (!key->isAutoRepeat() && held_[index] < 0) {
        held_[index] = static_cast<int8_t>(kLowestC + 12 * octave_ + kPlayingKeys[index].semitone);
        send(0x90, held_[index]);
    }
    return true;
}

}  // namespace tessivox
