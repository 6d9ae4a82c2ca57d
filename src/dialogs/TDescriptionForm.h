#pragma once

#include <QDialog>

class QAction;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tellamo {

// The one-line description of a note, asked for before a recording and when a note is renamed.
// One instance lives for the whole run; the text stays in DescriptionEdit after it closes, and
// the callers read it from there.
class TDescriptionForm : public QDialog {
    Q_OBJECT
public:
    // askDescriptionAction: the main window's option, shown as the dialog's check box;
    // mainWindow: brought back to the screen when a recording is started while it is minimized.
    TDescriptionForm(QAction* askDescriptionAction, QWidget* mainWindow);

    // Both return true when the user confirmed with OK.
    bool AskNewDescription();
    bool AskEditDescription(const QString& currentDescription);

    QLineEdit* DescriptionEdit = nullptr;
    QCheckBox* AskDescriptionCheckBox = nullptr;
    QPushButton* OKBitBtn = nullptr;
    QPushButton* CancelBitBtn = nullptr;

private:
    bool ShowModal();
    QWidget* mMainWindow;
};

} // namespace tellamo
