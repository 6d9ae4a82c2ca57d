#include "app/TellamoProgram.h"

#include <exception>

#include <malloc.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include "app/TDM.h"
#include "audio/Audio.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/Translate.h"
#include "desktop/DesktopLaunch.h"
#include "desktop/HotKeyService.h"
#include "desktop/LangChanger.h"
#include "desktop/MprisService.h"
#include "desktop/ShortCut.h"
#include "desktop/TrayIcon.h"
#include "dialogs/TAboutForm.h"
#include "dialogs/TDescriptionForm.h"
#include "dialogs/TOptionsForm.h"
#include "export/MailSender.h"
#include "export/forms/TSaveFormatForm.h"
#include "mainwindow/MainActions.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "mainwindow/WindowMediaControls.h"

namespace tellamo {

TellamoProgram::TellamoProgram(QString documentsFolder, FileSystem& fileSystem, WavePort& port,
                               EventFdPoster& poster, std::string playFilePath)
    : Documents(std::move(documentsFolder)), Fs(fileSystem), Port(port), Poster(poster),
      PlayFilePath(std::move(playFilePath)) {
    // A lifetime of notes makes large arrays that live a short while (the rows of a sort, the
    // shown rows, the pointers to every note). They get pages of their own, which go back to
    // the system when freed. glibc raises its threshold for that after the first such array is
    // freed, and the later ones then stay behind in the heap as holes: megabytes of resident
    // memory after a reload or a restore of a large catalogue. The threshold is fixed at the
    // default instead.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // The device threads' notifications reach the window thread through the poster.
    auto* pump = new QSocketNotifier(Poster.WakeFd(), QSocketNotifier::Read, this);
    connect(pump, &QSocketNotifier::activated, this, [this] { Poster.ProcessPending(); });
}

TellamoProgram::~TellamoProgram() {
    // Reverse order of creation: the media controls, the transcripts' link to the window, the
    // dialogs, the window (and what it owns), the data module.
    MediaPlayer.reset();
    MediaControl.reset();
    TranscriptLink.reset();
    SaveFormatForm.reset();
    AboutForm.reset();
    DescriptionForm.reset();
    OptionsForm.reset();
    Form.reset();
    DataModule.reset();
}

bool TellamoProgram::Start() {
    if (!HotKeys) {
        NoHotKeys = std::make_unique<NoHotKeyService>(
            TranslateText("System-wide hotkeys are not available on this desktop."));
        HotKeys = NoHotKeys.get();
    }
    DataModule = std::make_unique<TDM>(Documents, Fs, *HotKeys);
    DataModule->TranslationFolders = TranslationFolders;
    try {
        if (!DataModule->DataModuleCreate()) {
            return false;
        }
    } catch (const std::exception& e) {
        ShowApplicationError(nullptr, QString::fromStdString(e.what()));
    }

    Form = std::make_unique<TTellamoMainForm>(DataModule->Cat(),
                                              AudioServices{Port, Poster, PlayFilePath});
    TranslateCreatedForm(Form.get());
    try {
        Form->LoadOrNewCatalogue();
    } catch (const std::exception& e) {
        ShowApplicationError(nullptr, QString::fromStdString(e.what()));
    }
    const MainActions& a = Form->Actions();
    OptionsForm = std::make_unique<TOptionsForm>(
        OptionsBindings{Form->Options(),
                        Form->GraphOptions(),
                        Form->DictaphonePart().SilenceSlider(),
                        Form->DictaphonePart().VolumeSlider(),
                        a.AffiliateAction,
                        a.SoundNotificationAction,
                        a.AskDescriptionAction,
                        a.AskFormatAction,
                        a.MinimizeToTrayAction,
                        a.AutoLaunchAction,
                        a.RecycleRecordAction,
                        a.AudioSettingsAction,
                        a.MuteAction,
                        a.VolumeControlAction,
                        a.BiDirectionalAction,
                        a.RedrawGraphesAction,
                        a.SilenceAction,
                        a.RecordHotkeyAction,
                        a.StopHotkeyAction,
                        [this] { Form->DictaphonePart().RedrawAllGraphs(); },
                        DataModule->Cat().Files().SettingsFilePath(),
                        [this](std::uint32_t skipStepMs, std::uint32_t rewindOnResumeMs) {
                            Form->DictaphonePart().SetPlaybackSteps(skipStepMs, rewindOnResumeMs);
                        }});
    TranslateCreatedForm(OptionsForm.get());
    Form->SetOptionsForm(OptionsForm.get());
    // The window's keys, for the hotkey fields' warning.
    std::vector<ShortCut> windowKeys;
    for (const QAction* action : Form->findChildren<QAction*>()) {
        for (const QKeySequence& keys : action->shortcuts()) {
            if (const ShortCut key = keys.count() == 1 ? ShortCutFromKey(keys[0]) : 0; key != 0) {
                windowKeys.push_back(key);
            }
        }
    }
    OptionsForm->SetWindowKeys(std::move(windowKeys));
    OptionsForm->SetHotKeyManager(&DataModule->HotKeyManager());
    OptionsForm->ShowError = [form = Form.get()](const QString& text) { ShowErrorBox(form, text); };
    DataModule->ConnectHotKeys(Form.get(), OptionsForm.get());
    DescriptionForm =
        std::make_unique<TDescriptionForm>(Form->Actions().AskDescriptionAction, Form.get());
    TranslateCreatedForm(DescriptionForm.get());
    Form->SetDescriptionForm(DescriptionForm.get());
    // Once the options (the graph's colours) are known, and before anything is shown.
    RecoveryMessage = Form->RecoverInterruptedRecordings();
    // Contact: the address the build was configured with, if any; the second link opens the
    // manual that Help > Contents opens, shown by its path.
    AboutForm =
        std::make_unique<TAboutForm>(Form->windowIcon(), QStringLiteral(TELLAMO_CONTACT_ADDRESS),
                                     HelpFilePath(QStringLiteral("tellamo.html")),
                                     DataModule->Cat().Files().SettingsFilePath(), Form.get());
    ConnectCommand(a.AboutAction, Form.get(), [this] { AboutForm->exec(); });
    SaveFormatForm = std::make_unique<TSaveFormatForm>(
        Form->Actions().AskFormatAction, DataModule->Cat().Files().SettingsFilePath());
    Form->SetSaveFormatForm(SaveFormatForm.get());
    Mail = std::make_unique<XdgEmailSender>();
    Form->SetMailSender(Mail.get());
    Form->SetSleepInhibitor(NoSleep);
    if (Transcription) {
        const bool installed = Transcription->ModelInstalled;
        TranscriptLink = std::make_unique<TranscriptionLink>(*Form, DataModule->Cat(),
                                                             std::move(*Transcription));
        Transcription.reset();
        OptionsForm->SetTranscription(a.TranscribeAction,
                                      TranscriptionLink::UnavailableText(installed));
    }
    OfferMediaControls();
    return true;
}

void TellamoProgram::OfferMediaControls() {
    if (!MediaBus.isConnected()) {
        return;
    }
    MediaControl = std::make_unique<WindowMediaControls>(*Form);
    MediaPlayer = std::make_unique<MprisService>(*MediaControl, MediaBus,
                                                 QStringLiteral("io.github.tellamo.Tellamo"));
    if (!MediaPlayer->Start()) {
        // Another copy holds the name, or the bus refused: the program plays on without.
        MediaPlayer.reset();
        MediaControl.reset();
        return;
    }
    connect(MediaControl.get(), &WindowMediaControls::Changed, MediaPlayer.get(),
            &MprisService::Refresh);
    connect(MediaControl.get(), &WindowMediaControls::Seeked, MediaPlayer.get(),
            &MprisService::NotifySeeked);
}

void TellamoProgram::TranslateCreatedForm(QWidget* form) {
    try {
        DataModule->LangChanger->TranslateForm(form);
    } catch (const std::exception& e) {
        ShowApplicationError(form, QString::fromStdString(e.what()));
    }
}

void TellamoProgram::Show() {
    // The stored settings are applied as the window is first shown; a window closed minimized
    // starts minimized.
    if (Form->RestoreSettings()) {
        Form->showMinimized();
    } else {
        Form->show();
    }
    if (!RecoveryMessage.isEmpty()) {
        ShowNotice(Form.get(), RecoveryMessage, TranslateText("Recordings recovered"));
    }
    Form->OfferToRestoreFoundRecordings();
    IdleConnection =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                &TellamoProgram::FirstIdle);
    Shown = true;
}

