#include "ui/help_window.h"

#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QWidget>

#include "picture/help_text.h"
#include "ui/number_text.h"

namespace tessivox {

namespace {

constexpr char16_t kCr = u'\r';

constexpr int kHelpWidth = 620;
constexpr int kHelpHeight = 250;

// The texts keep carriage returns as their only line break; the toolkit
// breaks lines at line feeds.
QString forDisplay(QString text) {
    return text.replace(QChar(kCr), QChar(u'\n'));
}

// Ends the help window's own event loop when its close box is used.
class CloseWatcher : public QObject {
  public:
    explicit CloseWatcher(QEventLoop& loop) : loop_(loop) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) loop_.quit();
        return QObject::eventFilter(watched, event);
    }

  private:
    QEventLoop& loop_;
};

}  // namespace

QString aboutText(double sampleRate) {
    QString text = QStringLiteral("Tessivox v" TESSIVOX_VERSION) + QChar(kCr) +
                   QStringLiteral("Sound Synthesizer using 'SuperFormula'");
    if (sampleRate != 44100.0) {
        text += QChar(kCr) + QStringLiteral("Playing at %1 Hz").arg(sampleRate, 0, 'f', 0);
    }
    return text;
}

QString helpText() {
    QString text = QString::fromUtf8(kHelpText.data(), static_cast<qsizetype>(kHelpText.size()));
    return text.replace(QChar(u'\n'), QChar(kCr));
}

QString playingText() {
    QString text = QStringLiteral(R"(
The envelope: the sliders A, D, S and R set each note's attack, decay, sustain level and release. Their tooltips give the values.

MIDI: choose the keyboard's port in the list at the bottom right. Notes on channel 1 play, one at a time: a new key takes the pitch over, and the note is released when the last key is let go. The status bar shows whether the port is there and whether a note is held.

Playing (in the Sound menu and the right-click menu): how the sound is played, saved with it: the tuning (whole-sample periods, the default, or exact pitch), the pitch bend range (0 to 24 semitones; 0, the default, ignores bends), the glide time (0 to 5 s, default 0) from the note sounding before to a new one, always or only between held keys, the velocity sensitivity (0 to 1, default 0: every note at full level; s gives a level of 1 - s + s (v / 127)^2), and the onset (after a fade, the default: every note starts after a 23 ms fade-out of what sounded; or at once when silent). Your own set-up, kept apart from sounds: the sustain pedal (controller 64; off by default) and the MIDI channel (1 by default, any, or 2 to 16).

MIDI learn: right-click a slider and choose "Learn MIDI controller", then move a knob or fader (any controller but the pedal, 120, 121 and 123): it drives that slider over its whole range from then on, also after a restart, until you choose "Forget". Escape cancels a learn still waiting. Two sliders never share a controller.

The computer keyboard plays too, while this window has the focus: the bottom letter row from C3 (Z is C, S C#, X D, D D#, C E, V F, ...) and the row from Q an octave higher, with the digits as its black keys. '-' and '=' move both rows an octave down and up. A key held is a note held; leaving the window lets the notes go. Tab and the arrow keys still move between and on the controls, and Escape quits.

Sounds: the Sound menu starts a new sound, opens and saves sounds, renames and deletes your own, and undoes and redoes every change (Ctrl+Z, Ctrl+Shift+Z). Sounds are LV2 presets in ~/.lv2, shared with the plugin in your DAW and with tessivox-render. The title names the sound and marks it with * while it differs from what was opened or saved. At quit, the sound is kept as "Last session", offered first in Open.)");
    return text.replace(QChar(u'\n'), QChar(kCr));
}

void showAboutBox(QWidget* owner, double sampleRate) {
    QMessageBox box(owner);
    box.setWindowTitle(QStringLiteral("About"));
    box.setTextFormat(Qt::PlainText);
    box.setText(forDisplay(aboutText(sampleRate)));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void showHelpWindow(const QString& text) {
    QWidget window(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window.setWindowTitle(QStringLiteral("Tessivox Help"));
    window.setFixedSize(kHelpWidth, kHelpHeight);
    // The main window takes no input at all meanwhile, yet stays drawn as it
    // is: its controls cannot drift from what their handlers last saw.
    window.setWindowModality(Qt::ApplicationModal);

    // Fits the client area with both scroll bars in view.
    auto* box = new QPlainTextEdit(&window);
    box->setGeometry(5, 5, kHelpWidth - 10, kHelpHeight - 10);
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setPlainText(forDisplay(text));

    QEventLoop loop;
    CloseWatcher watcher(loop);
    window.installEventFilter(&watcher);

    showCentred(window);

    // Returns when the close box is used.
    loop.exec();
    window.removeEventFilter(&watcher);
}

}  // namespace tessivox
