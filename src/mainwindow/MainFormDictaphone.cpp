// The main window's side of its dictaphone part: the start-up repair of cut-off recordings, the
// tray icon's hint, and the folder tree and note list held still while the dictaphone works.

#include <QEvent>
#include <QTableView>
#include <QTreeView>

#include "desktop/TrayIcon.h"
#include "mainwindow/Messages.h"
#include "mainwindow/RecordingRepair.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

QString TTellamoMainForm::RecoverInterruptedRecordings() {
    const std::vector<RecoveredNote> recovered =
        RepairInterruptedRecordings(Cat, mDictaphone->CurrentGraphSettings());
    if (recovered.empty()) {
        return {};
    }
    SaveCatalogue();
    return RecoveredNotesText(recovered);
}

void TTellamoMainForm::SetDescriptionForm(TDescriptionForm* form) {
    DescriptionForm = form;
    mDictaphone->SetDescriptionForm(form);
}

void TTellamoMainForm::SetBrowsingEnabled(bool enabled) {
    RxDBGrid->setEnabled(enabled);
    TreeView->setEnabled(enabled);
}

void TTellamoMainForm::SetNoteListBusy(bool busy) {
    RxDBGrid->setEnabled(!busy);
    if (busy) {
        RxDBGrid->repaint();
    }
}

void TTellamoMainForm::DictaphoneStateChanged() {
    if (!mTray || !mDictaphone) {
        return; // the window is still being built: the icon starts with the idle hint
    }
    mTray->SetHint(mDictaphone->StateHint());
}

void TTellamoMainForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        mDictaphone->ReadMixerVolume(); // FormActivate
    }
    QMainWindow::changeEvent(event);
}

} // namespace tellamo
