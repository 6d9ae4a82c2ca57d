#include "dialogs/DialogButtons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "common/Translate.h"

namespace tellamo {

QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
    auto* buttons = new QDialogButtonBox(dialog);
    ok = buttons->addButton(TranslateText("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBitBtn"));
    ok->setDefault(true);
    cancel = buttons->addButton(TranslateText("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBitBtn"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace tellamo
