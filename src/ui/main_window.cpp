#include "ui/main_window.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include "engine/engine.h"
#include "midi/midi_input.h"
#include "ui/colours.h"
#include "ui/displays.h"
#include "ui/help_window.h"
#include "ui/number_text.h"
#include "ui/pad_editor.h"
#include "ui/port_list.h"

namespace tessivox {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

constexpr int kRowY = 350;
constexpr int kRowStep = 20;
constexpr int kFirstParamLabel = 27;
constexpr int kXFromText = 39, kXToText = 40, kYFromText = 41, kYToText = 42;
constexpr int kXLabel = 43, kYLabel = 44;
constexpr int kAttackSlider = 3, kDecaySlider = 4, kSustainSlider = 5, kReleaseSlider = 6;
constexpr std::array<int, 3> kStatusWidths{100, 100, 30};
constexpr int kGatePollMs = 10;

}  // namespace

MainWindow::MainWindow(SynthState& s) : s_(s) {
    setWindowTitle(QStringLiteral("Tessivox"));
    // Close box only: no minimise, no maximise, no sizing border.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);

    about_ = [this] { showAboutBox(this); };
    help_ = [] { showHelpWindow(); };

    QMenu* menu = menuBar()->addMenu(QStringLiteral("?"));
    QAction* about = menu->addAction(QStringLiteral("About"));
    QAction* help = menu->addAction(QStringLiteral("Help"));
    connect(about, &QAction::triggered, this, [this] { dispatch(kMenuEvent, kAboutItem); });
    connect(help, &QAction::triggered, this, [this] { dispatch(kMenuEvent, kHelpItem); });

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

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { dispatch(kMenuEvent, kEscapeItem); });

    // The MIDI thread only bumps a counter; the text is picked up here.
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &MainWindow::pollGateText);
    poll->start(kGatePollMs);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    auto place = [this](int id, QWidget* w, int x, int y, int width, int height) {
        w->setGeometry(x, y, width, height);
        controls_[id] = w;
    };

    portList_ = new PortList(client_);
    portList_->setEditable(false);
    place(kMidiPortList, portList_, 710, 445, 130, 20);
    std::vector<std::string> names;
    const int ports = listMidiPorts(s_, names);
    for (const std::string& name : names) portList_->addItem(QString::fromStdString(name));
    if (ports > 0 && portList_->count() > 0) {
        portList_->setCurrentIndex(0);
        s_.midiPortIndex = 0;
    } else {
        portList_->setCurrentIndex(-1);
        s_.midiPortIndex = -1;
    }

    for (int row = 0; row < kParamCount; ++row) {
        auto* slider = new QSlider(Qt::Horizontal, client_);
        place(kFirstParamSlider + row, slider, 30, kRowY + kRowStep * row, 600, 20);
        slider->setRange(kParamSliders[row].minimum, kParamSliders[row].maximum);
        slider->setValue(kParamSliders[row].start);
        paramSliders_[row] = slider;
    }
    for (int row = 0; row < kParamCount; ++row) {
        auto* text = new QLabel(valueText(paramValueAt(row, kParamSliders[row].start)), client_);
        text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        text->setAttribute(Qt::WA_TransparentForMouseEvents);
        place(kFirstValueText + row, text, 640, kRowY + kRowStep * row, 35, 20);
        axis_.valueTexts[row] = text;
    }
    for (int row = 0; row < kParamCount; ++row) {
        place(kFirstAxisButton + row, new QPushButton(client_), 680, kRowY + kRowStep * row, 20,
              10);
    }
    for (int row = 0; row < kParamCount; ++row) {
        auto* text = new QLabel(
            QString::fromLatin1(kParamNames[row].data(), static_cast<int>(kParamNames[row].size())),
            client_);
        // Overlaps the slider's left end: presses go through to it.
        text->setAttribute(Qt::WA_TransparentForMouseEvents);
        place(kFirstParamLabel + row, text, 10, kRowY + kRowStep * row, 25, 20);
    }
    auto makeLabel = [this, &place](int id, const char* text, int x, int y, int width) {
        auto* label = new QLabel(QString::fromLatin1(text), client_);
        // Static texts take no presses; the envelope letters overlap their
        // sliders' tops.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        place(id, label, x, y, width, 20);
        return label;
    };
    axis_.xFrom = makeLabel(kXFromText, "", 520, 320, 40);
    axis_.xTo = makeLabel(kXToText, "", 800, 320, 40);
    axis_.yFrom = makeLabel(kYFromText, "", 830, 300, 40);
    axis_.yTo = makeLabel(kYToText, "", 830, 10, 40);
    axis_.xLabel = makeLabel(kXLabel, "X", 660, 320, 35);
    axis_.yLabel = makeLabel(kYLabel, "Y", 830, 155, 35);

    shape_ = new DrawingArea(kShapeDisplayId, 300, 300, client_);
    place(kShapeDisplayId, shape_, 10, 10, 300, 300);
    if (shape_->beginDrawing()) {
        shape_->fillRect(0, 0, 300, 300, kBlack);
        shape_->endDrawing();
    }
    waveform_ = new DrawingArea(kWaveformDisplayId, 201, 300, client_);
    place(kWaveformDisplayId, waveform_, 312, 10, 201, 300);
    if (waveform_->beginDrawing()) {
        drawWaveformGuides(*waveform_);
        waveform_->endDrawing();
    }
    pad_ = new DrawingArea(kPadId, 300, 300, client_);
    place(kPadId, pad_, 515, 10, 300, 300);
    if (pad_->beginDrawing()) {
        drawPad(s_, *pad_);
        pad_->endDrawing();
    }

    enable_ = new QCheckBox(QStringLiteral("Enable"), client_);
    enable_->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    place(kEnableBox, enable_, 570, 315, 50, 20);
    axis_.enable = enable_;

    // Vertical sliders count upward natively: the maximum is at the top.
    const int envelopeIds[4] = {kAttackSlider, kDecaySlider, kSustainSlider, kReleaseSlider};
    const int envelopeMax[4] = {2000, 5000, 100, 5000};
    for (int k = 0; k < 4; ++k) {
        auto* slider = new QSlider(Qt::Vertical, client_);
        place(envelopeIds[k], slider, 730 + 20 * k, 355, 20, 85);
        slider->setRange(envelopeIds[k] == kSustainSlider ? 0 : 1, envelopeMax[k]);
        if (envelopeIds[k] == kSustainSlider) slider->setValue(kStartSustainSlider);
    }
    slider(kAttackSlider)->setValue(kStartAttackSlider);
    slider(kDecaySlider)->setValue(kStartDecaySlider);
    slider(kReleaseSlider)->setValue(kStartReleaseSlider);
    makeLabel(7, "A", 735, 342, 10);
    makeLabel(9, "D", 755, 342, 10);
    makeLabel(8, "S", 775, 342, 10);
    makeLabel(10, "R", 795, 342, 10);

    // Events are wired only now, so building raises none.
    // Only a change of the selected entry is an event: choosing the port in
    // use again must not close and reopen it.
    connect(portList_, &QComboBox::activated, this, [this](int index) {
        if (index != s_.midiPortIndex) dispatch(kControlEvent, kMidiPortList);
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
    // The envelope sliders have no handler: the synthesis reads their mirror.
    std::atomic<int32_t>* mirrors[4] = {&s_.attackSlider, &s_.decaySlider, &s_.sustainSlider,
                                        &s_.releaseSlider};
    for (int k = 0; k < 4; ++k) {
        QSlider* envelope = slider(envelopeIds[k]);
        mirrors[k]->store(envelope->value(), relaxed);
        connect(envelope, &QSlider::valueChanged, this,
                [mirror = mirrors[k]](int value) { mirror->store(value, relaxed); });
    }
}

QWidget* MainWindow::control(int id) const {
    if (id < 0 || id >= static_cast<int>(controls_.size())) return nullptr;
    return controls_[id];
}

QSlider* MainWindow::slider(int id) const {
    return qobject_cast<QSlider*>(control(id));
}

QLabel* MainWindow::label(int id) const {
    return qobject_cast<QLabel*>(control(id));
}

QLabel* MainWindow::statusField(int field) const {
    if (field < 0 || field >= static_cast<int>(status_.size())) return nullptr;
    return status_[field];
}

void MainWindow::setStatusText(int field, std::string_view text) {
    if (QLabel* f = statusField(field)) {
        f->setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    }
}

void MainWindow::pollGateText() {
    const uint32_t count = s_.shortMessageCount.load(std::memory_order_acquire);
    if (count == shownMessageCount_) return;
    shownMessageCount_ = count;
    setStatusText(1, gateTextString(s_.gateText.load(std::memory_order_acquire)));
}

void MainWindow::setMenuActions(std::function<void()> about, std::function<void()> help) {
    about_ = std::move(about);
    help_ = std::move(help);
}

void MainWindow::dispatch(int eventCode, int id, const PadEvent& padEvent) {
    if (droppingEvents_) return;
    s_.windowEvent = eventCode;
    ++handlersRunning_;
    switch (eventCode) {
        case kMenuEvent:
            if (id == kAboutItem && about_) about_();
            if (id == kHelpItem) showHelp();
            if (id == kEscapeItem) s_.quitRequested = 1;
            break;
        case kControlEvent:
            if (id == kMidiPortList) {
                handleMidiPortList();
            } else if (id >= kFirstParamSlider && id < kFirstParamSlider + kParamCount) {
                handleParamSlider(id - kFirstParamSlider);
            } else if (id >= kFirstAxisButton && id < kFirstAxisButton + kParamCount) {
                handleAxisButton(s_, axis_, static_cast<ParamId>(id - kFirstAxisButton));
            } else if (id == kEnableBox) {
                handleEnableBox();
            } else if (id == kPadId) {
                handlePadEvent(s_, *pad_, padEvent);
            }
            break;
        case kCloseEvent:
            s_.quitRequested = 1;
            break;
        default:
            break;
    }
    // A signal that came while About or Help was open ends the loop once
    // their handler has returned.
    if (--handlersRunning_ == 0 && terminationRequested_) {
        s_.windowEvent = kCloseEvent;
        s_.quitRequested = 1;
    }
    if (s_.quitRequested != 0) emit quitRequestedChanged();
}

void MainWindow::requestTermination() {
    terminationRequested_ = true;
    // Help and About wait inside a handler; closing them lets it return.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible()) w->close();
    }
    if (handlersRunning_ == 0) dispatch(kCloseEvent, 0);
}

