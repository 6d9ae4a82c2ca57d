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
    : mDocuments(std::move(documentsFolder)), mFs(fileSystem), mPort(port), mPoster(poster),
      mPlayFilePath(std::move(playFilePath)) {
    // A lifetime of notes makes large arrays that live a short while (the rows of a sort, the
    // shown rows, the pointers to every note). They get pages of their own, which go back to
    // the system when freed. glibc raises its threshold for that after the first such array is
    // freed, and the later ones then stay behind in the heap as holes: megabytes of resident
    // memory after a reload or a restore of a large catalogue. The threshold is fixed at the
    // default instead.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // The device threads' notifications reach the window thread through the poster.
    auto* pump = new QSocketNotifier(mPoster.WakeFd(), QSocketNotifier::Read, this);
    connect(pump, &QSocketNotifier::activated, this, [this] { mPoster.ProcessPending(); });
}

TellamoProgram::~TellamoProgram() {
    // Reverse order of creation: the media controls, the transcripts' link to the window, the
    // dialogs, the window (and what it owns), the data module.
    mMediaPlayer.reset();
    mMediaControl.reset();
    mTranscriptLink.reset();
    mSaveFormatForm.reset();
    mAboutForm.reset();
    mDescriptionForm.reset();
    mOptionsForm.reset();
    mForm.reset();
    mDataModule.reset();
}

bool TellamoProgram::Start() {
    if (!mHotKeys) {
        mNoHotKeys = std::make_unique<NoHotKeyService>(
            TranslateText("System-wide hotkeys are not available on this desktop."));
        mHotKeys = mNoHotKeys.get();
    }
    mDataModule = std::make_unique<TDM>(mDocuments, mFs, *mHotKeys);
    mDataModule->TranslationFolders = TranslationFolders;
    try {
        if (!mDataModule->DataModuleCreate()) {
            return false;
        }
    } catch (const std::exception& e) {
        ShowApplicationError(nullptr, QString::fromStdString(e.what()));
    }

    mForm = std::make_unique<TTellamoMainForm>(mDataModule->Cat(),
                                               AudioServices{mPort, mPoster, mPlayFilePath});
    TranslateCreatedForm(mForm.get());
    try {
        mForm->LoadOrNewCatalogue();
    } catch (const std::exception& e) {
        ShowApplicationError(nullptr, QString::fromStdString(e.what()));
    }
    const MainActions& a = mForm->Actions();
    mOptionsForm = std::make_unique<TOptionsForm>(
        OptionsBindings{mForm->Options(),
                        mForm->GraphOptions(),
                        mForm->DictaphonePart().SilenceSlider(),
                        mForm->DictaphonePart().VolumeSlider(),
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
                        [this] { mForm->DictaphonePart().RedrawAllGraphs(); },
                        mDataModule->Cat().Files().SettingsFilePath(),
                        [this](std::uint32_t skipStepMs, std::uint32_t rewindOnResumeMs) {
                            mForm->DictaphonePart().SetPlaybackSteps(skipStepMs, rewindOnResumeMs);
                        }});
    TranslateCreatedForm(mOptionsForm.get());
    mForm->SetOptionsForm(mOptionsForm.get());
    // The window's keys, for the hotkey fields' warning.
    std::vector<ShortCut> windowKeys;
    for (const QAction* action : mForm->findChildren<QAction*>()) {
        for (const QKeySequence& keys : action->shortcuts()) {
            if (const ShortCut key = keys.count() == 1 ? ShortCutFromKey(keys[0]) : 0; key != 0) {
                windowKeys.push_back(key);
            }
        }
    }
    mOptionsForm->SetWindowKeys(std::move(windowKeys));
    mOptionsForm->SetHotKeyManager(&mDataModule->HotKeyManager());
    mOptionsForm->ShowError = [form = mForm.get()](const QString& text) {
        ShowErrorBox(form, text);
    };
    mDataModule->ConnectHotKeys(mForm.get(), mOptionsForm.get());
    mDescriptionForm =
        std::make_unique<TDescriptionForm>(mForm->Actions().AskDescriptionAction, mForm.get());
    TranslateCreatedForm(mDescriptionForm.get());
    mForm->SetDescriptionForm(mDescriptionForm.get());
    // Once the options (the graph's colours) are known, and before anything is shown.
    mRecoveryMessage = mForm->RecoverInterruptedRecordings();
    // Contact: the address the build was configured with, if any; the second link opens the
    // manual that Help > Contents opens, shown by its path.
    mAboutForm =
        std::make_unique<TAboutForm>(mForm->windowIcon(), QStringLiteral(TELLAMO_CONTACT_ADDRESS),
                                     HelpFilePath(QStringLiteral("tellamo.html")),
                                     mDataModule->Cat().Files().SettingsFilePath(), mForm.get());
    ConnectCommand(a.AboutAction, mForm.get(), [this] { mAboutForm->exec(); });
    mSaveFormatForm = std::make_unique<TSaveFormatForm>(
        mForm->Actions().AskFormatAction, mDataModule->Cat().Files().SettingsFilePath());
    mForm->SetSaveFormatForm(mSaveFormatForm.get());
    mMail = std::make_unique<XdgEmailSender>();
    mForm->SetMailSender(mMail.get());
    mForm->SetSleepInhibitor(mNoSleep);
    if (mTranscription) {
        const bool installed = mTranscription->ModelInstalled;
        mTranscriptLink = std::make_unique<TranscriptionLink>(*mForm, mDataModule->Cat(),
                                                              std::move(*mTranscription));
        mTranscription.reset();
        mOptionsForm->SetTranscription(a.TranscribeAction,
                                       TranscriptionLink::UnavailableText(installed));
    }
    OfferMediaControls();
    return true;
}

