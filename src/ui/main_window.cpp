#include "ui/main_window.h"

#include <charconv>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
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
#include "ui/pad_editor.h"

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

// Lists the ports afresh each time it opens, so a source plugged in since
// shows up.
class PortList : public QComboBox {
  public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;

    void showPopup() override {
        if (beforePopup) beforePopup();
        QComboBox::showPopup();
    }
};

}  // namespace

float paramValueAt(int row, int position) {
    return static_cast<float>(position / kParamRows[row].divisor);
}

QString valueText(float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::fixed, 3);
    return QString::fromLatin1(buffer, result.ec == std::errc{} ? result.ptr - buffer : 0);
}

float limitValue(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    if (p != end && *p == '+') ++p;
    double value = 0.0;
    if (std::from_chars(p, end, value).ec != std::errc{}) value = 0.0;
    return static_cast<float>(value);
}

void centreOnScreen(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize outer = window.frameGeometry().size().boundedTo(area.size());
    window.move(area.x() + (area.width() - outer.width()) / 2,
                area.y() + (area.height() - outer.height()) / 2);
}

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
    connect(poll, &QTimer::timeout, this, &MainWindow::pollMidiPort);
    poll->start(kGatePollMs);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    auto place = [this](int id, QWidget* w, int x, int y, int width, int height) {
        w->setGeometry(x, y, width, height);
        controls_[id] = w;
    };

    auto* portList = new PortList(client_);
    portList->beforePopup = [this] { refreshMidiPortList(); };
    portList_ = portList;
    portList_->setEditable(false);
    place(kMidiPortList, portList_, 710, 445, 130, 20);
    std::vector<std::string> names;
    const int ports = listMidiPorts(s_, names);
    fillMidiPortList(names);
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
        slider->setRange(kParamRows[row].minimum, kParamRows[row].maximum);
        slider->setValue(kParamRows[row].start);
        paramSliders_[row] = slider;
    }
    for (int row = 0; row < kParamCount; ++row) {
        auto* text = new QLabel(valueText(paramValueAt(row, kParamRows[row].start)), client_);
        text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
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
        place(kFirstParamLabel + row, text, 10, kRowY + kRowStep * row, 25, 20);
    }
    auto makeLabel = [this, &place](int id, const char* text, int x, int y, int width) {
        auto* label = new QLabel(QString::fromLatin1(text), client_);
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
    connect(portList_, &QComboBox::activated, this,
            [this](int) { dispatch(kControlEvent, kMidiPortList); });
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

void MainWindow::pollMidiPort() {
    // Nothing is reopened while the program is ending.
    if (s_.quitRequested != 0) return;
    const std::string_view text = followMidiPort(s_);
    if (!text.empty()) setStatusText(0, text);
}

void MainWindow::fillMidiPortList(const std::vector<std::string>& names) {
    portList_->clear();
    for (const std::string& name : names) portList_->addItem(QString::fromStdString(name));
}

void MainWindow::refreshMidiPortList() {
    std::vector<std::string> names;
    const int selected = tessivox::relistMidiPorts(s_, names, portList_->currentIndex());
    // Refilling raises no `activated`: the open port stays as it is.
    fillMidiPortList(names);
    portList_->setCurrentIndex(selected);
    s_.midiPortIndex = selected;
}

void MainWindow::setMenuActions(std::function<void()> about, std::function<void()> help) {
    about_ = std::move(about);
    help_ = std::move(help);
}

void MainWindow::dispatch(int eventCode, int id, const PadEvent& padEvent) {
    if (droppingEvents_) return;
    s_.windowEvent = eventCode;
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
    if (s_.quitRequested != 0) emit quitRequestedChanged();
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