void MainWindow::showHelp() {
    if (!help_) return;
    // The help window runs its own wait; everything the main window raises
    // meanwhile is dropped.
    droppingEvents_ = true;
    struct Restore {
        bool& flag;
        ~Restore() { flag = false; }
    } restore{droppingEvents_};
    help_();
}

void MainWindow::handleParamSlider(int row) {
    const float value = paramValueAt(row, paramSliders_[row]->value());
    param(s_, static_cast<ParamId>(row)).store(value, relaxed);
    axis_.valueTexts[row]->setText(valueText(value));
    updateDisplays(s_, *shape_, *waveform_);
}

void MainWindow::handleEnableBox() {
    if (enable_->isChecked()) {
        for (QLabel* limit : {axis_.xFrom, axis_.xTo, axis_.yFrom, axis_.yTo}) {
            if (limit->text().isEmpty()) {
                enable_->setChecked(false);
                disableTrajectory(s_);
                return;
            }
        }
        const ParamId x = paramIdFromName(axis_.xLabel->text().toStdString());
        const ParamId y = paramIdFromName(axis_.yLabel->text().toStdString());
        enableTrajectory(s_, x, y, limitValue(axis_.xFrom->text()), limitValue(axis_.xTo->text()),
                         limitValue(axis_.yFrom->text()), limitValue(axis_.yTo->text()));
    } else {
        // Off first: once it returns no trajectory step can overwrite what
        // is restored below.
        disableTrajectory(s_);
        for (int row = 0; row < kParamCount; ++row) {
            param(s_, static_cast<ParamId>(row))
                .store(paramValueAt(row, paramSliders_[row]->value()), relaxed);
        }
    }
}