void TellamoProgram::OfferMediaControls() {
    if (!mMediaBus.isConnected()) {
        return;
    }
    mMediaControl = std::make_unique<WindowMediaControls>(*mForm);
    mMediaPlayer = std::make_unique<MprisService>(*mMediaControl, mMediaBus,
                                                  QStringLiteral("io.github.tellamo.Tellamo"));
    if (!mMediaPlayer->Start()) {
        // Another copy holds the name, or the bus refused: the program plays on without.
        mMediaPlayer.reset();
        mMediaControl.reset();
        return;
    }
    connect(mMediaControl.get(), &WindowMediaControls::Changed, mMediaPlayer.get(),
            &MprisService::Refresh);
    connect(mMediaControl.get(), &WindowMediaControls::Seeked, mMediaPlayer.get(),
            &MprisService::NotifySeeked);
}

void TellamoProgram::TranslateCreatedForm(QWidget* form) {
    try {
        mDataModule->LangChanger->TranslateForm(form);
    } catch (const std::exception& e) {
        ShowApplicationError(form, QString::fromStdString(e.what()));
    }
}

void TellamoProgram::Show() {
    // The stored settings are applied as the window is first shown; a window closed minimized
    // starts minimized.
    if (mForm->RestoreSettings()) {
        mForm->showMinimized();
    } else {
        mForm->show();
    }
    if (!mRecoveryMessage.isEmpty()) {
        ShowNotice(mForm.get(), mRecoveryMessage, TranslateText("Recordings recovered"));
    }
    mForm->OfferToRestoreFoundRecordings();
    mIdleConnection =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                &TellamoProgram::FirstIdle);
    mShown = true;
}

void TellamoProgram::Terminate() {
    SetUnattended(true);
    CloseOpenBoxes();
    if (!mTerminating) {
        mTerminating = true;
        FinishTermination();
    }
}

void TellamoProgram::FinishTermination() {
    // A box's or dialog's own loop (or the start-up before the window is shown) must unwind
    // first: closing the window under a command that is still running would cut it off.
    if (!mShown || QApplication::activeModalWidget() || QThread::currentThread()->loopLevel() > 1) {
        CloseOpenBoxes();
        QTimer::singleShot(10, this, &TellamoProgram::FinishTermination);
        return;
    }
    mForm->close();
    // Whatever the close left running (a device that would not stop) stops before the end.
    mForm->Audio().QueryEndSession();
    QCoreApplication::exit(0);
}

void TellamoProgram::FirstIdle() {
    disconnect(mIdleConnection);
    if (mFirstIdleRan) {
        return;
    }
    mFirstIdleRan = true;
    // The list was first filtered before the settings file restored the options' check marks.
    mForm->CataloguePart().ApplyNoteFilter();
    mForm->CataloguePart().RepaintFolders();
    mOptionsForm->SyncStartupShortcut();
    mOptionsForm->ApplyHotKeys(true);
    // Once the window is up and the option's check mark restored.
    if (mTranscriptLink) {
        mTranscriptLink->Start();
    }
}

void TellamoProgram::BringToFront() {
    // Restored from minimized or from the tray; a window shown normally only comes forward.
    mForm->BringToFront();
}

} // namespace tellamo
