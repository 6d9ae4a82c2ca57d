#include "dialogs/TDescriptionForm.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "common/Translate.h"
#include "dialogs/ActionBinding.h"
#include "dialogs/DialogButtons.h"

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

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, OKBitBtn, CancelBitBtn);

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