void MainWindow::handleMidiPortList() {
    setStatusText(0, changeMidiPort(s_, portList_->currentIndex()));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box only asks; the program ends through its shutdown.
    event->ignore();
    dispatch(kCloseEvent, 0);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF p = pad_->mapFromGlobal(mouse->globalPosition());
        const int x = static_cast<int>(std::floor(p.x()));
        const int y = static_cast<int>(std::floor(p.y()));
        if (x >= 0 && x < pad_->width() && y >= 0 && y < pad_->height()) {
            PadEvent e{PadEvent::Type::PointerMove, x, y, (mouse->buttons() & Qt::LeftButton) != 0};
            if (type == QEvent::MouseButtonRelease) {
                e.type = mouse->button() == Qt::LeftButton ? PadEvent::Type::LeftButtonUp
                                                           : PadEvent::Type::Other;
            }
            dispatch(kControlEvent, kPadId, e);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event) {
    // Menu hovers would otherwise blank the status fields.
    if (event->type() == QEvent::StatusTip) return true;
    return QMainWindow::event(event);
}

std::unique_ptr<MainWindow> createMainWindow(SynthState& s) {
    auto window = std::make_unique<MainWindow>(s);
    centreOnScreen(*window);
    window->show();
    // Now the frame is known (if the window system has one yet).
    centreOnScreen(*window);
    return window;
}

void updateDisplays(SynthState& s, MainWindow& window) {
    updateDisplays(s, window.shapeDisplay(), window.waveformDisplay());
}

void runEventLoop(SynthState& s, MainWindow& window) {
    s.quitRequested = 0;
    QEventLoop loop;
    QObject::connect(&window, &MainWindow::quitRequestedChanged, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace tessivox
