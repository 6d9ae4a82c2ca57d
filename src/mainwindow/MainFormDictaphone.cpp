// The main window's side of its dictaphone part: the start-up repair of cut-off recordings, the
// tray icon's hint, and the folder tree and note list held still while the dictaphone works.

#include <QEvent>

#include "desktop/TrayIcon.h"
#include "dictaphone/RecordingRepair.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

QString TTellamoMainForm::RecoverInterruptedRecordings() {
    const std::vector<RecoveredNote> recovered =
        RepairInterruptedRecordings(mCat, mDictaphone->CurrentGraphSettings());
    if (recovered.empty()) {
        return {};
    }
    SaveCatalogue();
    return RecoveredNotesText(recovered);
}

void TTellamoMainForm::SetDescriptionForm(TDescriptionForm* form) {
    mDescriptionForm = form;
    mDictaphone->SetDescriptionForm(form);
    mCatalogue->SetDescriptionForm(form);
}

void TTellamoMainForm::SetBrowsingEnabled(bool enabled) {
    mCatalogue->SetBrowsingEnabled(enabled);
}

void TTellamoMainForm::SetNoteListBusy(bool busy) {
    mCatalogue->SetNoteListBusy(busy);
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
