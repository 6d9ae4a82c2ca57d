#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>

#include "mainwindow/DictaphonePanel.h"
#include "mainwindow/FolderTreeView.h"
#include "mainwindow/MainActions.h"

class QDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QSplitter;
class QTableView;
class QToolBar;
class QTimer;
class QTreeView;

namespace tellamo {

class Catalogue;
struct FolderNode;
class GlyphSet;
class MailSender;
class SleepInhibitor;
struct NoteRecord;
class TSaveFormatForm;
class NoteListModel;
class TAudio;
class FormStorage;
class TDescriptionForm;
class FolderTreeView;
class TOptionsForm;
class GraphImage;
class TMediaPlayer;
class SoundPaintBox;
class TrayIcon;
class WavePort;
class WindowPoster;

// The main window: the toolbars, the position strip, the graph panel, the folder tree and the
// note list, and every command of the program as an action. It receives the catalogue (and the
// platform services) from the composition root and never picks an implementation itself.
class TTellamoMainForm : public QMainWindow, private DictaphoneHost {
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
    // Shows the outcome of a save (its error text, empty for success) as SaveCatalogue does.
    void ShowSaveResult(const QString& error);
    // At start-up, before the window shows: repairs the notes whose recording was cut off (see
    // RecordingRepair.h), saves the catalogue when any was, and returns the message that names
    // them (empty text when there were none).
    QString RecoverInterruptedRecordings();

    // Recomputes what is enabled and shown; runs at every idle moment.
    void ActionListUpdate();
    // Shows the notes that pass the filter options as they are checked now (the selected
    // folder, affiliated notes, the filter text and its case).
    void ApplyNoteFilter();

    TDictaphoneMode Mode() const { return mDictaphone->Mode(); }

    // The dialogs the window uses; they are created after it.
    void SetDescriptionForm(TDescriptionForm* form);
    void SetOptionsForm(TOptionsForm* form) { OptionsForm = form; }
    void SetSaveFormatForm(TSaveFormatForm* form) { SaveFormatForm = form; }
    // The desktop's mail program, picked by the composition root; none: sending does nothing.
    void SetMailSender(MailSender* sender) { Mail = sender; }
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

    // The dictaphone part: recording, playback, the graph panel and the position strip.
    DictaphonePanel& DictaphonePart() { return *mDictaphone; }
    TAudio& Audio() { return mDictaphone->Audio(); }
    RecordingOptions& Options() { return mDictaphone->Options(); }
    GraphSettings& GraphOptions() { return mDictaphone->GraphOptions(); }

    // The settings file: the window's placement, the options' check marks, the layout and the
    // note list's columns. Restored before the window is first shown (returns whether it is to
    // start minimized), written when it closes.
    bool RestoreSettings();
    void SaveSettings();
    QString LastSaveDir; // the folder of the last Save As, kept between runs

    // Folders and notes.
    void AddFolderActionExecute();
    void RenameFolderActionExecute();
    void DeleteFolderActionExecute();
    void ClearTrashActionExecute();
    void ParentFolderActionExecute();
    // Dragging over and dropping on the folder tree: a folder within the tree, or the note
    // list's rows onto a folder.
    bool TreeViewDragOver(DragSource source, FolderNode* dragged, FolderNode* target) const;
    void TreeViewDragDrop(DragSource source, FolderNode* dragged, FolderNode* target, bool onLabel);
    void EnsureSelection();
    void RenameNoteActionExecute();
    void DeleteNoteActionExecute();
    // Brings the storage folder's WAV files that no note uses back as notes in a new folder
    // "Found"; files it passes over or cannot read are reported in one box.
    void RestoreNotesActionExecute();
    // Lists the catalogue's backups with their dates and note counts and, once the user has
    // chosen one and confirmed, puts it in place of the catalogue.
    void RestoreBackupActionExecute();
    // A click on a column title: sorts by the clicked field in front of the earlier ones.
    void TitleClick(int column);
    QString SortFields;

    MainActions Actions;

    // Components, named as the settings and translation files address them.
    QToolBar* DictaphoneToolBar = nullptr;
    QToolBar* FilterToolBar = nullptr;
    QLineEdit* FilterEdit = nullptr;
    QSplitter* TopPanel = nullptr;
    QSplitter* MainSplitter = nullptr;
    FolderTreeView* TreeView = nullptr;
    QTableView* RxDBGrid = nullptr;
    QMenu* FolderMenu = nullptr;
    QMenu* NoteMenu = nullptr;
    QMenu* FolderPopupMenu = nullptr;
    QMenu* NotePopupMenu = nullptr;
    // The notification-area icon with TrayPopupMenu; shown while MinimizeToTrayAction is checked.
    TrayIcon* mTray = nullptr;
    int FoundRecordings = 0; // restorable files the start found without any catalogue

    NoteListModel* NoteList() const { return NoteModel; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Says why and returns true when note is the one being recorded: its file is not complete.
    bool RefuseNoteBeingRecorded(const NoteRecord* note);
    void CreateMenus();
    void CreateToolBars();
    void CreatePanels();
    void ConnectCatalogue();
    void UpdateGlyphs();
    bool FormCloseQuery();
    void ConnectFoldersAndNotes();
    void CreateSettingsStore();
    void ConnectExport();
    void CreateTrayIcon();
    void MinimizeToTrayActionExecute();
    std::unique_ptr<FormStorage> Settings;
    // Each column's width as last shown (a hidden column reports none).
    std::vector<int> ColumnWidths;
    // Sizes the note list's columns (not the filler) to their longest texts in the window's
    // font, never below their design widths; the result is kept in FittedColumnWidths.
    void FitColumns();
    std::vector<int> FittedColumnWidths;
    int StoredDictaphoneTop = 2, StoredDictaphoneLeft = 11, StoredFilterTop = 36,
        StoredFilterLeft = 11;
    bool TreeViewEdited(FolderNode* folder, const QString& name);
    std::int64_t LastTitleClickTime = 0; // ms of a monotonic clock; 0 at start
    bool SyncingSelection = false;
    // The dictaphone's side of the window.
    void SetBrowsingEnabled(bool enabled) override;
    void SetNoteListBusy(bool busy) override;
    // The tray icon's hint names what the program is doing and for how long, so that a glance
    // at the icon tells a recording hidden in the tray from an idle program.
    void DictaphoneStateChanged() override;

    Catalogue& Cat;
    NoteListModel* NoteModel = nullptr;
    bool SaveFailureShown = false;
    bool BackupFailureShown = false;
    TDescriptionForm* DescriptionForm = nullptr;
    TOptionsForm* OptionsForm = nullptr;
    TSaveFormatForm* SaveFormatForm = nullptr;
    MailSender* Mail = nullptr;
    std::unique_ptr<DictaphonePanel> mDictaphone;
    std::unique_ptr<GlyphSet> PlainGlyphs;
    std::unique_ptr<GlyphSet> BorderGlyphs;
    // The picture each toolbar action shows now: glyph index and whether from the bordered set.
    std::vector<std::pair<int, bool>> ShownGlyphs;
};

} // namespace tellamo
