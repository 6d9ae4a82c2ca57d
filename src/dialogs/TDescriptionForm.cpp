#include "dialogs/TDescriptionForm.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QValidator>

#include "catalogue/NoteRecord.h"
#include "common/Translate.h"
#include "dialogs/ActionBinding.h"
#include "dialogs/DialogButtons.h"

namespace tellamo {

namespace {
// The catalogue keeps 127 bytes of UTF-8 of a description: the edit takes no more, so that what
// the user sees is what is kept. What goes past the limit is the text just typed or pasted (the
// characters before the cursor), never part of a character.
class Utf8LengthValidator final : public QValidator {
public:
    Utf8LengthValidator(std::size_t maxBytes, QObject* parent)
        : QValidator(parent), mMaxBytes(maxBytes) {}

    State validate(QString& text, int& pos) const override {
        auto bytes = static_cast<std::size_t>(text.toUtf8().size());
        if (bytes <= mMaxBytes) {
            return Acceptable;
        }
        pos = std::clamp(pos, 0, static_cast<int>(text.size()));
        while (bytes > mMaxBytes && pos > 0) {
            const int width =
                pos >= 2 && text[pos - 1].isLowSurrogate() && text[pos - 2].isHighSurrogate() ? 2
                                                                                              : 1;
            bytes -= static_cast<std::size_t>(text.mid(pos - width, width).toUtf8().size());
            text.remove(pos - width, width);
            pos -= width;
        }
        while (bytes > mMaxBytes) { // the cursor at the start: the end goes
            const int width = text.size() >= 2 && text.back().isLowSurrogate() &&
                                      text[text.size() - 2].isHighSurrogate()
                                  ? 2
                                  : 1;
            bytes -= static_cast<std::size_t>(text.right(width).toUtf8().size());
            text.chop(width);
        }
        return Acceptable;
    }

private:
    std::size_t mMaxBytes;
};
} // namespace

TDescriptionForm::TDescriptionForm(QAction* askDescriptionAction, QWidget* mainWindow)
    : QDialog(nullptr), mMainWindow(mainWindow) {
    setObjectName(QStringLiteral("DescriptionForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    DescriptionEdit = new QLineEdit(this);
    DescriptionEdit->setObjectName(QStringLiteral("DescriptionEdit"));
    DescriptionEdit->setMinimumWidth(360);
    DescriptionEdit->setValidator(
        new Utf8LengthValidator(NoteRecord::DescriptionBytes, DescriptionEdit));
    AskDescriptionCheckBox = new QCheckBox(this);
    AskDescriptionCheckBox->setObjectName(QStringLiteral("AskDescriptionCheckBox"));
    BindCheckBox(AskDescriptionCheckBox, askDescriptionAction);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, OKBitBtn, CancelBitBtn);

    // The field's label, read by a screen reader as the field's name; Alt+D comes back to it.
    auto* label = new QLabel(TranslateText("&Description:"), this);
    label->setObjectName(QStringLiteral("DescriptionLabel"));
    label->setBuddy(DescriptionEdit);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
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
    if (mMainWindow && (mMainWindow->isMinimized() || !mMainWindow->isVisible())) {
        mMainWindow->showNormal();
    }
    return ShowModal();
}

bool TDescriptionForm::AskEditDescription(const QString& currentDescription) {
    setWindowTitle(TranslateText("Edit Description"));
    DescriptionEdit->setText(currentDescription);
    return ShowModal();
}

} // namespace tellamo
