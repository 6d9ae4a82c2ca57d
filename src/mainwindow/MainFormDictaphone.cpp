// The main window's side of its dictaphone part: the start-up repair of cut-off recordings, the
// tray icon's hint, and the folder tree and note list held still while the dictaphone works.

#include <algorithm>

#include <QEvent>
#include <QFile>

#include "catalogue/Catalogue.h"
#include "common/Errors.h"
#include "common/IniFile.h"
#include "desktop/TrayIcon.h"
#include "dictaphone/RecordingMarker.h"
#include "dictaphone/RecordingRepair.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

namespace {

// The notes found without their sound files are named once, not at every start: the names
// already told are kept in the settings file.
constexpr std::string_view RecordingsSection = "Recordings";
constexpr std::string_view MissingToldKey = "MissingFilesReported";

} // namespace

QString TTellamoMainForm::RecoverInterruptedRecordings() {
    std::vector<RecoveredNote> found =
        RepairInterruptedRecordings(mCat, mDictaphone->CurrentGraphSettings());
    const bool changed = std::any_of(found.begin(), found.end(), [](const RecoveredNote& n) {
        return n.Kind != RepairKind::FileMissing;
    });
    const bool saved = !changed || SaveCatalogueChecked();
    const std::string folder = QFile::encodeName(mCat.Files().StorageFolder()).toStdString();
    if (saved) {
        // Every recording the marker names is in the catalogue on the disk now.
        RemoveRecordingMarker(mCat.FileSys(), folder);
    }

    std::string missing;
    for (const RecoveredNote& n : found) {
        if (n.Kind == RepairKind::FileMissing) {
            missing += (missing.empty() ? "" : " ") + n.FileName;
        }
    }
    const std::string settingsPath =
        QFile::encodeName(mCat.Files().SettingsFilePath()).toStdString();
    IniFile ini = IniFile::Load(settingsPath);
    const std::string told = ini.ReadString(RecordingsSection, MissingToldKey, "");
    if (told != missing) {
        ini.Write(RecordingsSection, MissingToldKey, missing);
        try {
            ini.Save(mCat.FileSys(), settingsPath);
        } catch (const TellamoError&) {
            // told again at the next start
        }
    }
    const std::string toldPadded = " " + told + " ";
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&toldPadded](const RecoveredNote& n) {
                                   return n.Kind == RepairKind::FileMissing &&
                                          toldPadded.find(" " + n.FileName + " ") !=
                                              std::string::npos;
                               }),
                found.end());
    return found.empty() ? QString() : RecoveredNotesText(found);
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
