// The main window built: its menu, status bar, controls and drawing areas.

#include <cmath>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolTip>

#include "audio/audio_stream.h"
#include "engine/engine.h"
#include "midi/midi_input.h"
#include "picture/colours.h"
#include "ui/computer_keyboard.h"
#include "ui/displays.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/number_text.h"
#include "ui/pad_editor.h"
#include "ui/port_list.h"

namespace tessivox {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

constexpr std::array<int, 3> kStatusWidths{100, 100, 30};
constexpr int kGatePollMs = 10;

// The toolkit hides an open pop-up on Escape and then still gives the key to
// the window's shortcut: that press closed the pop-up, and must not quit.
class PopupEscape : public QObject {
  public:
    explicit PopupEscape(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }
    bool pressed = false;  // while the Escape that met a pop-up is down

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type == QEvent::ShortcutOverride || type == QEvent::KeyPress ||
             type == QEvent::KeyRelease) &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (type == QEvent::KeyRelease)
                pressed = false;
            else if (QApplication::activePopupWidget())
                pressed = true;
        }
        return false;
    }
};

}  // namespace

MainWindow::MainWindow(SynthState& s, MidiPorts& midi, const AudioOutput* audio)
    : s_(s), midi_(midi), audio_(audio) {
    setWindowTitle(QStringLiteral("Tessivox"));
    // Close box only: no minimise, no maximise, no sizing border.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);

    about_ = [this] { showAboutBox(this, audio_ ? audio_->streamRate() : s_.sampleRate); };
    help_ = [this] { showHelpWindow(helpItem_ == kHelpItem ? helpText() : playingText()); };

    buildSoundMenu();
    QMenu* menu = menuBar()->addMenu(QStringLiteral("?"));
    QAction* about = menu->addAction(QStringLiteral("About"));
    QAction* help = menu->addAction(QStringLiteral("Help"));
    connect(about, &QAction::triggered, this, [this] { dispatch(kMenuEvent, kAboutItem); });
    connect(help, &QAction::triggered, this, [this] { dispatch(kMenuEvent, kHelpItem); });
    connect(menu->addAction(QStringLiteral("Playing and sounds")), &QAction::triggered, this,
            [this] { dispatch(kMenuEvent, kPlayingHelpItem); });

    client_ = new QWidget(this);
    // The fixed text boxes are narrow ("100.000" in 35 pixels): a small,
    // condensed face keeps every text whole.
    QFont small = client_->font();
    small.setPixelSize(10);
    small.setStretch(QFont::Condensed);
    client_->setFont(small);
    setCentralWidget(client_);
    buildControls();

    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    for (int field = 0; field < 3; ++field) {
        auto* text = new QLabel(bar);
        text->setFixedWidth(kStatusWidths[field]);
        text->setAlignment(Qt::AlignCenter);
        bar->addWidget(text);
        status_[field] = text;
    }

    auto* popupEscape = new PopupEscape(this);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this, popupEscape] {
        if (popupEscape->pressed) return;
        // Escape first cancels a learn that waits for its controller.
        if (std::exchange(learning_, -1) >= 0) return;
        dispatch(kMenuEvent, kEscapeItem);
    });

    keyboard_ = new ComputerKeyboard(s_, *this);
    history_ = sound::History(currentSound(), axisTexts());

    // The MIDI thread only bumps a counter; the text is picked up here.
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &MainWindow::pollGateText);
    connect(poll, &QTimer::timeout, this, &MainWindow::pollMidiPort);
    connect(poll, &QTimer::timeout, this, &MainWindow::pollControllers);
    applyPlayerSetup();
    poll->start(kGatePollMs);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::makeControl(const ControlSpec& c) {
    auto staticText = [this](QString text) {
        auto* label = new QLabel(text, client_);
        // Static texts take no presses: the row labels and the envelope
        // letters overlap their sliders.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        return label;
    };
    auto slider = [this](Qt::Orientation orientation, const SliderSpec& spec) {
        auto* slider = new QSlider(orientation, client_);
        slider->setRange(spec.minimum, spec.maximum);
        slider->setValue(spec.start);
        return slider;
    };
    switch (c.kind) {
        case ControlKind::PortList: {
            auto* list = new PortList(midi_, client_);
            list->setEditable(false);
            return portList_ = list;
        }
        case ControlKind::ParamSlider:
            return paramSliders_[c.row] = slider(Qt::Horizontal, kParamSliders[c.row]);
        case ControlKind::ValueText: {
            QLabel* text = staticText(valueText(startParamValue(c.row)));
            text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            return axis_.valueTexts[c.row] = text;
        }
        case ControlKind::AxisButton:
            return new QPushButton(client_);
        case ControlKind::StaticText:
            return staticText(QString::fromLatin1(c.text.data(), static_cast<int>(c.text.size())));
        case ControlKind::DrawingArea: {
            auto* area = new DrawingArea(c.id, c.width, c.height, client_);
            drawFirstPicture(*area);
            return area;
        }
        case ControlKind::EnableBox:
            enable_ = new QCheckBox(QString::fromLatin1(c.text.data(), c.text.size()), client_);
            enable_->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
            return axis_.enable = enable_;
        case ControlKind::EnvelopeSlider:
            // Vertical sliders count upward natively: the maximum is at the top.
            return slider(Qt::Vertical, kEnvelopeSliders[c.row]);
    }
    return nullptr;
}

