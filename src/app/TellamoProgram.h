#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include "app/Transcription.h"

namespace tellamo {

class EventFdPoster;
class FileSystem;
class HotKeyService;
class MprisService;
class SleepInhibitor;
class TDM;
class TAboutForm;
class TDescriptionForm;
class TSaveFormatForm;
class XdgEmailSender;
class TOptionsForm;
class TTellamoMainForm;
class WavePort;
class WindowMediaControls;

// The objects the program creates at start-up, in order, and destroys in reverse order. The
// composition root (main) and the tests build the program through this class.
class TellamoProgram : public QObject {
    Q_OBJECT
public:
    // The port and the poster outlive the program; the poster's posts are run on the window
    // thread whenever its descriptor signals.
    TellamoProgram(QString documentsFolder, FileSystem& fileSystem, WavePort& port,
                   EventFdPoster& poster, std::string playFilePath);
    ~TellamoProgram() override;

    // The desktop's hotkey service, chosen by the caller before Start; without one the program
    // runs without system-wide hotkeys.
    void SetHotKeyService(HotKeyService& service) { mHotKeys = &service; }
    // The desktop's suspend hold for recordings, chosen by the caller before Start; without one
    // recordings run without it.
    void SetSleepInhibitor(SleepInhibitor& inhibitor) { mNoSleep = &inhibitor; }
    // The bus on which Start offers the desktop's media controls (the session bus); without one,
    // or on a bus that is not connected, none are offered.
    void SetMediaBus(const QDBusConnection& bus) { mMediaBus = bus; }
    // The media controls on the bus, or null when none are offered.
    MprisService* Mpris() { return mMediaPlayer.get(); }

    // The transcript worker and what it needs, chosen by the caller before Start; the worker
    // outlives the program. Without it the program transcribes nothing (the window still shows
    // the transcripts there are).
    void SetTranscription(TranscriptionSetup setup) { mTranscription = std::move(setup); }
    TranscriptionLink* Transcripts() { return mTranscriptLink.get(); }

    // Creates the data module and the main window (loading or making the catalogue), showing
    // each error of creation and going on. Returns false when the storage folder cannot be
    // created: the program must end without a window.
    bool Start();
    // Shows the main window (and, beside it, the message about recordings repaired at start-up)
    // and arranges FirstIdle for the first idle moment after it.
    void Show();
    // Brings the window to the front, restoring it when minimized (a second copy asked).
    void BringToFront();
    // Ends the program unattended (a termination signal, the end of the session), whatever
    // is open: boxes and dialogs are closed as cancelled, and as soon as the window's message
    // loop is back at its own level the window closes as by Exit (a recording is completed,
    // the catalogue saved) and the loop ends. Messages go to the standard error output and the
    // system log from now on, never into a box.
    void Terminate();

    TDM& DM() { return *mDataModule; }
    TTellamoMainForm& MainForm() { return *mForm; }
    TOptionsForm& Options() { return *mOptionsForm; }
    TDescriptionForm& Description() { return *mDescriptionForm; }
    TAboutForm& About() { return *mAboutForm; }
    TSaveFormatForm& SaveFormat() { return *mSaveFormatForm; }
    bool FirstIdleDone() const { return mFirstIdleRan; }

    // The folders searched for the desktop language's translation file (none: English).
    QStringList TranslationFolders;

private:
    void FirstIdle();
    // Passes a window that has just been created through the language changer; an error of
    // the translation file is shown and the window is used as it is.
    void TranslateCreatedForm(QWidget* form);
    // Closes the window once no dialog's loop runs any more; until then tries again shortly.
    void FinishTermination();
    void OfferMediaControls();

    QString mDocuments;
    FileSystem& mFs;
    WavePort& mPort;
    EventFdPoster& mPoster;
    std::string mPlayFilePath;
    HotKeyService* mHotKeys = nullptr;
    SleepInhibitor* mNoSleep = nullptr;
    std::unique_ptr<HotKeyService> mNoHotKeys;
    std::unique_ptr<TDM> mDataModule;
    std::unique_ptr<TTellamoMainForm> mForm;
    std::unique_ptr<TOptionsForm> mOptionsForm;
    std::unique_ptr<TDescriptionForm> mDescriptionForm;
    std::unique_ptr<TAboutForm> mAboutForm;
    std::unique_ptr<TSaveFormatForm> mSaveFormatForm;
    std::unique_ptr<XdgEmailSender> mMail;
    QDBusConnection mMediaBus{QString()};
    std::unique_ptr<WindowMediaControls> mMediaControl;
    std::unique_ptr<MprisService> mMediaPlayer;
    std::optional<TranscriptionSetup> mTranscription;
    std::unique_ptr<TranscriptionLink> mTranscriptLink;
    bool mFirstIdleRan = false;
    bool mShown = false;
    bool mTerminating = false;
    QMetaObject::Connection mIdleConnection;
    QString mRecoveryMessage; // recordings repaired by Start, named once the window shows
};

} // namespace tellamo
