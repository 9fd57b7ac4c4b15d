#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include "ui/help_window.h"

namespace tessivox {
namespace {

TEST(HelpTexts, AboutIsTwoLinesSplitByOneCarriageReturn) {
    EXPECT_EQ(aboutText(),
              QString("Tessivox v" TESSIVOX_VERSION "\rSound Synthesizer using 'SuperFormula'"));
    EXPECT_EQ(aboutText(48000), aboutText() + "\rPlaying at 48000 Hz");
}

TEST(HelpTexts, HelpIsFifteenLinesBrokenByCarriageReturnsOnly) {
    const QString text = helpText();
    EXPECT_FALSE(text.contains('\n'));
    EXPECT_FALSE(text.endsWith('\r'));
    const QStringList lines = text.split('\r');
    ASSERT_EQ(lines.size(), 15);
    const QStringList expected = {
        "",
        "Tessivox is based on the so-called SuperFormula:",
        "",
        "r = (((Abs(A*cos(m*theta/4)))^N2) + ((Abs(B*sin(m*theta/4)))^N3)) ^ (-1/N1)",
        "",
        "where theta is the polar angle. The shape created by this polar equation then drives the "
        "sound waveform with",
        "amplitude given by y = r*sin(theta). Adjust waveform to stay within the red lines, else "
        "clipping can occur.",
        "",
        "As the sound plays, you can dynamically change the value of any two parameters with the "
        "pad to the right of the",
        "waveform display. You select 'from value' and 'to value' limits for each of the "
        "parameters by clicking on the button",
        "adjacent to the parameter slider. Then you drag and drop the line segments in the pad - "
        "green (attack), yellow",
        "(decay-sustain) and red (release) - according to how you want the parameter values to "
        "change within the",
        "specified limits over the duration of the sound. Finally you tick the 'Enable' checkbox, "
        "and play the sound from a keyboard.",
        "",
        "Unticking the 'Enable' checkbox results in only the parameter values set by the sliders "
        "influencing the sound, and not the pad.",
    };
    for (int i = 0; i < 15; ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
}

// Runs `inspect` from inside the modal call `show`; fails instead of hanging
// if the window never shows up.
void whileShown(const std::function<bool()>& inspect, const std::function<void()>& show) {
    bool done = false;
    int tries = 0;
    std::function<void()> poll = [&] {
        if (inspect()) {
            done = true;
            return;
        }
        if (++tries > 200) {
            ADD_FAILURE() << "window never appeared";
            for (QWidget* w : QApplication::topLevelWidgets()) w->close();
            return;
        }
        QTimer::singleShot(10, poll);
    };
    QTimer::singleShot(0, poll);
    show();
    EXPECT_TRUE(done);
}

TEST(AboutBox, TitleTwoLinesOneOkNoIcon) {
    QWidget owner;
    owner.show();
    bool checked = false;
    whileShown(
        [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return false;
            EXPECT_EQ(box->windowTitle(), "About");
            EXPECT_EQ(box->text(),
                      "Tessivox v" TESSIVOX_VERSION "\nSound Synthesizer using 'SuperFormula'");
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            EXPECT_EQ(box->buttons().size(), 1);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_TRUE(box->isModal());
            EXPECT_EQ(box->parentWidget(), &owner);
            checked = true;
            box->button(QMessageBox::Ok)->click();
            return true;
        },
        [&] { showAboutBox(&owner); });
    EXPECT_TRUE(checked);
}

QWidget* helpWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == "Tessivox Help") return w;
    }
    return nullptr;
}

TEST(HelpWindow, LayoutTextAndClose) {
    QWidget mainWindow;
    auto* slider = new QSlider(Qt::Horizontal, &mainWindow);
    slider->setGeometry(0, 0, 200, 20);
    mainWindow.show();
    QPointer<QWidget> first;
    bool returned = false;
    whileShown(
        [&] {
            QWidget* w = helpWindow();
            if (w == nullptr) return false;
            first = w;
            EXPECT_EQ(w->parentWidget(), nullptr);
            EXPECT_EQ(w->size(), QSize(620, 250));
            EXPECT_EQ(w->minimumSize(), QSize(620, 250));
            EXPECT_EQ(w->maximumSize(), QSize(620, 250));
            const Qt::WindowFlags f = w->windowFlags();
            EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
            EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
            EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            EXPECT_EQ(w->frameGeometry().center(), screen.center());

            auto* box = w->findChild<QPlainTextEdit*>();
            EXPECT_NE(box, nullptr);
            if (box == nullptr) return true;
            EXPECT_EQ(box->geometry(), QRect(5, 5, 610, 240));
            for (QScrollBar* bar : {box->horizontalScrollBar(), box->verticalScrollBar()}) {
                EXPECT_TRUE(bar->isVisible());
                EXPECT_TRUE(w->rect().contains(QRect(bar->mapTo(w, QPoint()), bar->size())));
            }
            // The other windows take no pointer or keyboard input meanwhile.
            QWindow* other = mainWindow.windowHandle();
            QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(190, 10));
            QTest::keyClick(other, Qt::Key_End);
            EXPECT_EQ(slider->value(), 0);
            EXPECT_TRUE(box->isReadOnly());
            EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::WidgetWidth);
            EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_EQ(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_EQ(box->document()->blockCount(), 15);
            EXPECT_TRUE(box->document()->firstBlock().text().isEmpty());
            EXPECT_EQ(box->document()->findBlockByNumber(1).text(),
                      "Tessivox is based on the so-called SuperFormula:");
            QString shown = helpText();
            shown.replace('\r', '\n');
            EXPECT_EQ(box->toPlainText(), shown);

            // Typing changes nothing, Escape does not close it.
            QTest::keyClicks(box, "xyz");
            EXPECT_EQ(box->toPlainText(), shown);
            QTest::keyClick(w, Qt::Key_Escape);
            QTest::keyClick(box, Qt::Key_Escape);
            QCoreApplication::processEvents();
            EXPECT_TRUE(w->isVisible());
            EXPECT_FALSE(returned);

            // The long lines wrap: nothing is cut at the side, the text scrolls down.
            box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
            EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
            EXPECT_GT(box->verticalScrollBar()->value(), 0);
            w->close();
            return true;
        },
        [&] {
            showHelpWindow();
            returned = true;
        });
    EXPECT_TRUE(returned);
    EXPECT_TRUE(first.isNull());  // destroyed on return
    EXPECT_EQ(helpWindow(), nullptr);

    // The next Help is a new window, scrolled to the top.
    whileShown(
        [&] {
            QWidget* w = helpWindow();
            if (w == nullptr) return false;
            auto* box = w->findChild<QPlainTextEdit*>();
            EXPECT_NE(box, nullptr);
            if (box != nullptr) {
                EXPECT_EQ(box->verticalScrollBar()->value(), 0);
                EXPECT_EQ(box->horizontalScrollBar()->value(), 0);
            }
            w->close();
            return true;
        },
        [&] { showHelpWindow(); });
}

}  // namespace
}  // namespace tessivox