// What each drawing area shows before the first display update.
void MainWindow::drawFirstPicture(DrawingArea& area) {
    if (!area.beginDrawing()) return;
    if (area.controlId() == kShapeDisplayId) {
        area.fillRect(0, 0, area.width(), area.height(), kBlack);
    } else if (area.controlId() == kWaveformDisplayId) {
        drawWaveformGuides(area);
    } else {
        drawPad(s_, area);
    }
    area.endDrawing();
}

void MainWindow::buildControls() {
    for (const ControlSpec& c : kControls) {
        QWidget* w = makeControl(c);
        w->setGeometry(c.x, c.y, c.width, c.height);
        controls_[c.id] = w;
    }
    // The axis texts have consecutive ids, from kXFromText to kYLabel.
    for (int k = 0; k < 6; ++k) *axisTextsOf(axis_)[k] = label(kXFromText + k);
    shape_ = static_cast<DrawingArea*>(control(kShapeDisplayId));
    waveform_ = static_cast<DrawingArea*>(control(kWaveformDisplayId));
    pad_ = static_cast<DrawingArea*>(control(kPadId));
    // Events are wired only now, so building raises none.
    wireControls();
    wireEnvelopeSliders();
}

void MainWindow::wireControls() {
    // Only a change of the selected entry is an event: choosing the port in
    // use again must not close and reopen it, only connect its source again
    // if that connection was lost.
    connect(portList_, &QComboBox::activated, this, [this](int index) {
        if (index != midi_.midiPortIndex) {
            dispatch(kControlEvent, kMidiPortList);
        } else if (s_.quitRequested == 0) {
            midi_.askMidiPortLook();
        }
    });
    for (int row = 0; row < kParamCount; ++row) {
        connect(paramSliders_[row], &QSlider::valueChanged, this,
                [this, row](int) { dispatch(kControlEvent, kFirstParamSlider + row); });
        connect(static_cast<QPushButton*>(controls_[kFirstAxisButton + row]), &QPushButton::clicked,
                this, [this, row] { dispatch(kControlEvent, kFirstAxisButton + row); });
    }
    // clicked, unlike toggled, comes from the user only: setChecked() by
    // program raises no event.
    connect(enable_, &QCheckBox::clicked, this, [this] { dispatch(kControlEvent, kEnableBox); });
    connect(pad_, &DrawingArea::padEvent, this,
            [this](const PadEvent& e) { dispatch(kControlEvent, kPadId, e); });
    // Only a press on the pad keeps the pointer; a drag begun beside it
    // still reaches it while the pointer is over it.
    for (QWidget* w : {client_, static_cast<QWidget*>(shape_), static_cast<QWidget*>(waveform_)})
        w->installEventFilter(this);
    for (QWidget* w : controls_) {
        if (auto* held = qobject_cast<QSlider*>(w))
            connect(held, &QSlider::sliderReleased, this, &MainWindow::commitEdit);
    }
    // A right click on a slider learns or forgets the controller it follows.
    for (int k = 0; k < static_cast<int>(player_.learned.size()); ++k) {
        QSlider* target = learnSlider(k);
        target->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(target, &QWidget::customContextMenuRequested, this,
                [this, k, target](QPoint at) { showLearnMenu(k, target->mapToGlobal(at)); });
    }
    // Their tooltips say what a click would do now, so they are made when asked.
    for (int row = 0; row < kParamCount; ++row)
        controls_[kFirstAxisButton + row]->installEventFilter(this);
}

// The envelope sliders have no handler: the synthesis reads their mirror.
void MainWindow::wireEnvelopeSliders() {
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        QSlider* envelope = slider(kAttackSlider + k);
        std::atomic<int32_t>& mirror = envelopeSlider(s_, k);
        mirror.store(envelope->value(), relaxed);
        connect(envelope, &QSlider::valueChanged, this, [this, &mirror](int value) {
            mirror.store(value, relaxed);
            commitEdit();
        });
        envelope->setToolTip(QString::fromStdString(envelopeTip(k, envelope->value())));
        connect(envelope, &QSlider::valueChanged, this, [envelope, k](int value) {
            envelope->setToolTip(QString::fromStdString(envelopeTip(k, value)));
            // Followed while dragging, beside the pointer.
            if (envelope->isSliderDown() || QToolTip::isVisible())
                QToolTip::showText(QCursor::pos(), envelope->toolTip(), envelope);
        });
    }
}

}  // namespace tessivox
