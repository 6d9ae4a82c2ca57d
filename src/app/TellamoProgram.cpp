#include "app/TellamoProgram.h"

#include "app/TDM.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "mainwindow/MainActions.h"
#include "dialogs/TDescriptionForm.h"
#include "dialogs/TOptionsForm.h"
#include "export/MailSender.h"
#include "export/TSaveFormatForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QTreeView>
#include <exception>

namespace tellamo {

TellamoProgram::TellamoProgram(QString documentsFolder, FileSystem& fileSystem, WavePort& port,
                               EventFdPoster& poster, std::string playFilePath)
    : Documents(std::move(documentsFolder)), Fs(fileSystem), Port(port), Poster(poster),
      PlayFilePath(std::move(playFilePath)) {
    // The device threads' notifications reach the window thread through the poster.
    auto* pump = new QSocketNotifier(Poster.WakeFd(), QSocketNotifier::Read, this);
    connect(pump, &QSocketNotifier::activated, this, [this] { Poster.ProcessPending(); });
}

TellamoProgram::~TellamoProgram() {
    // Reverse order of creation: the dialogs, the window (and what it owns), the data module.
    SaveFormatForm.reset();
    DescriptionForm.reset();
    OptionsForm.reset();
    Form.reset();
    DataModule.reset();
}

bool TellamoProgram::Start() {
    DataModule = std::make_unique<TDM>(Documents, Fs);
    try {
        if (!DataModule->DataModuleCreate()) {
            return false;
        }
    } catch (const std::exception& e) {
        ShowApplicationError(nullptr, QString::fromStdString(e.what()));
    }

    Form = std::make_unique<TTellamoMainForm>(DataModule->Cat(), AudioServices{Port, Poster, PlayFilePath});
    try {
        Form->LoadOrNewCatalogue();
    } catch (const std::exception& e) {
        ShowApplicationError(nullptr, QString::fromStdString(e.what()));
    }
    const MainActions& a = Form->Actions;
    OptionsForm = std::make_unique<TOptionsForm>(OptionsBindings{
        Form->Options, Form->GraphOptions, Form->SilenceRxSlider, Form->VolumeRxSlider, a.AffiliateAction,
        a.SoundNotificationAction, a.AskDescriptionAction, a.AskFormatAction, a.MinimizeToTrayAction,
        a.AutoLaunchAction, a.RecycleRecordAction, a.AudioSettingsAction, a.MuteAction, a.VolumeControlAction,
        a.BiDirectionalAction, a.RedrawGraphesAction, a.SilenceAction, a.RecordHotkeyAction, a.StopHotkeyAction,
        [this] { Form->RedrawAllGraphs(); }, DataModule->Cat().Files().SettingsFilePath()});
    Form->SetOptionsForm(OptionsForm.get());
    DescriptionForm = std::make_unique<TDescriptionForm>(Form->Actions.AskDescriptionAction, Form.get());
    Form->SetDescriptionForm(DescriptionForm.get());
    SaveFormatForm = std::make_unique<TSaveFormatForm>(
        Form->Actions.AskFormatAction, DataModule->Cat().Files().SettingsFilePath());
    Form->SetSaveFormatForm(SaveFormatForm.get());
    Mail = std::make_unique<XdgEmailSender>();
    Form->SetMailSender(Mail.get());
    return true;
}

void TellamoProgram::Show() {
    // The stored settings are applied as the window is first shown; a window closed minimized
    // starts minimized.
    if (Form->RestoreSettings()) {
        Form->showMinimized();
    } else {
        Form->show();
    }
    IdleConnection = connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                             this, &TellamoProgram::FirstIdle);
}

void TellamoProgram::FirstIdle() {
    disconnect(IdleConnection);
    if (FirstIdleRan) {
        return;
    }
    FirstIdleRan = true;
    Catalogue& cat = DataModule->Cat();
    cat.Notes().Refresh();
    Form->TreeView->viewport()->update();
    OptionsForm->SyncStartupShortcut();
    OptionsForm->ApplyHotKeys(true);
}

void TellamoProgram::BringToFront() {
    if (Form->isMinimized()) {
        Form->showNormal();
    }
    Form->raise();
    Form->activateWindow();
}

} // namespace tellamo
