#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <QMainWindow>

#include "mainwindow/CataloguePanel.h"
#include "mainwindow/DictaphonePanel.h"
#include "mainwindow/MainActions.h"

class QMenu;
class QSplitter;
class QToolBar;

namespace tellamo {

class Catalogue;
class FormStorage;
class GlyphSet;
class MailSender;
struct NoteRecord;
class SleepInhibitor;
class TDescriptionForm;
class TOptionsForm;
class TSaveFormatForm;
class TrayIcon;
class TranscriptPane;

// The main window: the menus, the toolbars, the tray icon and the layout around its two parts,
// the dictaphone (DictaphonePanel: recording, playback, the graph panel, the position strip) and
// the catalogue (CataloguePanel: the folder tree and the note list), and every command of the
// program as an action. It receives the catalogue (and the platform services) from the
// composition root and never picks an implementation itself. Its widgets keep the object names
// the settings and translation files address; tests find them by those names.
class TTellamoMainForm : public QMainWindow, private DictaphoneHost, private CatalogueHost {
    Q_OBJECT
public:
    TTellamoMainForm(Catalogue& catalogue, const AudioServices& audio, QWidget* parent = nullptr);
    ~TTellamoMainForm() override;

    // The last creation step: loads the index file when there is one, otherwise makes a new
    // catalogue. Throws TellamoError for a damaged file; the catalogue is usable afterwards.
    // What a good file still calls for (notes that share a file name) is shown in a box.
    void LoadOrNewCatalogue();
    // Once the window is shown: when the start found recordings but no catalogue at all, asks
    // whether to restore them as notes, and does.
    void OfferToRestoreFoundRecordings();
    // Saves the catalogue after a change; a failure is shown, once until a save succeeds again.
    void SaveCatalogue() override;
    bool SaveCatalogueChecked() override;
    // Shows the outcome of a save (its error text, empty for success) as SaveCatalogue does.
    void ShowSaveResult(const QString& error) override;
    // At start-up, before the window shows: repairs the notes whose recording was cut off (see
    // RecordingRepair.h), saves the catalogue when any was, removes the marker of recordings in
    // progress once the catalogue on the disk holds them, and returns the message that names
    // them (empty text when there were none; a note without its file is named at one start only).
    QString RecoverInterruptedRecordings();

    // Recomputes what is enabled and shown; runs at every idle moment.
    void ActionListUpdate();

    TDictaphoneMode Mode() const { return mDictaphone->Mode(); }
    MainActions& Actions() { return mActions; }
    Catalogue& Catalog() { return mCat; }

    // The two parts of the window.
    DictaphonePanel& DictaphonePart() { return *mDictaphone; }
    CataloguePanel& CataloguePart() { return *mCatalogue; }
    // The current note's transcript, under the graph.
    TranscriptPane& Transcript() { return *mTranscriptPane; }
    TAudio& Audio() { return mDictaphone->Audio(); }
    // The recording options and the graph's colours; the options dialog binds them.
    RecordingOptions& Options() { return mDictaphone->Options(); }
    GraphSettings& GraphOptions() { return mDictaphone->GraphOptions(); }

    // The dialogs the window uses; they are created after it.
    void SetDescriptionForm(TDescriptionForm* form);
    void SetOptionsForm(TOptionsForm* form) { mOptionsForm = form; }
    void SetSaveFormatForm(TSaveFormatForm* form) { mSaveFormatForm = form; }
    // The desktop's mail program, picked by the composition root; none: sending does nothing.
    void SetMailSender(MailSender* sender) { mMail = sender; }
    // Holds off the desktop's suspend while recording, picked by the composition root; none:
    // recordings run without the hold.
    void SetSleepInhibitor(SleepInhibitor* inhibitor) { mDictaphone->SetSleepInhibitor(inhibitor); }
    // Brings the window back from the tray or from minimized, restored and in front.
    void BringToFront();

    // Saving and sending the current note (MainFormExport.cpp).
    void SaveAsFileActionExecute();
    // Writes the note's WAV to target in the format the save-format dialog stands for; target
    // is replaced only once the new file is complete. False when the user cancelled.
    bool SaveNoteAs(const QString& target);
    void SendByEMailActionExecute();
    // The description as a proposed file name: < > " [ ] | \ become "_".
    static QString ReplaceBadChars(QString text);

    // The settings file: the window's placement, the options' check marks, the layout and the
    // note list's columns. Restored before the window is first shown (returns whether it is to
    // start minimized), written when it closes.
    bool RestoreSettings();
    void SaveSettings();
    // The folder of the last Save As, kept between runs.
    const QString& LastSaveDir() const { return mLastSaveDir; }
    void SetLastSaveDir(const QString& folder) { mLastSaveDir = folder; }

signals:
    // After every update of the action states (each idle moment): whoever shows the program's
    // state elsewhere (the desktop's media controls) looks again.
    void StatesUpdated();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Says why and returns true when note is the one being recorded: its file is not complete.
    bool RefuseNoteBeingRecorded(const NoteRecord* note);
    void CreateMenus();
    void CreateToolBars();
    void CreatePanels();
    void ConnectTranscriptPane();
    void UpdateGlyphs();
    bool FormCloseQuery();
    void CreateSettingsStore();
    void ConnectExport();
    void CreateTrayIcon();
    void KeepFocusAfterDialogs();
    void SetTabOrder();
    void MinimizeToTrayActionExecute();

    // The dictaphone's side of the window.
    void SetBrowsingEnabled(bool enabled) override;
    void SetNoteListBusy(bool busy) override;
    // The tray icon's hint names what the program is doing and for how long, so that a glance
    // at the icon tells a recording hidden in the tray from an idle program.
    void DictaphoneStateChanged() override;

    Catalogue& mCat;
    MainActions mActions;
    std::unique_ptr<FormStorage> mSettings;
    QString mLastSaveDir;
    int mStoredDictaphoneTop = 2, mStoredDictaphoneLeft = 11, mStoredFilterTop = 36,
        mStoredFilterLeft = 11;
    bool mSaveFailureShown = false;
    bool mBackupFailureShown = false;
    int mFoundRecordings = 0; // restorable files the start found without any catalogue
    TDescriptionForm* mDescriptionForm = nullptr;
    TOptionsForm* mOptionsForm = nullptr;
    TSaveFormatForm* mSaveFormatForm = nullptr;
    MailSender* mMail = nullptr;

    // Components, named as the settings and translation files address them.
    QToolBar* mDictaphoneToolBar = nullptr;
    QToolBar* mFilterToolBar = nullptr;
    QSplitter* mTopPanel = nullptr;
    QSplitter* mMainSplitter = nullptr;
    QSplitter* mTranscriptSplitter = nullptr; // the transcript pane above the tree and the list
    TranscriptPane* mTranscriptPane = nullptr;
    QMenu* mFolderMenu = nullptr;
    QMenu* mNoteMenu = nullptr;
    // The notification-area icon with TrayPopupMenu; shown while MinimizeToTrayAction is checked.
    TrayIcon* mTray = nullptr;

    // Children of the window, destroyed first (see the destructor).
    std::unique_ptr<DictaphonePanel> mDictaphone;
    std::unique_ptr<CataloguePanel> mCatalogue;

    std::unique_ptr<GlyphSet> mPlainGlyphs;
    std::unique_ptr<GlyphSet> mBorderGlyphs;
    // The picture each toolbar action shows now: glyph index and whether from the bordered set.
    std::vector<std::pair<int, bool>> mShownGlyphs;
};

} // namespace tellamo