void TellamoProgram::Terminate() {
    SetUnattended(true);
    CloseOpenBoxes();
    if (!Terminating) {
        Terminating = true;
        FinishTermination();
    }
}

void TellamoProgram::FinishTermination() {
    // A box's or dialog's own loop (or the start-up before the window is shown) must unwind
    // first: closing the window under a command that is still running would cut it off.
    if (!Shown || QApplication::activeModalWidget() || QThread::currentThread()->loopLevel() > 1) {
        CloseOpenBoxes();
        QTimer::singleShot(10, this, &TellamoProgram::FinishTermination);
        return;
    }
    Form->close();
    // Whatever the close left running (a device that would not stop) stops before the end.
    Form->Audio().QueryEndSession();
    QCoreApplication::exit(0);
}

void TellamoProgram::FirstIdle() {
    disconnect(IdleConnection);
    if (FirstIdleRan) {
        return;
    }
    FirstIdleRan = true;
    // The list was first filtered before the settings file restored the options' check marks.
    Form->CataloguePart().ApplyNoteFilter();
    Form->CataloguePart().RepaintFolders();
    OptionsForm->SyncStartupShortcut();
    OptionsForm->ApplyHotKeys(true);
    // Once the window is up and the option's check mark restored.
    if (TranscriptLink) {
        TranscriptLink->Start();
    }
}

void TellamoProgram::BringToFront() {
    // Restored from minimized or from the tray; a window shown normally only comes forward.
    Form->BringToFront();
}

} // namespace tellamo
