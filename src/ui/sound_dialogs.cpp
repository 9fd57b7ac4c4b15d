#include "ui/sound_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessivox {

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

bool askYesNo(QWidget* parent, const QString& title, const QString& question) {
    QMessageBox box(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace

std::optional<std::string> askSoundName(QWidget* parent, const std::string& title,
                                        const std::string& label, const std::string& suggestion) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(text(title));
    dialog.setLabelText(text(label));
    dialog.setTextValue(text(suggestion));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

bool askReplaceSound(QWidget* parent, const std::string& name) {
    return askYesNo(
        parent, QStringLiteral("Save sound"),
        QStringLiteral("A sound named \u201c%1\u201d exists. Replace it?").arg(text(name)));
}

bool askDeleteSound(QWidget* parent, const std::string& name) {
    return askYesNo(parent, QStringLiteral("Delete sound"),
                    QStringLiteral("Delete the sound \u201c%1\u201d?").arg(text(name)));
}

std::optional<sound::Entry> chooseSound(QWidget* parent, const std::vector<sound::Entry>& entries,
                                        const std::string& preselect) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Load sound"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    layout->addWidget(list);
    bool factoryHeading = false, userHeading = false;
    QListWidgetItem* preselected = nullptr;
    for (size_t i = 0; i < entries.size(); ++i) {
        bool& heading = entries[i].factory ? factoryHeading : userHeading;
        // The last session's sound stands first, above every heading.
        const bool lastSession =
            i == 0 && !entries[i].factory && entries[i].name == sound::kLastSessionName;
        if (!heading && !lastSession) {
            heading = true;
            auto* title = new QListWidgetItem(entries[i].factory ? QStringLiteral("Factory sounds")
                                                                 : QStringLiteral("Your sounds"));
            QFont bold = title->font();
            bold.setBold(true);
            title->setFont(bold);
            title->setFlags(Qt::NoItemFlags);
            list->addItem(title);
        }
        // A name of any length another program wrote shows its beginning.
        QString name = text(entries[i].name);
        if (name.size() > 100) name = name.left(100) + QChar(0x2026);
        auto* item = new QListWidgetItem(QStringLiteral("  ") + name);
        item->setData(Qt::UserRole, static_cast<int>(i));
        list->addItem(item);
        if (!preselected && !preselect.empty() && entries[i].name == preselect) preselected = item;
    }
    if (entries.empty()) {
        auto* none = new QListWidgetItem(QStringLiteral("No sounds found"));
        none->setFlags(Qt::NoItemFlags);
        list->addItem(none);
    }
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QPushButton* open = buttons->button(QDialogButtonBox::Open);
    open->setEnabled(false);
    // Only a selected sound opens: the list's focus makes its first entry current unselected.
    QObject::connect(list, &QListWidget::itemSelectionChanged, open,
                     [open, list] { open->setEnabled(!list->selectedItems().empty()); });
    QObject::connect(list, &QListWidget::itemActivated, &dialog, [&dialog](QListWidgetItem* item) {
        if (item->isSelected()) dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (preselected) list->setCurrentItem(preselected);
    dialog.resize(320, 360);
    if (dialog.exec() != QDialog::Accepted || list->selectedItems().empty()) return std::nullopt;
    const QVariant index = list->selectedItems().front()->data(Qt::UserRole);
    if (!index.isValid()) return std::nullopt;
    return entries[static_cast<size_t>(index.toInt())];
}

void showSoundError(QWidget* parent, const std::string& title, const std::string& message) {
    QMessageBox box(QMessageBox::Warning, text(title), text(message), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace tessivox
