#include "dialogs/TDescriptionForm.h"

#include "common/Translate.h"
#include "dialogs/ActionBinding.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tellamo {

TDescriptionForm::TDescriptionForm(QAction* askDescriptionAction, QWidget* mainWindow)
    : QDialog(nullptr), MainWindow(mainWindow) {
    setObjectName(QStringLiteral("DescriptionForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    DescriptionEdit = new QLineEdit(this);
    DescriptionEdit->setObjectName(QStringLiteral("DescriptionEdit"));
    DescriptionEdit->setMinimumWidth(360);
    AskDescriptionCheckBox = new QCheckBox(this);
    AskDescriptionCheckBox->setObjectName(QStringLiteral("AskDescriptionCheckBox"));
    BindCheckBox(AskDescriptionCheckBox, askDescriptionAction);

    auto* buttons = new QDialogButtonBox(this);
    OKBitBtn = buttons->addButton(TranslateText("OK"), QDialogButtonBox::AcceptRole);
    OKBitBtn->setObjectName(QStringLiteral("OKBitBtn"));
    OKBitBtn->setDefault(true);
    CancelBitBtn = buttons->addButton(TranslateText("Cancel"), QDialogButtonBox::RejectRole);
    CancelBitBtn->setObjectName(QStringLiteral("CancelBitBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DescriptionEdit);
    layout->addWidget(AskDescriptionCheckBox);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TDescriptionForm::ShowModal() {
    DescriptionEdit->setFocus();
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    return exec() == QDialog::Accepted;
}

bool TDescriptionForm::AskNewDescription() {
    setWindowTitle(TranslateText("Enter Description"));
    DescriptionEdit->clear();
    // A hotkey may have started the recording while the window was minimized or in the tray.
    if (MainWindow && (MainWindow->isMinimized() || !MainWindow->isVisible())) {
        MainWindow->showNormal();
    }
    return ShowModal();
}

bool TDescriptionForm::AskEditDescription(const QString& currentDescription) {
    setWindowTitle(TranslateText("Edit Description"));
    DescriptionEdit->setText(currentDescription);
    return ShowModal();
}

} // namespace tellamo
